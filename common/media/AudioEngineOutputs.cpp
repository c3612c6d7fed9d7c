#include "AudioEngineOutputs.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <portaudio.h>
#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QString>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

// The engine's outputs: the sound devices, silence paced in real time, and
// the virtual output that renders only when a caller asks. Which one renders
// is decided here; the mixer renders for whichever it is.

namespace sonavel {

using namespace engine;

namespace {

// The sound libraries report every probe of a missing device on the
// terminal; a station without a sound card is not an error worth that.
void SilentAlsa(const char*, int, const char*, int, const char*, ...) {}
void SilentJack(const char*) {}

// PortAudio is not safe to call from two threads at once; the options
// window lists devices while the watchdog may be opening one.
std::mutex& PortAudioMutex() {
    static std::mutex mutex;
    return mutex;
}

bool InitialisePortAudio() {
    snd_lib_error_set_handler(SilentAlsa);
    jack_set_error_function(SilentJack);
    jack_set_info_function(SilentJack);
    return Pa_Initialize() == paNoError;
}

// Under the PortAudio mutex, between initialise and terminate.
std::vector<std::pair<SoundDevice, PaDeviceIndex>> ListPortAudio() {
    std::vector<std::pair<SoundDevice, PaDeviceIndex>> devices;
    const PaDeviceIndex byDefault = Pa_GetDefaultOutputDevice();
    const PaDeviceIndex count = Pa_GetDeviceCount();
    for (PaDeviceIndex i = 0; i < count; ++i) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        // The engine plays stereo.
        if (!info || info->maxOutputChannels < 2) continue;
        const PaHostApiInfo* api = Pa_GetHostApiInfo(info->hostApi);
        devices.push_back({SoundDevice{QString::fromUtf8(info->name),
                                       api ? QString::fromUtf8(api->name) : QString(),
                                       info->maxOutputChannels, i == byDefault},
                           i});
    }
    return devices;
}

class PortAudioStream final : public SoundStream {
  public:
    PortAudioStream(AudioEngine& engine, int output) : m_engine(engine), m_output(output) {}
    ~PortAudioStream() override {
        const std::lock_guard lock(PortAudioMutex());
        if (m_stream) {
            Pa_AbortStream(m_stream);
            Pa_CloseStream(m_stream);
        }
        Pa_Terminate();
    }
    PortAudioStream(const PortAudioStream&) = delete;
    PortAudioStream& operator=(const PortAudioStream&) = delete;

    double LatencyMs() const override { return m_latencyMs; }
    bool Answering() const override { return m_calls.load(std::memory_order_relaxed) > 0; }

    // Under the PortAudio mutex, initialised.
    bool Start(PaDeviceIndex index) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(index);
        PaStreamParameters params{};
        params.device = index;
        params.channelCount = 2;
        params.sampleFormat = paFloat32;
        params.suggestedLatency = std::max(0.040, info ? info->defaultLowOutputLatency : 0.040);
        if (Pa_OpenStream(&m_stream, nullptr, &params, AudioEngine::kRate,
                          paFramesPerBufferUnspecified, paClipOff, &Callback, this) != paNoError) {
            m_stream = nullptr;
            return false;
        }
        if (Pa_StartStream(m_stream) != paNoError) return false;
        const PaStreamInfo* stream = Pa_GetStreamInfo(m_stream);
        m_latencyMs = (stream ? stream->outputLatency : params.suggestedLatency) * 1000.0;
        return true;
    }

  private:
    static int Callback(const void*, void* out, unsigned long frames,
                        const PaStreamCallbackTimeInfo*, PaStreamCallbackFlags, void* self) {
        auto* stream = static_cast<PortAudioStream*>(self);
        stream->m_calls.fetch_add(1, std::memory_order_relaxed);
        stream->m_engine.Render(static_cast<float*>(out), frames, stream->m_output);
        return paContinue;
    }

