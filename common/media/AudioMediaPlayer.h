#pragma once

#include "Decoder.h"
#include "Mailbox.h"
#include "MediaPlayer.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace sonavel {

class AudioEngine;
struct Voice;
class GainSource;

// The media player control on a program's audio engine: one decoder thread
// and two voices, so that the next element can be opened while the tail of
// the previous one still sounds. A file that cannot be played is refused as
// soon as the decoder thread has tried it: ErrorCode and ErrorDescription
// say so from then on, ReadyState never reaches 4, Play does nothing, and
// the Error signal follows through the event queue.
class AudioMediaPlayer final : public MediaPlayer {
    Q_OBJECT
  public:
    explicit AudioMediaPlayer(AudioEngine& engine, QObject* parent = nullptr);
    ~AudioMediaPlayer() override;

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
    double CurrentPosition() const override;
    void SetCurrentPosition(double seconds) override;

    std::int32_t ErrorCode() const override;
    QString ErrorDescription() const override;
    QString ErrorCorrection() const override;
    QString AboutText() const override;
    double SecondsToEnd() const override;
    qint64 OutputFrame() const override;
    quint32 ElementId() const override;
    // The engine it plays on, for the choice of sound device.
    AudioEngine& Engine() const { return m_engine; }
    // Where each element's level comes from; without one every file plays
    // as it is. The source must outlive the player.
    void SetGainSource(GainSource* source) { m_gains = source; }

    // Events of the output callback, delivered on this object's thread.
    Q_INVOKABLE void OnEngineEvent(int type, int voice, uint token, qint64 frame, qint64 frames);

  private:
    // What the decoder thread does for one of the two voices.
    struct Job {
        std::unique_ptr<Decoder> decoder;
        QString path;
        std::uint32_t token = 0;
        std::int64_t seekTo = 0;  // file frame to begin at
        bool openPending = false;
        bool ended = false;
        MediaError failure{0, {}};  // why the background open refused the file
        std::int64_t decoded = 0;
        // What the file was when it was opened: data read after it changed
        // is not the sound that was opened, and never reaches the air.
        struct Identity {
            quint64 device = 0;
            quint64 inode = 0;
            qint64 size = -1;
            qint64 modifiedNs = 0;
            bool operator==(const Identity&) const = default;
        } identity;
    };
    static Job::Identity IdentityOf(const QString& path);
    static bool Changed(const Job& job);
    // Ends the job's decoding here; says why when it ended before its time.
    void EndDecoding(Job& job, Voice& voice, const QString& why);

    // Opens path into a free voice; waits for readiness when wait is set.
    void Load(const QString& path, bool wait, std::int64_t seekTo = 0);
    int FreeSlot();
    void MakeQuiet(int slot);
    void Install(Job& job, std::unique_ptr<Decoder> decoder);
    bool WaitReady(int slot, int milliseconds);
    void SetError(std::int32_t code, const QString& description);
    // Sets the error and reports it through the event queue.
    void RaiseError(std::int32_t code, const QString& description);
    // The refusal of the current file by the decoder thread that the event
    // queue has not brought yet; code 0 when there is none.
    MediaError PendingFailure() const;
    static QString CorrectionFor(std::int32_t code);
    void ChangeState(int newState);
    // Starts the current slot's voice at the element's level.
    void StartCurrent();
    void DecoderLoop();
    bool Fill(int slot, std::unique_lock<std::mutex>& lock);

    AudioEngine& m_engine;
    std::array<int, 2> m_voices{-1, -1};
    std::array<std::uint64_t, 2> m_lastSeq{0, 0};
    int m_current = -1;  // slot of the current element

    // Shared with the decoder thread.
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_readyChanged;
    std::array<Job, 2> m_jobs;
    std::array<std::atomic<bool>, 2> m_ready{};
    std::array<std::atomic<bool>, 2> m_durationValid{};
    std::array<std::atomic<double>, 2> m_duration{};
    std::array<std::atomic<bool>, 2> m_failed{};  // the job's open was refused
    std::array<std::atomic<double>, 2>
        m_offset{};  // seconds of the file before its first decoded frame
    bool m_quit = false;
    // What the decoder thread tells the player's own thread.
    Mailbox m_mailbox;
    std::thread m_thread;

    // UI thread.
    GainSource* m_gains = nullptr;
    // The element's level, decided at its first start and kept until another
    // file is opened, so a move within it does not change how loud it is.
    std::optional<float> m_gain;
    std::uint32_t m_token = 0;
    QString m_fileName;
    int m_playState = media::kStopped;
    bool m_needsReload = false;
    std::int32_t m_errorCode = 0;
    QString m_errorDescription;
    QString m_errorCorrection;
    bool m_endedEarly = false;  // the current element was skipped or stopped
};

}  // namespace sonavel
