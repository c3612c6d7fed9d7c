#pragma once

#include <sndfile.h>
#include <QFile>
#include <QString>
#include <QtEndian>
#include <cmath>
#include <cstdint>
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

// The runs of silent stereo frames between the first and the last sound of a
// recording: each is a gap a listener would hear.
inline std::vector<long> SilentRuns(const std::vector<float>& stereo) {
    const long frames = static_cast<long>(stereo.size() / 2);
    auto silent = [&](long f) { return stereo[f * 2] == 0.0f && stereo[f * 2 + 1] == 0.0f; };
    long first = 0, last = frames - 1;
    while (first < frames && silent(first))
        ++first;
    while (last > first && silent(last))
        --last;
    std::vector<long> runs;
    for (long f = first; f <= last;) {
        long run = 0;
        while (f <= last && silent(f))
            ++run, ++f;
        if (run > 0) runs.push_back(run);
        ++f;
    }
    return runs;
}

// A 16-bit stereo WAV of silence at 48 kHz of exactly this many frames,
// written as a header over a hole in the file: hours of sound cost no disk.
inline bool WriteHollow(const QString& path, std::int64_t frames) {
    const auto data = static_cast<quint32>(frames * 4);
    QByteArray header;
    const auto u32 = [&header](quint32 v) {
        const quint32 le = qToLittleEndian(v);
        header.append(reinterpret_cast<const char*>(&le), 4);
    };
    const auto u16 = [&header](quint16 v) {
        const quint16 le = qToLittleEndian(v);
        header.append(reinterpret_cast<const char*>(&le), 2);
    };
    header.append("RIFF");
    u32(36 + data);
    header.append("WAVEfmt ");
    u32(16);
    u16(1);  // PCM
    u16(2);
    u32(48000);
    u32(48000 * 4);
    u16(4);
    u16(16);
    header.append("data");
    u32(data);
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(header) == header.size() &&
           file.resize(header.size() + data);
}

}  // namespace sonavel::testsounds