    AudioEngine& m_engine;
    int m_output;
    PaStream* m_stream = nullptr;
    double m_latencyMs = 0;
    std::atomic<std::uint64_t> m_calls{0};
};

class PortAudioDevices final : public SoundDevices {
  public:
    std::vector<SoundDevice> List() override {
        const std::lock_guard lock(PortAudioMutex());
        std::vector<SoundDevice> devices;
        if (!InitialisePortAudio()) return devices;
        for (auto& [device, index] : ListPortAudio())
            devices.push_back(device);
        Pa_Terminate();
        return devices;
    }

    std::unique_ptr<SoundStream> Open(const SoundDevice& device, AudioEngine& engine,
                                      int output) override {
        std::unique_ptr<PortAudioStream> stream;
        {
            const std::lock_guard lock(PortAudioMutex());
            if (!InitialisePortAudio()) return nullptr;
            // The stream keeps the library initialised until it is closed.
            stream = std::make_unique<PortAudioStream>(engine, output);
            PaDeviceIndex index = paNoDevice;
            for (const auto& [listed, at] : ListPortAudio()) {
                if (listed == device) index = at;
            }
            if (index != paNoDevice && stream->Start(index)) return stream;
        }
        return nullptr;  // closed outside the lock, which its destructor takes
    }
};

}  // namespace

std::shared_ptr<SoundDevices> SystemSoundDevices() {
    static const auto devices = std::make_shared<PortAudioDevices>();
    return devices;
}

const SoundDevice* FindSoundDevice(const std::vector<SoundDevice>& devices, const QString& name) {
    if (name.isEmpty()) return DefaultSoundDevice(devices);
    const auto found = std::find_if(devices.begin(), devices.end(),
                                    [&](const SoundDevice& device) { return device.name == name; });
    return found == devices.end() ? nullptr : &*found;
}

const SoundDevice* DefaultSoundDevice(const std::vector<SoundDevice>& devices) {
    const auto found = std::find_if(devices.begin(), devices.end(),
                                    [](const SoundDevice& device) { return device.isDefault; });
    return found == devices.end() ? nullptr : &*found;
}

QString SoundLibraryVersion() {
    return QString::fromLatin1(Pa_GetVersionText());
}

// ---------------------------------------------------------------------------
// Paced silence

