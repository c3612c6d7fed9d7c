#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace sonavel {

// Single-producer single-consumer queue of trivially copyable items, sized
// once. Neither side ever blocks, locks or allocates: the output callback is
// one of the two sides.
template <typename T>
class SpscQueue {
  public:
    explicit SpscQueue(std::size_t capacity)
        : m_capacity(capacity + 1), m_items(std::make_unique<T[]>(m_capacity)) {}

    bool Push(const T& item) {
        const std::size_t head = m_head.load(std::memory_order_relaxed);
        const std::size_t next = (head + 1) % m_capacity;
        if (next == m_tail.load(std::memory_order_acquire)) return false;
        m_items[head] = item;
        m_head.store(next, std::memory_order_release);
        return true;
    }

    bool Pop(T& item) {
        const std::size_t tail = m_tail.load(std::memory_order_relaxed);
        if (tail == m_head.load(std::memory_order_acquire)) return false;
        item = m_items[tail];
        m_tail.store((tail + 1) % m_capacity, std::memory_order_release);
        return true;
    }

  private:
    const std::size_t m_capacity;
    std::unique_ptr<T[]> m_items;
    alignas(64) std::atomic<std::size_t> m_head{0};
    alignas(64) std::atomic<std::size_t> m_tail{0};
};

// Single-producer single-consumer ring of interleaved stereo float frames.
class FrameRing {
  public:
    explicit FrameRing(std::size_t frames)
        : m_frames(frames), m_samples(std::make_unique<float[]>(frames * 2)) {}

    std::size_t Capacity() const { return m_frames; }
    std::size_t Readable() const {
        return static_cast<std::size_t>(m_written.load(std::memory_order_acquire) -
                                        m_read.load(std::memory_order_acquire));
    }
    std::size_t Writable() const { return m_frames - Readable(); }

    // Producer side. Returns frames written.
    std::size_t Write(const float* stereo, std::size_t frames) {
        const std::uint64_t written = m_written.load(std::memory_order_relaxed);
        const std::uint64_t read = m_read.load(std::memory_order_acquire);
        frames = std::min<std::size_t>(frames, m_frames - static_cast<std::size_t>(written - read));
        CopyIn(written, stereo, frames);
        m_written.store(written + frames, std::memory_order_release);
        return frames;
    }

    // Consumer side. Returns frames read.
    std::size_t Read(float* stereo, std::size_t frames) {
        const std::uint64_t read = m_read.load(std::memory_order_relaxed);
        const std::uint64_t written = m_written.load(std::memory_order_acquire);
        frames = std::min<std::size_t>(frames, static_cast<std::size_t>(written - read));
        CopyOut(read, stereo, frames);
        m_read.store(read + frames, std::memory_order_release);
        return frames;
    }

    // Only while neither side runs.
    void Clear() {
        m_written.store(0, std::memory_order_relaxed);
        m_read.store(0, std::memory_order_relaxed);
    }

  private:
    // Calls run(ringPointer, offsetIntoData, frames) for the one or two runs
    // that make up frames starting at position at.
    template <typename Run>
    void ForRuns(std::uint64_t at, std::size_t frames, Run run) {
        std::size_t offset = static_cast<std::size_t>(at % m_frames);
        std::size_t done = 0;
        while (done < frames) {
            const std::size_t count = std::min(frames - done, m_frames - offset);
            run(m_samples.get() + offset * 2, done * 2, count * 2);
            done += count;
            offset = 0;
        }
    }
    void CopyIn(std::uint64_t at, const float* data, std::size_t frames) {
        ForRuns(at, frames, [&](float* ring, std::size_t from, std::size_t n) {
            std::copy(data + from, data + from + n, ring);
        });
    }
    void CopyOut(std::uint64_t at, float* data, std::size_t frames) {
        ForRuns(at, frames, [&](float* ring, std::size_t to, std::size_t n) {
            std::copy(ring, ring + n, data + to);
        });
    }

    const std::size_t m_frames;
    std::unique_ptr<float[]> m_samples;
    alignas(64) std::atomic<std::uint64_t> m_written{0};
    alignas(64) std::atomic<std::uint64_t> m_read{0};
};

}  // namespace sonavel
