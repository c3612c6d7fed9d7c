#include "AudioEngineOutputs.h"

#include <algorithm>
#include <cmath>

// The real-time mixer: what runs on the output's thread for every buffer. It
// takes the commands of the UI thread, mixes the sounding voices and posts
// their ends; it never allocates, locks, does I/O or calls Qt.

namespace sonavel {

using namespace engine;

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
                    voice->level = voice->gain.load(std::memory_order_relaxed);
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

std::int64_t AudioEngine::ElementBoundary(std::int64_t bufStart, std::size_t frames) const {
    bool sounding = false;
    std::int64_t first = -1;
    for (const auto& voice : m_voices) {
        if (voice->state == kScheduled) {
            const std::int64_t start = std::max(voice->startAt, bufStart);
            if (first < 0 || start < first) first = start;
        } else if (Sounding(*voice)) {
            sounding = true;
        }
    }
    if (first >= 0 && first < bufStart + static_cast<std::int64_t>(frames)) return first;
    // Nothing to cut: the other device takes over at once.
    if (first < 0 && !sounding) return bufStart;
    return -1;
}

void AudioEngine::Render(float* out, std::size_t frames, int output) {
    std::fill(out, out + frames * 2, 0.0f);
    if (output != OwnerOf(m_route.load(std::memory_order_acquire))) return;
    if (m_rendering.test_and_set(std::memory_order_acquire)) return;
    m_lastRenderNs.store(NowNs(), std::memory_order_relaxed);

    const std::int64_t bufStart = m_frame.load(std::memory_order_relaxed);
    ProcessCommands();
    // Another device is waiting to take over: this one plays up to the first
    // frame of the next element and hands over there, so the element before
    // ends whole here and the next one starts whole there, with no frame of
    // the timeline lost. The rest of this buffer is silence on this device.
    const std::uint64_t route = m_route.load(std::memory_order_acquire);
    bool handOver = false;
    if (NextOf(route) != kNoOutput) {
        const std::int64_t boundary = ElementBoundary(bufStart, frames);
        if (boundary >= 0) {
            frames = static_cast<std::size_t>(boundary - bufStart);
            handOver = true;
        }
    }
    if (output == kVirtualId || m_callerDriven) AwaitDecoders(frames);
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
    WatchSilence(out, frames);
    m_frame.store(bufStart + static_cast<std::int64_t>(frames), std::memory_order_release);
    if (m_captureRing) {
        const std::size_t kept = m_captureRing->Write(out, frames);
        // The recording fell behind; the air goes on regardless, and the
        // run says at its end that the recording is incomplete.
        if (kept < frames) m_captureDropped.fetch_add(frames - kept, std::memory_order_relaxed);
    }
    for (auto& slot : m_taps) {
        MixTap* tap = slot.load(std::memory_order_seq_cst);
        if (!tap) continue;
        const std::size_t kept = tap->ring.Write(out, frames);
        if (kept < frames) tap->dropped.fetch_add(frames - kept, std::memory_order_relaxed);
    }
    if (handOver) {
        // Fails only when the UI thread armed another device meanwhile; the
        // hand-over then waits for the next element.
        std::uint64_t expected = route;
        m_route.compare_exchange_strong(expected, Route(NextOf(route), kNoOutput),
                                        std::memory_order_acq_rel);
    }
    m_rendering.clear(std::memory_order_release);
}

void AudioEngine::WatchSilence(const float* out, std::size_t frames) {
    const std::int64_t alarm = m_silenceAlarmFrames.load(std::memory_order_relaxed);
    if (alarm <= 0) {
        m_silentFrames = 0;
        m_silenceReported = false;
        return;
    }
    const std::int64_t bufStart = m_frame.load(std::memory_order_relaxed);
    for (std::size_t f = 0; f < frames; ++f) {
        if (std::fabs(out[2 * f]) < kSilenceLevel && std::fabs(out[2 * f + 1]) < kSilenceLevel) {
            ++m_silentFrames;
            if (!m_silenceReported && m_silentFrames >= alarm) {
                m_silenceReported = true;
                m_events.Push(Event{Event::SilenceBegan, -1, 0,
                                    bufStart + static_cast<std::int64_t>(f) + 1, m_silentFrames});
            }
            continue;
        }
        if (m_silenceReported) {
            m_events.Push(Event{Event::SilenceEnded, -1, 0, bufStart + static_cast<std::int64_t>(f),
                                m_silentFrames});
        }
        m_silentFrames = 0;
        m_silenceReported = false;
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
            m_events.Push(Event{Event::LateStart, -1, 0, start, start - m_lastEnd});
        }
        m_lastEndValid = false;
        voice.state = kPlaying;
        m_events.Push(Event{Event::Began, static_cast<std::int16_t>(index), voice.token, start, 0});
    }

    const bool ended = voice.decodeEnded.load(std::memory_order_acquire);
    std::size_t done = offset;
    while (done < frames) {
        std::size_t want = std::min(frames - done, kScratchFrames);
        // A fade runs over its frames, then the voice goes quiet. Only those
        // are taken from the ring: a pause resumes at the very next frame,
        // and the element still ends on its last one.
        if (voice.state == kFadeToPause || voice.state == kFadeToStop ||
            voice.state == kFadeToEnd) {
            want =
                std::min<std::size_t>(want, static_cast<std::size_t>(kFadeFrames - voice.fadePos));
        }
        const std::size_t got = voice.ring.Read(m_scratch.data(), want);
        float* dst = out + done * 2;
        // At a level of 1 every product below is exact: the file's samples
        // reach the mix bit for bit, as they did before levels existed.
        const float level = voice.level;
        for (std::size_t f = 0; f < got; ++f) {
            float gain = level;
            if (voice.fadePos < 0) {  // fading in
                gain = level * (1.0f - static_cast<float>(-voice.fadePos) / kFadeFrames);
                ++voice.fadePos;
                if (voice.fadePos == 0) voice.fadePos = kFadeFrames;
            } else if (voice.state == kFadeToPause || voice.state == kFadeToStop ||
                       voice.state == kFadeToEnd) {
                gain = level * (1.0f - static_cast<float>(voice.fadePos + 1) / kFadeFrames);
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
                m_events.Push(Event{Event::Paused, static_cast<std::int16_t>(index), voice.token,
                                    position, played});
                return;
            }
            if (voice.state == kFadeToEnd) {
                m_lastEnd = position;
                m_lastEndValid = true;
            }
            voice.state = kIdle;
            voice.busy.store(false, std::memory_order_release);
            m_events.Push(Event{Event::Stopped, static_cast<std::int16_t>(index), voice.token,
                                position, played});
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
                m_events.Push(Event{Event::EarlyEnd, static_cast<std::int16_t>(index), voice.token,
                                    position, played});
            }
            m_events.Push(Event{Event::Finished, static_cast<std::int16_t>(index), voice.token,
                                position, played});
            return;
        }
        if (ended && voice.state == kPlaying && total - played <= m_tailFrames) {
            // Report the end now; the next element starts right after the
            // last frame of this one, however late the answer comes within
            // the tail.
            voice.state = kTail;
            m_tailEnd = std::max(m_tailEnd, position + (total - played));
            m_events.Push(Event{Event::EarlyEnd, static_cast<std::int16_t>(index), voice.token,
                                position + (total - played), total});
        }
        if (got < want) {
            if (!ended) m_underrunFrames.fetch_add(want - got, std::memory_order_relaxed);
            return;
        }
    }
}

}  // namespace sonavel