void PacedOutput::Run() {
    std::vector<float> buffer(static_cast<std::size_t>(kPacedPeriod) * 2);
    const auto period = std::chrono::microseconds(1000000LL * kPacedPeriod / AudioEngine::kRate);
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

// ---------------------------------------------------------------------------
// Choosing the output

namespace {

QString DeviceName(const SoundDevice& device) {
    return QStringLiteral("\"%1\"").arg(device.name);
}

const QString kPacedName = QStringLiteral("the silent output paced in real time");

}  // namespace

std::vector<SoundDevice> AudioEngine::Devices() {
    return m_devices->List();
}

QString AudioEngine::Device() const {
    std::lock_guard lock(m_outputMutex);
    return m_config.device;
}

void AudioEngine::SetOutputNotice(std::function<void(const QString&)> notice) {
    std::lock_guard lock(m_outputMutex);
    m_notice = std::move(notice);
}

void AudioEngine::Notify(const QString& text) {
    if (text.isEmpty()) return;
    // The notice writes the error log, which belongs to the building thread.
    m_toBuildingThread->PostOrCall([this, text] {
        if (const auto notice = CopyLocked(m_notice)) notice(text);
    });
}

AudioEngine::OpenDevice AudioEngine::OpenOne(const SoundDevice& device) {
    OpenDevice open;
    open.stream = m_devices->Open(device, *this, m_nextDeviceId);
    if (open.stream) {
        open.id = m_nextDeviceId++;
        open.device = device;
    }
    return open;
}

AudioEngine::OpenDevice AudioEngine::OpenChoice(const QString& name, QString& problem) {
    const std::vector<SoundDevice> devices = m_devices->List();
    const SoundDevice* wanted = FindSoundDevice(devices, name);
    if (wanted) {
        OpenDevice open = OpenOne(*wanted);
        if (open.stream || name.isEmpty()) return open;
        problem = QStringLiteral("The sound device \"%1\" could not be opened").arg(name);
    } else if (name.isEmpty()) {
        return {};
    } else {
        problem = QStringLiteral("The sound device \"%1\" is not available").arg(name);
    }
    const SoundDevice* fallback = DefaultSoundDevice(devices);
    if (fallback && fallback != wanted) return OpenOne(*fallback);
    return {};
}

void AudioEngine::Arm(OpenDevice open) {
    for (;;) {
        std::uint64_t route = m_route.load();
        const int owner = OwnerOf(route);
        if (owner < kFirstDeviceId) {
            // Paced silence reaches nobody: the device takes over at once.
            m_route = Route(open.id, kNoOutput);
            m_paced.reset();
            m_armed = OpenDevice{};
            m_device = std::move(open);
            SetOutputName(m_device);
            return;
        }
        // For the callback to take at the next element; a device armed
        // before and not taken is closed. The callback may take it meanwhile:
        // then it is adopted and the new one armed after it.
        if (m_route.compare_exchange_strong(route, Route(owner, open.id))) {
            m_armed = std::move(open);
            return;
        }
        AdoptSwitchedDevice();
    }
}

void AudioEngine::SetOutputName(const OpenDevice& open) {
    m_outputName =
        QStringLiteral("sound device %1 (%2)").arg(DeviceName(open.device), open.device.hostApi);
    m_latencyMs = open.stream->LatencyMs();
}

void AudioEngine::StartPaced() {
    m_latencyMs = 1000.0 * kPacedPeriod / kRate;
    m_route = Route(kPacedId, kNoOutput);
    if (!m_paced) m_paced = std::make_unique<PacedOutput>(*this);
    // The paced output runs on its own: its events need the service thread.
    StartService();
}

void AudioEngine::StartService() {
    if (m_service.joinable()) return;
    // Opening a device can take longer than the watchdog allows a callback.
    m_lastRenderNs = NowNs();
    m_service = std::thread([this] { ServiceLoop(); });
}

void AudioEngine::AdoptSwitchedDevice() {
    // The armed device became the owner in the callback: the one it replaced
    // is silent from then on and can be closed.
    if (!m_armed.stream || OwnerOf(m_route.load()) != m_armed.id) return;
    m_device = std::move(m_armed);
    m_armed = OpenDevice{};
    SetOutputName(m_device);
}

void AudioEngine::EnsureRunning() {
    QString problem;
    {
        std::lock_guard lock(m_outputMutex);
        if (m_running || m_finished) return;
        m_running = true;
        m_lastRenderNs = NowNs();
        if (m_config.output == OutputKind::Virtual) {
            // Nothing runs behind the caller's back: it renders, and receives
            // the events and writes the recording itself.
            m_outputName = QStringLiteral("virtual clock (renders on request)");
            m_route = Route(kVirtualId, kNoOutput);
            return;
        }
        if (m_config.output == OutputKind::Device) {
            m_device = OpenChoice(m_config.device, problem);
            if (m_device.stream) {
                SetOutputName(m_device);
                m_route = Route(m_device.id, kNoOutput);
                if (!m_callerDriven) StartService();
            } else {
                m_outputName = QStringLiteral("silent output paced in real time (no sound device)");
                StartPaced();
            }
        } else {
            m_outputName = QStringLiteral("silent output paced in real time");
            StartPaced();
        }
        if (!problem.isEmpty()) {
            problem += m_device.stream
                           ? QStringLiteral("; playing on %1.").arg(DeviceName(m_device.device))
                           : QStringLiteral("; playing on %1.").arg(kPacedName);
            // The chosen device is taken as soon as it is there.
            StartRetry();
        }
    }
    Notify(problem);
}

void AudioEngine::SetDevice(const QString& name) {
    QString problem;
    {
        std::lock_guard lock(m_outputMutex);
        m_config.device = name;
        if (!m_running || m_finished || m_config.output != OutputKind::Device) return;
        AdoptSwitchedDevice();
        const std::vector<SoundDevice> devices = m_devices->List();
        const SoundDevice* wanted = FindSoundDevice(devices, name);
        // The device named, then the default one.
        std::vector<const SoundDevice*> candidates;
        if (wanted) candidates.push_back(wanted);
        if (!wanted && !name.isEmpty())
            problem = QStringLiteral("The sound device \"%1\" is not available").arg(name);
        const SoundDevice* fallback = DefaultSoundDevice(devices);
        if (!name.isEmpty() && fallback && fallback != wanted) candidates.push_back(fallback);

        const SoundDevice* chosen = nullptr;
        for (const SoundDevice* candidate : candidates) {
            const bool playing = m_device.stream && OwnerOf(m_route.load()) == m_device.id &&
                                 *candidate == m_device.device;
            if (playing) {
                // Already on air (a device cannot always be opened twice):
                // whatever was armed is dropped, unless the callback took it.
                std::uint64_t route = m_route.load();
                if (!m_armed.stream ||
                    m_route.compare_exchange_strong(route, Route(OwnerOf(route), kNoOutput))) {
                    m_armed = OpenDevice{};
                    chosen = candidate;
                    break;
                }
                AdoptSwitchedDevice();
            } else if (m_armed.stream && *candidate == m_armed.device) {
                chosen = candidate;  // on its way
                break;
            }
            OpenDevice open = OpenOne(*candidate);
            if (open.stream) {
                chosen = candidate;
                Arm(std::move(open));
                break;
            }
            if (candidate == wanted && !name.isEmpty())
                problem = QStringLiteral("The sound device \"%1\" could not be opened").arg(name);
        }
        if (!problem.isEmpty()) {
            if (chosen) {
                problem += QStringLiteral("; playing on %1.").arg(DeviceName(*chosen));
            } else if (m_device.stream && OwnerOf(m_route.load()) == m_device.id) {
                problem +=
                    QStringLiteral("; playing on %1 still.").arg(DeviceName(m_device.device));
            } else {
                problem += QStringLiteral("; playing on %1.").arg(kPacedName);
            }
            if (!chosen || chosen != wanted) StartRetry();
        }
    }
    Notify(problem);
}

void AudioEngine::OutputLost(const QString& why) {
    QString problem;
    {
        std::lock_guard lock(m_outputMutex);
        AdoptSwitchedDevice();
        const std::uint64_t route = m_route.load();
        if (OwnerOf(route) < kFirstDeviceId || OwnerOf(route) != m_device.id) return;
        const SoundDevice lost = m_device.device;
        // The lost stream may never answer a close; it is kept, silent, to the end.
        m_lost.push_back(std::move(m_device.stream));
        m_device = OpenDevice{};
        // Whatever takes over gets the watchdog's full allowance.
        m_lastRenderNs = NowNs();
        problem = QStringLiteral("The sound device %1 %2").arg(DeviceName(lost), why);
        // A device taken back that fails again soon is not a device that
        // came back: it is tried less and less often, so a card that opens
        // but never plays does not fill the error log.
        const bool relapse = m_takenBackAtNs != 0 && NowNs() - m_takenBackAtNs < 60'000'000'000LL;
        m_retryDelayMs = relapse ? std::min<std::int64_t>(m_retryDelayMs * 2, 300'000)
                                 : std::chrono::milliseconds(kDeviceRetry).count();
        m_takenBackAtNs = 0;
        if (m_armed.stream) {
            // The device chosen meanwhile takes over now rather than at an element.
            m_device = std::move(m_armed);
            m_armed = OpenDevice{};
            m_route = Route(m_device.id, kNoOutput);
        } else {
            // The timeline goes on at once, silently, while a device is
            // opened: the same one first (a stream that stopped can often be
            // opened again), then the default one.
            m_outputName =
                QStringLiteral("silent output paced in real time (the sound device %1)").arg(why);
            StartPaced();
            const std::vector<SoundDevice> devices = m_devices->List();
            std::vector<SoundDevice> candidates;
            if (!relapse && FindSoundDevice(devices, lost.name)) candidates.push_back(lost);
            const SoundDevice* fallback = DefaultSoundDevice(devices);
            if (fallback && fallback->name != lost.name) candidates.push_back(*fallback);
            for (const SoundDevice& candidate : candidates) {
                m_device = OpenOne(candidate);
                if (m_device.stream) {
                    m_route = Route(m_device.id, kNoOutput);
                    if (candidate.name == lost.name) m_takenBackAtNs = NowNs();
                    break;
                }
            }
        }
        if (m_device.stream) {
            m_paced.reset();
            SetOutputName(m_device);
            problem += QStringLiteral("; playing on %1.").arg(DeviceName(m_device.device));
        } else {
            problem += QStringLiteral("; playing on %1.").arg(kPacedName);
        }
        StartRetry();
    }
    Notify(problem);
}

bool AudioEngine::OnChosenDevice(const std::vector<SoundDevice>& devices) const {
    if (!m_device.stream || OwnerOf(m_route.load()) != m_device.id) return false;
    const SoundDevice* chosen = FindSoundDevice(devices, m_config.device);
    return chosen && chosen->name == m_device.device.name;
}

void AudioEngine::StartRetry() {
    // A test's devices are retried when the test says.
    if (m_callerDriven || m_retrying || m_finished || m_config.output != OutputKind::Device) return;
    if (m_retry.joinable()) m_retry.join();  // one that has just given up
    m_retrying = true;
    if (m_retryDelayMs <= 0) m_retryDelayMs = std::chrono::milliseconds(kDeviceRetry).count();
    m_retry = std::thread([this] { RetryLoop(); });
}

void AudioEngine::RetryLoop() {
    std::unique_lock lock(m_outputMutex);
    while (!m_finished) {
        m_retryWake.wait_for(lock, std::chrono::milliseconds(m_retryDelayMs));
        if (m_finished) break;
        lock.unlock();
        const bool done = RetryChosenDevice();
        lock.lock();
        if (done) break;
    }
    m_retrying = false;
}

bool AudioEngine::RetryChosenDevice() {
    QString notice;
    {
        std::unique_lock lock(m_outputMutex);
        if (m_finished || !m_running || m_config.output != OutputKind::Device) return true;
        AdoptSwitchedDevice();
        const std::vector<SoundDevice> devices = m_devices->List();
        if (OnChosenDevice(devices)) return true;
        const SoundDevice* chosen = FindSoundDevice(devices, m_config.device);
        if (!chosen) return false;
        if (m_armed.stream && m_armed.device.name == chosen->name) return false;  // on its way
        OpenDevice open = OpenOne(*chosen);
        if (!open.stream) return false;
        // Open is not enough: the device must ask for sound. The lock is let
        // go meanwhile, so the watchdog and a choice in the window go on.
        lock.unlock();
        for (int wait = 0; wait < 100 && !open.stream->Answering(); ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        lock.lock();
        if (m_finished || !open.stream->Answering()) {
            m_lost.push_back(std::move(open.stream));  // may never answer a close
            return m_finished;
        }
        const QString name = DeviceName(open.device);
        Arm(std::move(open));
        m_takenBackAtNs = NowNs();
        notice = QStringLiteral("The sound device %1 answers again; playing on %1.").arg(name);
    }
    Notify(notice);
    return true;
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

void AudioEngine::RenderDriven(int output, float* out, std::size_t frames) {
    Render(out, frames, output);
    DrainCapture(false);
    DeliverEvents();
}

void AudioEngine::AwaitDecoders(std::size_t frames) {
    // Only the virtual output and a test's devices wait: they stand for a device that is never
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

}  // namespace sonavel
