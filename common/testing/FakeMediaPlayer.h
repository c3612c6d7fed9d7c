#pragma once

#include "MediaPlayer.h"

#include <QHash>
#include <QSet>
#include <QStringList>
#include <optional>

namespace sonavel {

// A media player control whose behaviour the test scripts: durations per
// file, readiness after a number of polls, a start that never happens,
// errors, and natural ends on request. Signals arrive queued, as from the
// real control, so the code under test must serve events to see them.
class FakeMediaPlayer final : public MediaPlayer {
    Q_OBJECT
  public:
    explicit FakeMediaPlayer(QObject* parent = nullptr) : MediaPlayer(parent) {}

    // --- the script
    void SetDuration(const QString& path, double seconds) { m_durations[path] = seconds; }
    void SetDefaultDuration(double seconds) { m_defaultDuration = seconds; }
    // ReadyState and IsDurationValid turn true on this many-th poll after an open.
    void SetReadyAfterPolls(int polls) { m_readyAfter = polls; }
    // Play is accepted but the element never starts: PlayState stays 0.
    void SetNeverStarts(bool never) { m_neverStarts = never; }
    // The same for one file only.
    void SetNeverStarts(const QString& path) { m_neverStartFiles.insert(path); }
    // This file opens without an error but never becomes ready.
    void SetNeverReady(const QString& path) { m_neverReadyFiles.insert(path); }
    // Opening this file raises Error with the code and description. As with
    // the real control, the refusal shows at once: ErrorCode is set when the
    // open returns, ReadyState stays 0, Play does nothing, and the Error
    // signal follows through the event queue.
    void SetFailure(const QString& path, std::int32_t code, const QString& description) {
        m_failures[path] = {code, description};
    }
    // The refusals the real control gives a missing file and a file that
    // holds no sound it can decode, with its codes and its words.
    void SetMissing(const QString& path) {
        SetFailure(path, media::kFileMissing,
                   QStringLiteral("Cannot play %1: the file does not exist").arg(path));
    }
    void SetUndecodable(const QString& path) {
        SetFailure(path, media::kNotDecodable,
                   QStringLiteral("Cannot play %1: its data is not in a sound format this "
                                  "player can decode")
                       .arg(path));
    }
    // The playing element ends by itself.
    void Finish();
    // The control reports an error about what it holds, as it may at any time.
    void RaiseError(std::int32_t code, const QString& description);

    // --- what happened: "SetFileName x", "Open x", "Play", "Pause", "Stop", "Position 1.5"
    QStringList calls;

    QString FileName() const override { return m_fileName; }
    void SetFileName(const QString& path) override;
    void Open(const QString& path) override;
    void Play() override;
    void Pause() override;
    void Stop() override;
    int PlayState() const override { return m_playState; }
    int ReadyState() const override;
    bool IsDurationValid() const override;
    double Duration() const override;
    double CurrentPosition() const override { return m_position; }
    void SetCurrentPosition(double seconds) override;
    std::int32_t ErrorCode() const override { return m_errorCode; }
    QString ErrorDescription() const override { return m_errorDescription; }
    QString ErrorCorrection() const override { return {}; }
    QString AboutText() const override { return QStringLiteral("Fake media player"); }

  private:
    struct Failure {
        std::int32_t code;
        QString description;
    };
    void Load(const QString& path, bool synchronous);
    void ChangeState(int newState);
    bool Ready() const;

    QHash<QString, double> m_durations;
    QHash<QString, Failure> m_failures;
    QSet<QString> m_neverStartFiles;
    QSet<QString> m_neverReadyFiles;
    double m_defaultDuration = 60.0;
    int m_readyAfter = 0;
    bool m_neverStarts = false;

    QString m_fileName;
    int m_playState = media::kStopped;
    mutable int m_polls = 0;
    bool m_loaded = false;
    bool m_ready = true;
    double m_position = 0;
    std::int32_t m_errorCode = 0;
    QString m_errorDescription;
};

}  // namespace sonavel
