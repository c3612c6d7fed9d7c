#include "AudioEngine.h"

#include <chrono>
#include <thread>

// Attaching and detaching the mix's taps. The callback only reads the slots;
// the taps are owned here, so one is freed only once the callback can no
// longer be writing it.

namespace sonavel {

bool AudioEngine::AttachTap(const std::shared_ptr<MixTap>& tap) {
    std::lock_guard lock(m_tapMutex);
    for (std::size_t i = 0; i < kMaxTaps; ++i) {
        if (m_tapOwners[i]) continue;
        m_tapOwners[i] = tap;
        m_taps[i].store(tap.get(), std::memory_order_release);
        return true;
    }
    return false;
}

void AudioEngine::DetachTap(const std::shared_ptr<MixTap>& tap) {
    std::lock_guard lock(m_tapMutex);
    for (std::size_t i = 0; i < kMaxTaps; ++i) {
        if (m_tapOwners[i] != tap) continue;
        m_taps[i].store(nullptr, std::memory_order_seq_cst);
        // A buffer being rendered now may have read the slot before it was
        // cleared; the next one cannot. A callback never takes long, and a
        // device that hangs inside one is replaced by the watchdog.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (m_rendering.test(std::memory_order_seq_cst) &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::yield();
        }
        m_tapOwners[i].reset();
    }
}

}  // namespace sonavel
