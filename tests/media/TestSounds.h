#pragma once

#include <sndfile.h>
#include <QString>
#include <cmath>
#include <vector>

namespace sonavel::testsounds {

// Interleaved samples that are never zero, so silence in a capture is a gap
// and not the music, and distinct enough that a skipped frame shows.
inline std::vector<float> Signal(long frames, int channels, unsigned seed) {
    std::vector<float> samples(static_cast<std::size_t>(frames) * channels);
    unsigned state = seed * 2654435761u + 1u;
    for (float& s : samples) {
        state = state * 1664525u + 1013904223u;
        const float r = static_cast<float>((state >> 9) & 0x7fff) / 32768.0f;  // [0, 1)
        s = 0.05f + 0.4f * r;                                                  // [0.05, 0.45)
    }
    return samples;
}

// Writes samples as a sound file of the given libsndfile format; true on success.
inline bool Write(const QString& path, const std::vector<float>& samples, int channels, int rate,
                  int format) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(path.toUtf8().constData(), SFM_WRITE, &info);
    if (!file) return false;
    const sf_count_t frames = static_cast<sf_count_t>(samples.size()) / channels;
    const bool ok = sf_writef_float(file, samples.data(), frames) == frames;
    sf_close(file);
    return ok;
}

inline std::vector<float> ReadAll(const QString& path, int* channels = nullptr) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.toUtf8().constData(), SFM_READ, &info);
    if (!file) return {};
    std::vector<float> samples(static_cast<std::size_t>(info.frames) * info.channels);
    sf_readf_float(file, samples.data(), info.frames);
    sf_close(file);
    if (channels) *channels = info.channels;
    return samples;
}

}  // namespace sonavel::testsounds
