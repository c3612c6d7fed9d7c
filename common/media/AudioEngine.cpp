#include "AudioEngine.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <mpg123.h>
#include <portaudio.h>
#include <sndfile.h>
#include <soxr.h>
#include <QFile>
#include <QMetaObject>
#include <QObject>
#include <QString>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstring>

namespace sonavel {

namespace {

enum OutputId { kDeviceId = 0, kPacedId = 1, kVirtualId = 2 };

// Callback-side voice states.
enum VoiceState {
    kIdle = 0,
    kScheduled,
    kPlaying,
    kTail,  // its end was reported; it sounds on to its last frame
    kFadeToPause,
    kPaused,
    kFadeToStop,  // Stop: silence after the fade, no end
    kFadeToEnd,   // the element was ended early: an end after the fade
};

constexpr int kFadeFrames = AudioEngine::kRate * 5 / 1000;
constexpr std::size_t kRingFrames = AudioEngine::kRate * 4;
constexpr std::size_t kScratchFrames = 4096;
constexpr int kPacedPeriod = AudioEngine::kRate / 100;
constexpr auto kStallLimit = std::chrono::milliseconds(250);

std::int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The sound libraries report every probe of a missing device on the
// terminal; a station without a sound card is not an error worth that.
void SilentAlsa(const char*, int, const char*, int, const char*, ...) {}
void SilentJack(const char*) {}

}  // namespace

// ---------------------------------------------------------------------------
// Outputs

class PacedOutput {
  public:
    explicit PacedOutput(AudioEngine& engine) : m_engine(engine) {
        m_thread = std::thread([this] { Run(); });
    }
    ~PacedOutput() {
        m_quit = true;
        m_thread.join();
    }

  private:
    void Run() {
        std::vector<float> buffer(static_cast<std::size_t>(kPacedPeriod) * 2);
        const auto period =
            std::chrono::microseconds(1000000LL * kPacedPeriod / AudioEngine::kRate);
        auto next = std::chrono::steady_clock::now();
        while (!m_quit) {
            m_engine.Render(buffer.data(), kPacedPeriod, kPacedId);
            next += period;
            const auto now = std::chrono::steady_clock::now();
            // Far behind (the machine slept): start afresh rather than rush.
            if (now - next > std::chrono::seconds(1)) next = now;
            std::this_thread::sleep_until(next);
        }
    }

    AudioEngine& m_engine;
    std::atomic<bool> m_quit{false};
    std::thread m_thread;
};

class DeviceOutput {
  public:
    static std::unique_ptr<DeviceOutput> Open(AudioEngine& engine, QString& name,
                                              double& latencyMs) {
        snd_lib_error_set_handler(SilentAlsa);
        jack_set_error_function(SilentJack);
        jack_set_info_function(SilentJack);
        if (Pa_Initialize() != paNoError) return nullptr;
        std::unique_ptr<DeviceOutput> output(new DeviceOutput(engine));
        output->m_initialised = true;
        const PaDeviceIndex device = Pa_GetDefaultOutputDevice();
        if (device == paNoDevice) return nullptr;
        const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
        PaStreamParameters params{};
        params.device = device;
        params.channelCount = 2;
        params.sampleFormat = paFloat32;
        params.suggestedLatency = std::max(0.040, info ? info->defaultLowOutputLatency : 0.040);
        if (Pa_OpenStream(&output->m_stream, nullptr, &params, AudioEngine::kRate,
                          paFramesPerBufferUnspecified, paClipOff, &DeviceOutput::Callback,
                          output.get()) != paNoError) {
            output->m_stream = nullptr;
            return nullptr;
        }
        if (Pa_StartStream(output->m_stream) != paNoError) return nullptr;
        const PaStreamInfo* stream = Pa_GetStreamInfo(output->m_stream);
        latencyMs = stream ? stream->outputLatency * 1000.0 : params.suggestedLatency * 1000.0;
        name =
            QStringLiteral("sound device \"%1\"").arg(QString::fromUtf8(info ? info->name : "?"));
        return output;
    }

    ~DeviceOutput() {
        if (m_stream) {
            Pa_AbortStream(m_stream);
            Pa_CloseStream(m_stream);
        }
        if (m_initialised) Pa_Terminate();
    }

  private:
    explicit DeviceOutput(AudioEngine& engine) : m_engine(engine) {}

    static int Callback(const void*, void* out, unsigned long frames,
                        const PaStreamCallbackTimeInfo*, PaStreamCallbackFlags, void* self) {
        auto* output = static_cast<DeviceOutput*>(self);
        output->m_engine.Render(static_cast<float*>(out), frames, kDeviceId);
        return paContinue;
    }

