#pragma once

#include "FakeMediaPlayer.h"

#include <QStringList>
#include <algorithm>
#include <functional>

namespace sonavel {

// Stands between the engine and a fake control and keeps count of what must
// never happen on air: a file loaded into a control that is playing, and a
// start while the other control still sounds. It also keeps the longest
// wait for readiness that any load needed.
class WatchedPlayer final : public MediaPlayer {
  public:
    WatchedPlayer(FakeMediaPlayer& inner, const MediaPlayer* other = nullptr)
        : m_inner(inner), m_other(other) {
        connect(&inner, &MediaPlayer::PlayStateChange, this, &MediaPlayer::PlayStateChange);
        connect(&inner, &MediaPlayer::Error, this, &MediaPlayer::Error);
    }
    void SetOther(const MediaPlayer* other) { m_other = other; }

    int loadsIntoPlaying = 0;
    int startsOverSound = 0;
    // The most polls of readiness any one load took.
    int MostPollsForALoad() const { return std::max(m_mostPolls, m_pollsThisLoad); }
    // Each load and start, "load x" or "start x", for tests that follow one.
    QStringList log;
    // Runs at every load, as the engine gives the control its file.
    std::function<void()> onLoad;

    QString FileName() const override { return m_inner.FileName(); }
    void SetFileName(const QString& path) override {
        Loading(path);
        m_inner.SetFileName(path);
    }
    void Open(const QString& path) override {
        Loading(path);
        m_inner.Open(path);
    }
    void Play() override {
        if (m_other && m_other->PlayState() == media::kPlaying) ++startsOverSound;
        log << QStringLiteral("start ") + m_inner.FileName();
        m_inner.Play();
    }
    void Pause() override { m_inner.Pause(); }
    void Stop() override { m_inner.Stop(); }
    int PlayState() const override { return m_inner.PlayState(); }
    int ReadyState() const override {
        ++m_pollsThisLoad;
        return m_inner.ReadyState();
    }
    bool IsDurationValid() const override { return m_inner.IsDurationValid(); }
    double Duration() const override { return m_inner.Duration(); }
    double CurrentPosition() const override { return m_inner.CurrentPosition(); }
    void SetCurrentPosition(double seconds) override { m_inner.SetCurrentPosition(seconds); }
    std::int32_t ErrorCode() const override { return m_inner.ErrorCode(); }
    QString ErrorDescription() const override { return m_inner.ErrorDescription(); }
    QString ErrorCorrection() const override { return m_inner.ErrorCorrection(); }
    QString AboutText() const override { return m_inner.AboutText(); }

  private:
    void Loading(const QString& path) {
        m_mostPolls = std::max(m_mostPolls, m_pollsThisLoad);
        m_pollsThisLoad = 0;
        if (m_inner.PlayState() == media::kPlaying) ++loadsIntoPlaying;
        log << QStringLiteral("load ") + path;
        if (onLoad) onLoad();
    }

    FakeMediaPlayer& m_inner;
    const MediaPlayer* m_other;
    int m_mostPolls = 0;
    mutable int m_pollsThisLoad = 0;
};

}  // namespace sonavel
