#pragma once

// What the engine's own files share: the outputs, the callback's voice states
// and the frame counts they agree on. Not part of the media library's interface.

#include "AudioEngine.h"

#include <QString>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>

namespace sonavel {

namespace engine {

// Which output may render; the others' calls render silence.
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

inline constexpr int kFadeFrames = AudioEngine::kRate * 5 / 1000;
inline constexpr std::size_t kRingFrames = std::size_t{AudioEngine::kRate} * 4;
inline constexpr std::size_t kScratchFrames = 4096;
inline constexpr int kPacedPeriod = AudioEngine::kRate / 100;
inline constexpr auto kStallLimit = std::chrono::milliseconds(250);

inline std::int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace engine

// Silence paced in real time on a thread of its own: a machine without sound
// keeps its timeline.
class PacedOutput {
  public:
    explicit PacedOutput(AudioEngine& engine) : m_engine(engine) {
        m_thread = std::thread([this] { Run(); });
    }
    ~PacedOutput() {
        m_quit = true;
        m_thread.join();
    }
    PacedOutput(const PacedOutput&) = delete;
    PacedOutput& operator=(const PacedOutput&) = delete;

  private:
    void Run();

    AudioEngine& m_engine;
    std::atomic<bool> m_quit{false};
    std::thread m_thread;
};

// The default sound device through PortAudio.
class DeviceOutput {
  public:
    // Null when there is no device or it cannot be opened.
    static std::unique_ptr<DeviceOutput> Open(AudioEngine& engine, QString& name,
                                              double& latencyMs);
    // The output library's version, for the about box.
    static QString VersionText();
    ~DeviceOutput();
    DeviceOutput(const DeviceOutput&) = delete;
    DeviceOutput& operator=(const DeviceOutput&) = delete;

    // Called on the device's own thread.
    void Fill(float* out, unsigned long frames);

  private:
    explicit DeviceOutput(AudioEngine& engine) : m_engine(engine) {}

    AudioEngine& m_engine;
    void* m_stream = nullptr;  // PaStream*
    bool m_initialised = false;
};

}  // namespace sonavel