    AudioEngine& m_engine;
    PaStream* m_stream = nullptr;
    bool m_initialised = false;
};

// ---------------------------------------------------------------------------
// Lifetime

AudioEngine::AudioEngine(const EngineConfig& config)
    : m_config(config),
      m_tailFrames(std::max(0, config.tailMs) * kRate / 1000),
      m_scratch(kScratchFrames * 2) {
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
        m_owner = -1;
        m_device.reset();
        m_paced.reset();
    }
    m_quit = true;
    if (m_service.joinable()) m_service.join();
    // Whatever the outputs rendered last is recorded, then the file is closed.
    DrainCapture(true);
    CloseCapture();
}

void AudioEngine::EnsureRunning() {
    std::lock_guard lock(m_outputMutex);
    if (m_running || m_finished) return;
    m_running = true;
    m_lastRenderNs = NowNs();
    if (m_config.output == OutputKind::Virtual) {
        // Nothing runs behind the caller's back: it renders, and receives
        // the events and writes the recording itself.
        m_outputName = QStringLiteral("virtual clock (renders on request)");
        m_owner = kVirtualId;
        return;
    }
    if (m_config.output == OutputKind::Device) {
        m_owner = kDeviceId;
        m_device = DeviceOutput::Open(*this, m_outputName, m_latencyMs);
        if (!m_device)
            m_outputName = QStringLiteral("silent output paced in real time (no sound device)");
    } else {
        m_outputName = QStringLiteral("silent output paced in real time");
    }
    if (!m_device) {
        m_latencyMs = 1000.0 * kPacedPeriod / kRate;
        m_owner = kPacedId;
        m_paced = std::make_unique<PacedOutput>(*this);
    }
    // Opening a device can take longer than the watchdog allows a callback.
    m_lastRenderNs = NowNs();
    m_service = std::thread([this] { ServiceLoop(); });
}

void AudioEngine::SwitchToPaced(const char* why) {
    std::lock_guard lock(m_outputMutex);
    if (m_owner != kDeviceId) return;
    // The timeline goes on from the frame the device reached; the device may
    // come back, but it no longer renders.
    m_owner = kPacedId;
    m_outputName = QStringLiteral("silent output paced in real time (%1)").arg(QLatin1String(why));
    m_latencyMs = 1000.0 * kPacedPeriod / kRate;
    m_paced = std::make_unique<PacedOutput>(*this);
}

