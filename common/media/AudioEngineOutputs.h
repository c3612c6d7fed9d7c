#pragma once

// What the engine's own files share: the outputs, the callback's voice states
// and the frame counts they agree on. Not part of the media library's interface.

#include "AudioEngine.h"

#include <time.h>
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

// The watchdog's clock: it goes on counting while the machine is suspended,
// so a suspend reads as the stall it is.
inline std::int64_t NowNs() {
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return std::int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
}

inline constexpr std::int64_t kStallLimitNs =
    std::chrono::duration_cast<std::chrono::nanoseconds>(kStallLimit).count();
// How often a card that was given up is tried again.
inline constexpr auto kDeviceRetry = std::chrono::seconds(3);

// Tells a card that stopped answering from a process that stood still. The
// service thread looks every few milliseconds; when its own look comes late
// by more than half the limit, the whole process (or the machine) was
// stopped (SIGSTOP, a paused virtual machine, a suspend, swapping), the card
// with it, and the card's silence says nothing about the card.
class StallWatch {
  public:
    enum class Verdict { Fine, ProcessStalled, DeviceSilent };

    // now and lastRender on NowNs's clock.
    Verdict Check(std::int64_t now, std::int64_t lastRender) {
        const std::int64_t previous = m_lastLook;
        m_lastLook = now;
        if (previous != 0 && now - previous > kStallLimitNs / 2) {
            m_stalledNs = now - previous;
            return Verdict::ProcessStalled;
        }
        return now - lastRender > kStallLimitNs ? Verdict::DeviceSilent : Verdict::Fine;
    }
    // How long the process stood still, at the last ProcessStalled.
    std::int64_t StalledNs() const { return m_stalledNs; }

  private:
    std::int64_t m_lastLook = 0;
    std::int64_t m_stalledNs = 0;
};

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
