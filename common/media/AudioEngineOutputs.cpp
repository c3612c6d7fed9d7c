#include "AudioEngineOutputs.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <portaudio.h>
#include <QString>
#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

// The engine's outputs: the sound device, silence paced in real time, and the
// virtual output that renders only when a caller asks. Which one renders is
// decided here; the mixer renders for whichever it is.

namespace sonavel {

using namespace engine;

namespace {

// The sound libraries report every probe of a missing device on the
// terminal; a station without a sound card is not an error worth that.
void SilentAlsa(const char*, int, const char*, int, const char*, ...) {}
void SilentJack(const char*) {}

int DeviceCallback(const void*, void* out, unsigned long frames, const PaStreamCallbackTimeInfo*,
                   PaStreamCallbackFlags, void* self) {
    static_cast<DeviceOutput*>(self)->Fill(static_cast<float*>(out), frames);
    return paContinue;
}

}  // namespace

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
// The sound device

std::unique_ptr<DeviceOutput> DeviceOutput::Open(AudioEngine& engine, QString& name,
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
                      paFramesPerBufferUnspecified, paClipOff, &DeviceCallback,
                      output.get()) != paNoError) {
        output->m_stream = nullptr;
        return nullptr;
    }
    if (Pa_StartStream(output->m_stream) != paNoError) return nullptr;
    const PaStreamInfo* stream = Pa_GetStreamInfo(output->m_stream);
    latencyMs = stream ? stream->outputLatency * 1000.0 : params.suggestedLatency * 1000.0;
    name = QStringLiteral("sound device \"%1\"").arg(QString::fromUtf8(info ? info->name : "?"));
    return output;
}

DeviceOutput::~DeviceOutput() {
    if (m_stream) {
        Pa_AbortStream(m_stream);
        Pa_CloseStream(m_stream);
    }
    if (m_initialised) Pa_Terminate();
}

void DeviceOutput::Fill(float* out, unsigned long frames) {
    m_engine.Render(out, frames, kDeviceId);
}

QString DeviceOutput::VersionText() {
    return QString::fromLatin1(Pa_GetVersionText());
}

// ---------------------------------------------------------------------------
// Choosing the output

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

}  // namespace sonavel