void AudioEngine::RenderVirtual(std::int64_t frames) {
    EnsureRunning();
    std::vector<float> buffer(kScratchFrames * 2);
    while (frames > 0) {
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::int64_t>(frames, kScratchFrames));
        Render(buffer.data(), n, kVirtualId);
        frames -= static_cast<std::int64_t>(n);
        DrainCapture(false);
    }
    DeliverEvents();
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
    const int owner = m_owner.load();
    if (owner == kVirtualId || owner == -1) {
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
// The callback

bool AudioEngine::Sounding(const Voice& voice) const {
    return voice.state == kPlaying || voice.state == kTail || voice.state == kFadeToPause ||
           voice.state == kFadeToStop || voice.state == kFadeToEnd;
}

void AudioEngine::ProcessCommands() {
    Command command;
    const std::int64_t now = m_frame.load(std::memory_order_relaxed);
    while (m_commands.Pop(command)) {
        Voice* voice = m_voices[static_cast<std::size_t>(command.voice)].get();
        if (voice) {
            switch (command.type) {
                case Command::Start:
                    voice->token.store(command.token, std::memory_order_relaxed);
                    voice->playedFrames.store(0, std::memory_order_relaxed);
                    voice->state = kScheduled;
                    voice->startAt = std::max(m_tailEnd, now);
                    voice->fadePos = kFadeFrames;  // a start plays the file as it is
                    voice->busy.store(true, std::memory_order_release);
                    break;
                case Command::Pause:
                    if (voice->state == kScheduled) {
                        voice->state = kPaused;
                    } else if (voice->state == kPlaying || voice->state == kTail) {
                        voice->state = kFadeToPause;
                        voice->fadePos = 0;
                    }
                    break;
                case Command::Resume:
                    if (voice->state == kPaused || voice->state == kFadeToPause) {
                        voice->state = kPlaying;
                        voice->fadePos = -kFadeFrames;  // fades in
                    }
                    break;
                case Command::Stop:
                    if (Sounding(*voice)) {
                        voice->state = kFadeToStop;
                        voice->fadePos = 0;
                    } else if (voice->state != kIdle) {
                        voice->state = kIdle;
                        voice->busy.store(false, std::memory_order_release);
                    }
                    break;
                case Command::EndNow:
                    if (Sounding(*voice) || voice->state == kScheduled) {
                        voice->state = kFadeToEnd;
                        voice->fadePos = 0;
                        m_tailEnd = std::max(m_tailEnd, now + kFadeFrames);
                    }
                    break;
                case Command::Kill:
                    voice->state = kIdle;
                    voice->busy.store(false, std::memory_order_release);
                    break;
            }
        }
        m_doneSeq.store(command.seq, std::memory_order_release);
    }
}

void AudioEngine::Render(float* out, std::size_t frames, int output) {
    std::fill(out, out + frames * 2, 0.0f);
    if (output != m_owner.load(std::memory_order_acquire)) return;
    if (m_rendering.test_and_set(std::memory_order_acquire)) return;
    m_lastRenderNs.store(NowNs(), std::memory_order_relaxed);

    const std::int64_t bufStart = m_frame.load(std::memory_order_relaxed);
    ProcessCommands();
    if (output == kVirtualId) AwaitDecoders(frames);
    for (std::size_t i = 0; i < kMaxVoices; ++i) {
        Voice& voice = *m_voices[i];
        if (voice.state != kIdle && voice.state != kPaused) {
            RenderVoice(voice, static_cast<int>(i), out, frames, bufStart);
        }
    }
    // One damaged file must not reach the transmitter or poison the
    // recording: what is not a number is silence, and the mix stays within
    // full scale.
    for (std::size_t k = 0; k < frames * 2; ++k) {
        const float sample = out[k];
        if (!std::isfinite(sample)) {
            out[k] = 0.0f;
        } else if (sample > 1.0f) {
            out[k] = 1.0f;
        } else if (sample < -1.0f) {
            out[k] = -1.0f;
        }
    }
    m_frame.store(bufStart + static_cast<std::int64_t>(frames), std::memory_order_release);
    if (m_captureRing) {
        const std::size_t kept = m_captureRing->Write(out, frames);
        // The recording fell behind; the air goes on regardless, and the
        // run says at its end that the recording is incomplete.
        if (kept < frames) m_captureDropped.fetch_add(frames - kept, std::memory_order_relaxed);
    }
    m_rendering.clear(std::memory_order_release);
}

void AudioEngine::AwaitDecoders(std::size_t frames) {
    // Only the virtual output waits: it stands for a device that is never
    // late, so whether a voice has data must not depend on how the decoder
    // threads were scheduled. A decoder that has stopped answering still
    // cannot hold the caller for long.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    for (const auto& voice : m_voices) {
        if (voice->state == kIdle || voice->state == kPaused) continue;
        while (voice->ring.Readable() < frames &&
               !voice->decodeEnded.load(std::memory_order_acquire)) {
            if (std::chrono::steady_clock::now() > deadline) return;
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    }
}

void AudioEngine::RenderVoice(Voice& voice, int index, float* out, std::size_t frames,
                              std::int64_t bufStart) {
    std::size_t offset = 0;
    if (voice.state == kScheduled) {
        if (voice.startAt >= bufStart + static_cast<std::int64_t>(frames)) return;
        offset = static_cast<std::size_t>(std::max<std::int64_t>(0, voice.startAt - bufStart));
        const std::int64_t start = bufStart + static_cast<std::int64_t>(offset);
        bool otherSounding = false;
        for (const auto& other : m_voices) {
            if (other && other.get() != &voice &&
                (other->state == kPlaying || other->state == kTail)) {
                otherSounding = true;
            }
        }
        if (m_lastEndValid && !otherSounding && start > m_lastEnd) {
            m_gaps.fetch_add(1, std::memory_order_relaxed);
            m_gapFrames.fetch_add(static_cast<std::uint64_t>(start - m_lastEnd),
                                  std::memory_order_relaxed);
        }
        m_lastEndValid = false;
        voice.state = kPlaying;
    }

    const bool ended = voice.decodeEnded.load(std::memory_order_acquire);
    std::size_t done = offset;
    while (done < frames) {
        const std::size_t want = std::min(frames - done, kScratchFrames);
        std::size_t got = voice.ring.Read(m_scratch.data(), want);
        // A fade runs over its frames, then the voice goes quiet.
        if (voice.state == kFadeToPause || voice.state == kFadeToStop ||
            voice.state == kFadeToEnd) {
            got = std::min<std::size_t>(got, static_cast<std::size_t>(kFadeFrames - voice.fadePos));
        }
        float* dst = out + done * 2;
        for (std::size_t f = 0; f < got; ++f) {
            float gain = 1.0f;
            if (voice.fadePos < 0) {  // fading in
                gain = 1.0f - static_cast<float>(-voice.fadePos) / kFadeFrames;
                ++voice.fadePos;
                if (voice.fadePos == 0) voice.fadePos = kFadeFrames;
            } else if (voice.state == kFadeToPause || voice.state == kFadeToStop ||
                       voice.state == kFadeToEnd) {
                gain = 1.0f - static_cast<float>(voice.fadePos + 1) / kFadeFrames;
                ++voice.fadePos;
            }
            dst[f * 2] += m_scratch[f * 2] * gain;
            dst[f * 2 + 1] += m_scratch[f * 2 + 1] * gain;
        }
        const std::int64_t played =
            voice.playedFrames.load(std::memory_order_relaxed) + static_cast<std::int64_t>(got);
        voice.playedFrames.store(played, std::memory_order_release);
        done += got;
        const std::int64_t position = bufStart + static_cast<std::int64_t>(done);

        const bool fading =
            voice.state == kFadeToPause || voice.state == kFadeToStop || voice.state == kFadeToEnd;
        if (fading && voice.fadePos >= kFadeFrames) {
            if (voice.state == kFadeToPause) {
                voice.state = kPaused;
                return;
            }
            if (voice.state == kFadeToEnd) {
                m_lastEnd = position;
                m_lastEndValid = true;
            }
            voice.state = kIdle;
            voice.busy.store(false, std::memory_order_release);
            m_events.Push(Event{Event::Stopped, static_cast<std::int16_t>(index), voice.token});
            return;
        }

        const std::int64_t total = voice.totalFrames.load(std::memory_order_acquire);
        if (ended && played >= total) {
            // The last frame has sounded.
            m_lastEnd = position;
            m_lastEndValid = true;
            const bool reported = voice.state == kTail;
            voice.state = kIdle;
            voice.busy.store(false, std::memory_order_release);
            if (!reported) {
                m_events.Push(
                    Event{Event::EarlyEnd, static_cast<std::int16_t>(index), voice.token});
            }
            m_events.Push(Event{Event::Finished, static_cast<std::int16_t>(index), voice.token});
            return;
        }
        if (ended && voice.state == kPlaying && total - played <= m_tailFrames) {
            // Report the end now; the next element starts right after the
            // last frame of this one, however late the answer comes within
            // the tail.
            voice.state = kTail;
            m_tailEnd = std::max(m_tailEnd, position + (total - played));
            m_events.Push(Event{Event::EarlyEnd, static_cast<std::int16_t>(index), voice.token});
        }
        if (got < want) {
            if (!ended) m_underrunFrames.fetch_add(want - got, std::memory_order_relaxed);
            return;
        }
    }
}

// ---------------------------------------------------------------------------
// Service thread: events to the UI thread, the capture file, the watchdog.

void AudioEngine::ServiceLoop() {
    while (!m_quit.load()) {
        // Ends are reported a tail ahead, so a few milliseconds here cost
        // nothing on air and keep the thread from waking needlessly.
        std::this_thread::sleep_for(std::chrono::milliseconds(4));
        DeliverEvents();
        DrainCapture(false);
        if (m_owner.load() == kDeviceId &&
            NowNs() - m_lastRenderNs.load() >
                std::chrono::duration_cast<std::chrono::nanoseconds>(kStallLimit).count()) {
            SwitchToPaced("the sound device stopped answering");
        }
    }
    DeliverEvents();
}

void AudioEngine::DeliverEvents() {
    Event event;
    while (m_events.Pop(event)) {
        std::lock_guard lock(m_ownersMutex);
        QObject* owner = m_owners[static_cast<std::size_t>(event.voice)];
        if (!owner) continue;
        QMetaObject::invokeMethod(owner, "OnEngineEvent", Qt::QueuedConnection,
                                  Q_ARG(int, static_cast<int>(event.type)), Q_ARG(int, event.voice),
                                  Q_ARG(uint, event.token));
    }
}

void AudioEngine::DrainCapture(bool final) {
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
    }
    stats.rate = kRate;
    stats.captureError = CaptureError();
    stats.underrunFrames = m_underrunFrames.load();
    stats.gaps = m_gaps.load();
    stats.gapFrames = m_gapFrames.load();
    stats.framesRendered = static_cast<std::uint64_t>(m_frame.load());
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
           QStringLiteral("Decoding: %1, libmpg123 %2, libsoxr %3\r\nAudio output: %4")
               .arg(QString::fromLatin1(sf_version_string()))
               .arg(MPG123_API_VERSION)
               .arg(QString::fromLatin1(soxr_version()))
               .arg(QString::fromLatin1(Pa_GetVersionText()));
}

}  // namespace sonavel
