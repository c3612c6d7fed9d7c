#pragma once

#include "Mailbox.h"
#include "SoundDevices.h"
#include "SpscRing.h"

#include <QString>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class QObject;

namespace sonavel {

enum class OutputKind {
    Device,   // the chosen sound device, else the default one, else paced silence
    Paced,    // silence paced in real time: a machine without sound keeps its timeline
    Virtual,  // renders only when asked: deterministic tests
};

struct EngineConfig {
    OutputKind output = OutputKind::Device;
    // An element reports its end while at most this much of it is left to
    // sound; the next element is then started exactly after it.
    int tailMs = 300;
    // The mix is recorded here as a float WAV when not empty.
    QString capturePath;
    // The sound device by name; empty for the default device.
    QString device = {};
    // Where the devices come from; the sound library's when null.
    std::shared_ptr<SoundDevices> devices = {};
};

// What the output did that the programme's logs must tell when it happens.
struct OutputReport {
    enum Kind {
        SilenceBegan,     // the output has stayed below the silence level this long
        SilenceEnded,     // sound is back after a silence that lasted this long
        Stalled,          // the process stood still this long (the output with it)
        LateStart,        // an element started this long after the one before ended
        RecordingFailed,  // the air check stopped being written; text says why
    };
    Kind kind;
    double seconds = 0;
    QString text = {};
};

// Samples below this (-50 dBFS) are silence to the alarm.
inline constexpr float kSilenceLevel = 0.0031622777f;
// Stalls shorter than this are a busy machine, not worth a log line.
inline constexpr double kReportedStallSeconds = 0.5;

struct EngineStats {
    QString output;  // the output in use
    int rate = 0;
    double latencyMs = 0;
    std::uint64_t underrunFrames = 0;
    std::uint64_t gaps = 0;  // starts that came after the previous element had ended
    std::uint64_t gapFrames = 0;
    std::uint64_t framesRendered = 0;
    std::uint64_t stalls = 0;  // the process stood still (see OutputReport::Stalled)
    double stalledSeconds = 0;
    // Why the recording of the mix is missing or incomplete; empty when it
    // holds every frame that was rendered (or none was asked for).
    QString captureError;
};

// One decoded element as the output callback plays it. The decoder thread
// fills the ring; the callback drains it. Every voice exists from the
// engine's construction to its end, so the callback never sees one appear;
// a player instance borrows voices from the pool.
struct Voice {
    explicit Voice(std::size_t ringFrames) : ring(ringFrames) {}

    FrameRing ring;
    // Set by the decoder thread.
    std::atomic<bool> decodeEnded{false};
    std::atomic<std::int64_t> totalFrames{-1};  // output frames, known once decoding ended
    // Set by the callback.
    std::atomic<std::int64_t> playedFrames{0};
    std::atomic<bool> busy{false};  // the callback may read this voice
    std::atomic<std::uint32_t> token{0};
    // The factor the element plays at, set by its player before the Start
    // that it applies to; the callback takes it with the Start.
    std::atomic<float> gain{1.0f};

    // Owned by the callback.
    int state = 0;
    std::int64_t startAt = 0;
    int fadePos = 0;
    float level = 1.0f;  // the gain of the element sounding
};

// A copy of the mix for a consumer on another thread (a stream to listeners):
// the output callback writes every buffer it renders into the ring, right
// after the recording, and drops what does not fit rather than wait.
struct MixTap {
    explicit MixTap(std::size_t frames) : ring(frames) {}
    FrameRing ring;
    std::atomic<std::uint64_t> dropped{0};  // frames that did not fit
};

// The audio engine of one program: mixes the voices of every player instance
// built on it into one output. Each program's composition root builds one and
// hands it to its controls; tests build one per test. The output callback
// (Render) never allocates, locks, does I/O or calls Qt; it talks to the rest
// through lock-free queues.
class AudioEngine {
  public:
    static constexpr int kRate = 48000;
    // Two controls of two voices each, with room for a test's extra control.
    static constexpr std::size_t kMaxVoices = 8;

    // Voice events that carry frames: the first frame of an element, its
    // pause, its last frame (Finished, or Stopped when it was cut off).
    static constexpr int kEventBegan = 3;
    static constexpr int kEventPaused = 4;

    // The output opens on the first Play; a recording is created at once, so
    // CaptureError() tells before anything plays whether it can be made.
    explicit AudioEngine(const EngineConfig& config = {});
    ~AudioEngine();
    AudioEngine(const AudioEngine&) = delete;
    AudioEngine& operator=(const AudioEngine&) = delete;

    const EngineConfig& Config() const { return m_config; }
    int TailFrames() const { return m_tailFrames; }

