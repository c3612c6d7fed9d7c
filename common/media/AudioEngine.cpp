#include "AudioEngine.h"

#include "AudioEngineOutputs.h"
#include "Decoder.h"

#include <sndfile.h>
#include <QFile>
#include <QMetaObject>
#include <QObject>
#include <QString>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cmath>

// The engine's life, its voices and commands on the UI thread, and its
// service thread. The outputs and the real-time mixer have files of their own.

namespace sonavel {

using namespace engine;

// ---------------------------------------------------------------------------
// Lifetime

AudioEngine::AudioEngine(const EngineConfig& config)
    : m_config(config),
      m_tailFrames(std::max(0, config.tailMs) * kRate / 1000),
      m_scratch(kScratchFrames * 2),
      m_route(Route(kNoOutput, kNoOutput)),
      m_devices(config.devices ? config.devices : SystemSoundDevices()),
      m_callerDriven(m_devices->CallerDriven()),
      m_nextDeviceId(kFirstDeviceId),
      m_toBuildingThread(std::make_unique<Mailbox>()) {
    // Every voice before any output can render: the callback walks the pool
    // while controls borrow and return voices.
    for (auto& voice : m_voices)
        voice = std::make_unique<Voice>(kRingFrames);
    if (!m_config.capturePath.isEmpty()) {
        SF_INFO info{};
        info.samplerate = kRate;
        info.channels = 2;
        info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        m_captureFile =
            sf_open(QFile::encodeName(m_config.capturePath).constData(), SFM_WRITE, &info);
        if (m_captureFile) {
            m_captureRing = std::make_unique<FrameRing>(static_cast<std::size_t>(kRate) * 8);
            m_captureBuffer.resize(kScratchFrames * 2);
        } else {
            m_captureError =
                QStringLiteral("%1 cannot be created (%2)")
                    .arg(m_config.capturePath, QString::fromUtf8(sf_strerror(nullptr)).trimmed());
        }
    }
}

AudioEngine::~AudioEngine() {
    Finish();
}

void AudioEngine::Finish() {
    {
        std::lock_guard lock(m_outputMutex);
        if (m_finished) return;
        m_finished = true;
        m_route = Route(kNoOutput, kNoOutput);
        m_device = OpenDevice{};
        m_armed = OpenDevice{};
        m_lost.clear();
        m_paced.reset();
    }
    m_retryWake.notify_all();
    if (m_retry.joinable()) m_retry.join();
    m_quit = true;
    if (m_service.joinable()) m_service.join();
    // Nothing renders any more: what still sounded was cut off at the last
    // frame rendered, and its controls are told so with its frames.
    const std::int64_t last = m_frame.load();
    for (std::size_t i = 0; i < kMaxVoices; ++i) {
        Voice& voice = *m_voices[i];
        if (voice.state == kIdle || voice.state == kScheduled) continue;
        voice.state = kIdle;
        voice.busy.store(false, std::memory_order_release);
        m_events.Push(Event{Event::Stopped, static_cast<std::int16_t>(i), voice.token, last,
                            voice.playedFrames.load()});
    }
    DeliverEvents();
    // Whatever the outputs rendered last is recorded, then the file is closed.
    DrainCapture(true);
    CloseCapture();
}

// ---------------------------------------------------------------------------
// Voices and commands (UI thread)

int AudioEngine::BorrowVoice(QObject* owner) {
    std::lock_guard lock(m_ownersMutex);
    for (std::size_t i = 0; i < kMaxVoices; ++i) {
        if (m_owners[i] != nullptr) continue;
        if (m_voices[i]->busy.load(std::memory_order_acquire)) continue;
        m_owners[i] = owner;
        return static_cast<int>(i);
    }
    return -1;
}

void AudioEngine::ReturnVoice(int index) {
    if (index < 0) return;
    Kill(index);
    std::lock_guard lock(m_ownersMutex);
    m_owners[static_cast<std::size_t>(index)] = nullptr;
}

void AudioEngine::Send(Command::Type type, int voice, std::uint32_t token) {
    const Command command{type, static_cast<std::int16_t>(voice), token, ++m_sentSeq};
    // The queue holds far more than a person can click between two callbacks;
    // should it be full, wait for the callback rather than drop a command.
    while (!m_commands.Push(command)) {
        if (!Sync()) return;
    }
}

void AudioEngine::Start(int voice, std::uint32_t token) {
    EnsureRunning();
    Send(Command::Start, voice, token);
}
void AudioEngine::Pause(int voice) {
    Send(Command::Pause, voice);
}
void AudioEngine::Resume(int voice) {
    EnsureRunning();
    Send(Command::Resume, voice);
}
void AudioEngine::Stop(int voice) {
    Send(Command::Stop, voice);
}
void AudioEngine::EndNow(int voice) {
    Send(Command::EndNow, voice);
}
void AudioEngine::Kill(int voice) {
    Send(Command::Kill, voice);
}

bool AudioEngine::Sync() {
    const std::uint64_t target = m_sentSeq;
    const int owner = OwnerOf(m_route.load());
    if (owner == kVirtualId || owner == kNoOutput || m_callerDriven) {
        // Nothing renders on another thread: take the commands here.
        if (!m_rendering.test_and_set(std::memory_order_acquire)) {
            ProcessCommands();
            m_rendering.clear(std::memory_order_release);
        }
        return m_doneSeq.load() >= target;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (m_doneSeq.load(std::memory_order_acquire) < target) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// ---------------------------------------------------------------------------
// Service thread: events to the UI thread, the capture file, the watchdog.

void AudioEngine::ServiceLoop() {
    StallWatch watch;
    while (!m_quit.load()) {
        // Ends are reported a tail ahead, so a few milliseconds here cost
        // nothing on air and keep the thread from waking needlessly.
        std::this_thread::sleep_for(std::chrono::milliseconds(4));
        DeliverEvents();
        DrainCapture(false);
        switch (watch.Check(NowNs(), m_lastRenderNs.load())) {
            case StallWatch::Verdict::ProcessStalled: {
                // The card stood still with everything else; it gets its full
                // allowance again from now, and stays the card.
                m_lastRenderNs = NowNs();
                const double seconds = static_cast<double>(watch.StalledNs()) / 1e9;
                if (seconds >= kReportedStallSeconds && OwnerOf(m_route.load()) != kNoOutput) {
                    m_stalls.fetch_add(1);
                    m_stalledNs.fetch_add(watch.StalledNs());
                    Report(OutputReport{OutputReport::Stalled, seconds});
                }
                break;
            }
            case StallWatch::Verdict::DeviceSilent:
                // A test's devices render when the test says; only real ones stall.
                if (!m_callerDriven && OwnerOf(m_route.load()) >= kFirstDeviceId)
                    OutputLost(QStringLiteral("stopped answering"));
                break;
            case StallWatch::Verdict::Fine:
                break;
        }
        // A device that took over at an element: the one it replaced is closed.
        if (NextOf(m_route.load()) == kNoOutput) {
            std::unique_lock lock(m_outputMutex, std::try_to_lock);
            if (lock.owns_lock()) AdoptSwitchedDevice();
        }
    }
    DeliverEvents();
}

void AudioEngine::DeliverEvents() {
    std::lock_guard deliver(m_deliverMutex);
    Event event;
    while (m_events.Pop(event)) {
        const double seconds = static_cast<double>(event.frames) / kRate;
        switch (event.type) {
            case Event::SilenceBegan:
                Report(OutputReport{OutputReport::SilenceBegan, seconds});
                continue;
            case Event::SilenceEnded:
                Report(OutputReport{OutputReport::SilenceEnded, seconds});
                continue;
            case Event::LateStart:
                Report(OutputReport{OutputReport::LateStart, seconds});
                continue;
            default:
                break;
        }
        std::lock_guard lock(m_ownersMutex);
        QObject* owner = m_owners[static_cast<std::size_t>(event.voice)];
        if (!owner) continue;
        QMetaObject::invokeMethod(owner, "OnEngineEvent", Qt::QueuedConnection,
                                  Q_ARG(int, static_cast<int>(event.type)), Q_ARG(int, event.voice),
                                  Q_ARG(uint, event.token), Q_ARG(qint64, event.frame),
                                  Q_ARG(qint64, event.frames));
    }
}

void AudioEngine::SetReports(std::function<void(const OutputReport&)> reports) {
    std::lock_guard lock(m_outputMutex);
    m_reports = std::move(reports);
}

void AudioEngine::SetSilenceAlarm(double seconds) {
    m_silenceAlarmFrames.store(
        seconds > 0 ? static_cast<std::int64_t>(std::llround(seconds * kRate)) : 0,
        std::memory_order_relaxed);
}

void AudioEngine::Report(const OutputReport& report) {
    // The reports write the logs, which belong to the building thread.
    m_toBuildingThread->PostOrCall([this, report] {
        if (const auto reports = CopyLocked(m_reports)) reports(report);
    });
}

void AudioEngine::DrainCapture(bool final) {
    QString failed;
    {
        std::lock_guard lock(m_captureMutex);
        if (!m_captureRing || !m_captureFile) return;
        auto* file = static_cast<SNDFILE*>(m_captureFile);
        for (;;) {
            const std::size_t n = m_captureRing->Read(m_captureBuffer.data(), kScratchFrames);
            if (n == 0) break;
            if (!m_captureError.isEmpty()) continue;  // a broken recording is not written on
            if (sf_writef_float(file, m_captureBuffer.data(), static_cast<sf_count_t>(n)) !=
                static_cast<sf_count_t>(n)) {
                m_captureError =
                    QStringLiteral("writing %1 failed (%2)")
                        .arg(m_config.capturePath, QString::fromUtf8(sf_strerror(file)).trimmed());
            }
        }
        if (final) sf_write_sync(file);
        if (!m_captureError.isEmpty() && !m_captureFailureReported) {
            m_captureFailureReported = true;
            failed = m_captureError;
        }
    }
    // Said when it happens, not at the end of a run that may last months.
    if (!failed.isEmpty()) Report(OutputReport{OutputReport::RecordingFailed, 0, failed});
}

void AudioEngine::CloseCapture() {
    std::lock_guard lock(m_captureMutex);
    if (!m_captureFile) return;
    const std::uint64_t dropped = m_captureDropped.load();
    if (dropped > 0 && m_captureError.isEmpty()) {
        m_captureError = QStringLiteral("%1 frames are missing from %2: the recording fell behind")
                             .arg(dropped)
                             .arg(m_config.capturePath);
    }
    if (sf_close(static_cast<SNDFILE*>(m_captureFile)) != 0 && m_captureError.isEmpty()) {
        m_captureError = QStringLiteral("closing %1 failed").arg(m_config.capturePath);
    }
    m_captureFile = nullptr;
}

QString AudioEngine::CaptureError() const {
    std::lock_guard lock(m_captureMutex);
    return m_captureError;
}

// ---------------------------------------------------------------------------

EngineStats AudioEngine::Stats() const {
    EngineStats stats;
    {
        std::lock_guard lock(m_outputMutex);
        stats.output = m_outputName;
        stats.latencyMs = m_latencyMs;
        // The callback has switched to the armed device; it is adopted later.
        if (m_armed.stream && OwnerOf(m_route.load()) == m_armed.id) {
            stats.output = QStringLiteral("sound device \"%1\" (%2)")
                               .arg(m_armed.device.name, m_armed.device.hostApi);
            stats.latencyMs = m_armed.stream->LatencyMs();
        }
    }
    stats.rate = kRate;
    stats.captureError = CaptureError();
    stats.underrunFrames = m_underrunFrames.load();
    stats.gaps = m_gaps.load();
    stats.gapFrames = m_gapFrames.load();
    stats.framesRendered = static_cast<std::uint64_t>(m_frame.load());
    stats.stalls = m_stalls.load();
    stats.stalledSeconds = static_cast<double>(m_stalledNs.load()) / 1e9;
    return stats;
}

QString AudioEngine::AboutText() const {
    const EngineStats stats = Stats();
    const QString output = stats.output.isEmpty() ? QStringLiteral("not opened yet") : stats.output;
    return QStringLiteral("Sonavel Media Player Control\r\n\r\n") +
           QStringLiteral("Output: %1\r\nRate: %2 Hz, latency %3 ms\r\n")
               .arg(output)
               .arg(stats.rate)
               .arg(stats.latencyMs, 0, 'f', 1) +
           QStringLiteral("Underruns: %1 frames\r\nGaps between elements: %2 (%3 frames)\r\n\r\n")
               .arg(stats.underrunFrames)
               .arg(stats.gaps)
               .arg(stats.gapFrames) +
           QStringLiteral("Decoding: %1\r\nAudio output: %2")
               .arg(Decoder::LibraryVersions(), SoundLibraryVersion());
}

}  // namespace sonavel
