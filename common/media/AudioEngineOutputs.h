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

// Which output may render; the others' calls render silence. Every device
// stream opened gets an id of its own from kFirstDeviceId on, so a stream
// that was replaced can never render again.
enum OutputId { kNoOutput = -1, kPacedId = 1, kVirtualId = 2, kFirstDeviceId = 3 };

inline constexpr std::uint64_t Route(int owner, int next) {
    return (std::uint64_t{static_cast<std::uint32_t>(next)} << 32) |
           static_cast<std::uint32_t>(owner);
}
inline constexpr int OwnerOf(std::uint64_t route) {
    return static_cast<int>(static_cast<std::uint32_t>(route));
}
inline constexpr int NextOf(std::uint64_t route) {
    return static_cast<int>(static_cast<std::uint32_t>(route >> 32));
}

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

// The output library's version, for the about box.
QString SoundLibraryVersion();

}  // namespace sonavel