    // Pool of voices for the player instances (UI thread).
    int BorrowVoice(QObject* owner);
    void ReturnVoice(int index);
    Voice& VoiceAt(int index) { return *m_voices[static_cast<std::size_t>(index)]; }

    // Commands to the callback (UI thread).
    void Start(int voice, std::uint32_t token);
    void Pause(int voice);
    void Resume(int voice);
    void Stop(int voice);
    void EndNow(int voice);
    void Kill(int voice);
    // Returns once the callback has taken every command sent so far (bounded).
    bool Sync();
    // The number of the last command sent, and of the last one the callback took.
    std::uint64_t SentSeq() const { return m_sentSeq; }
    std::uint64_t DoneSeq() const { return m_doneSeq.load(std::memory_order_acquire); }

    // Opens the output if it is not open yet.
    void EnsureRunning();

    // The devices this engine can play on.
    std::vector<SoundDevice> Devices();
    // The device asked for by name (empty: the default device). Before the
    // output opens it is only noted; while it runs, the device is opened now
    // and takes over at the next element's first frame, or at once when
    // nothing sounds, so no element is cut and no frame of the programme is
    // lost. A device that is missing or does not open leaves the default
    // device, or the one already playing, or else paced silence, playing.
    void SetDevice(const QString& name);
    QString Device() const;
    // Told, once per occurrence, when the chosen device is missing or the
    // device in use stopped and another output took over. Called on the
    // thread that built the engine.
    void SetOutputNotice(std::function<void(const QString&)> notice);
    // Told of what the output did (see OutputReport), on the thread that
    // built the engine.
    void SetReports(std::function<void(const OutputReport&)> reports);
    // The output below the silence level for longer than this is reported
    // as silence on air; 0 turns the alarm off.
    void SetSilenceAlarm(double seconds);

    // The device in use stopped: paced silence takes over at once, so the
    // timeline goes on, then the same device is opened again, or else the
    // default device. The watchdog calls it.
    void OutputLost(const QString& why);
    // While the output is not the chosen device, tries that device again and
    // takes it back once it answers (at once from paced silence, at the next
    // element from another device). A thread of the engine calls it every few
    // seconds; a test's devices call it when the test says. True when there
    // is nothing more to retry.
    bool RetryChosenDevice();
    // A caller-driven device renders on the calling thread, as RenderVirtual does.
    void RenderDriven(int output, float* out, std::size_t frames);
    // The virtual output renders this many frames now, on the calling thread,
    // once each sounding voice's decoder has caught up; the events those
    // frames raise are posted from this thread, so they are in the caller's
    // queue when this returns and a test decides when an element ends.
    void RenderVirtual(std::int64_t frames);
    // Stops the output and completes the recording; nothing sounds after it.
    // The destructor does the same.
    void Finish();
    // Why the recording cannot be made or went wrong; empty while it is fine.
    QString CaptureError() const;
    // The frame the output is at.
    std::int64_t Frame() const { return m_frame.load(std::memory_order_acquire); }

    EngineStats Stats() const;
    QString AboutText() const;

    // Taps of the mix (any thread but the callback's). Attaching fails when
    // every place is taken; a detached tap is no longer written once this returns.
    static constexpr std::size_t kMaxTaps = 4;
    bool AttachTap(const std::shared_ptr<MixTap>& tap);
    void DetachTap(const std::shared_ptr<MixTap>& tap);

    // Called by the outputs: fills frames of interleaved stereo.
    void Render(float* out, std::size_t frames, int output);

  private:
    friend class PacedOutput;

    // A copy taken under m_outputMutex, for a callback another thread may
    // replace meanwhile.
    template <typename T>
    T CopyLocked(const T& value) const {
        std::lock_guard lock(m_outputMutex);
        return value;
    }

    // A device stream and what it plays on.
    struct OpenDevice {
        std::unique_ptr<SoundStream> stream;
        int id = -1;
        SoundDevice device;
    };

    struct Command {
        enum Type : std::uint8_t { Start, Pause, Resume, Stop, EndNow, Kill };
        Type type;
        std::int16_t voice;
        std::uint32_t token;
        std::uint64_t seq;
    };
    struct Event {
        // The first three are the control's own; the numbers are the ones
        // OnEngineEvent receives.
        enum Type : std::uint8_t {
            EarlyEnd,
            Finished,
            Stopped,
            Began,
            Paused,
            SilenceBegan,
            SilenceEnded,
            LateStart,
        };
        Type type;
        std::int16_t voice;  // -1: the output's own
        std::uint32_t token;
        std::int64_t frame = 0;   // where it happened on the output's timeline
        std::int64_t frames = 0;  // the voice's frames sounded; the silence's or gap's length
    };

