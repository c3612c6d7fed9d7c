#pragma once

#include "../media/TestSounds.h"

#include <cmath>
#include <numbers>
#include <vector>

namespace sonavel::testsounds {

// A sine of the given peak level in every channel, as the EBU's loudness
// test signals are made: a 1 kHz stereo sine at -23 dBFS reads -23 LUFS.
inline std::vector<float> Sine(double seconds, int rate, double peakDbfs, double hz = 1000.0,
                               int channels = 2, double phase = 0.0) {
    const auto frames = static_cast<long>(seconds * rate);
    const double amplitude = std::pow(10.0, peakDbfs / 20.0);
    std::vector<float> samples(static_cast<std::size_t>(frames) * channels);
    for (long f = 0; f < frames; ++f) {
        const auto value = static_cast<float>(
            amplitude *
            std::sin(2.0 * std::numbers::pi * hz * static_cast<double>(f) / rate + phase));
        for (int c = 0; c < channels; ++c)
            samples[static_cast<std::size_t>(f * channels + c)] = value;
    }
    return samples;
}

}  // namespace sonavel::testsounds