    void Send(Command::Type type, int voice, std::uint32_t token = 0);
    void ProcessCommands();
    void RenderVoice(Voice& voice, int index, float* out, std::size_t frames,
                     std::int64_t bufStart);
    bool Sounding(const Voice& voice) const;
    void ServiceLoop();
    void DeliverEvents();
    void DrainCapture(bool final);
    void CloseCapture();
    void AwaitDecoders(std::size_t frames);
    // Under m_outputMutex.
    OpenDevice OpenOne(const SoundDevice& device);
    OpenDevice OpenChoice(const QString& name, QString& problem);
    void Arm(OpenDevice open);
    void AdoptSwitchedDevice();
    void StartPaced();
    void StartService();
    // Whether the device playing is the one the configuration chooses.
    bool OnChosenDevice(const std::vector<SoundDevice>& devices) const;
    void StartRetry();
    void RetryLoop();
    void Notify(const QString& text);
    void Report(const OutputReport& report);
    void WatchSilence(const float* out, std::size_t frames);
    void SetOutputName(const OpenDevice& open);
    std::int64_t ElementBoundary(std::int64_t bufStart, std::size_t frames) const;

    EngineConfig m_config;
    int m_tailFrames;

    std::array<std::unique_ptr<Voice>, kMaxVoices> m_voices;
    std::array<QObject*, kMaxVoices> m_owners{};  // guarded by m_ownersMutex
    mutable std::mutex m_ownersMutex;

    SpscQueue<Command> m_commands{1024};
    SpscQueue<Event> m_events{1024};
    std::uint64_t m_sentSeq = 0;  // UI thread
    std::atomic<std::uint64_t> m_doneSeq{0};

    // Callback-owned timeline.
    std::atomic<std::int64_t> m_frame{0};
    std::int64_t m_tailEnd = 0;  // frame after the last frame of the latest tail
    std::int64_t m_lastEnd = 0;  // where the last element ended by itself
    bool m_lastEndValid = false;
    std::vector<float> m_scratch;
    std::atomic_flag m_rendering = ATOMIC_FLAG_INIT;
    // Which output may render (low half) and the device armed to take over
    // at the next element (high half), changed together.
    std::atomic<std::uint64_t> m_route;
    std::atomic<std::int64_t> m_lastRenderNs{0};

    std::atomic<std::int64_t> m_silenceAlarmFrames{0};
    std::int64_t m_silentFrames = 0;  // callback: the silence running now
    bool m_silenceReported = false;   // callback
    std::atomic<std::uint64_t> m_stalls{0};
    std::atomic<std::int64_t> m_stalledNs{0};
    std::function<void(const OutputReport&)> m_reports;  // the building thread's
    bool m_captureFailureReported = false;               // m_captureMutex

    std::atomic<std::uint64_t> m_underrunFrames{0};
    std::atomic<std::uint64_t> m_gaps{0};
    std::atomic<std::uint64_t> m_gapFrames{0};

    // Capture of the mix. The ring is the callback's side; the file is
    // written by whichever thread delivers events (service thread, or the
    // caller of RenderVirtual) and closed by Finish.
    std::unique_ptr<FrameRing> m_captureRing;
    std::atomic<std::uint64_t> m_captureDropped{0};
    std::vector<float> m_captureBuffer;
    void* m_captureFile = nullptr;      // SNDFILE*
    mutable std::mutex m_captureMutex;  // the file and the error
    QString m_captureError;

    std::array<std::atomic<MixTap*>, kMaxTaps> m_taps{};        // what the callback writes
    std::array<std::shared_ptr<MixTap>, kMaxTaps> m_tapOwners;  // guarded by m_tapMutex
    std::mutex m_tapMutex;

    // Outputs.
    mutable std::mutex m_outputMutex;
    bool m_finished = false;
    bool m_running = false;
    std::shared_ptr<SoundDevices> m_devices;
    bool m_callerDriven = false;
    OpenDevice m_device;  // the device playing, or that played before paced silence
    OpenDevice m_armed;   // takes over at the next element
    std::vector<std::unique_ptr<SoundStream>> m_lost;  // may never answer a close
    int m_nextDeviceId;
    std::unique_ptr<class PacedOutput> m_paced;
    QString m_outputName;
    double m_latencyMs = 0;
    std::function<void(const QString&)> m_notice;  // the building thread's
    std::unique_ptr<Mailbox> m_toBuildingThread;
    mutable std::mutex m_deliverMutex;  // events come from the service thread or a caller

    std::thread m_service;
    std::atomic<bool> m_quit{false};

    // Taking the chosen device back after it was given up (m_outputMutex).
    std::thread m_retry;
    std::condition_variable m_retryWake;
    bool m_retrying = false;
    std::int64_t m_retryDelayMs = 0;   // grows while a taken-back device keeps failing
    std::int64_t m_takenBackAtNs = 0;  // when the chosen device last came back
};

}  // namespace sonavel
