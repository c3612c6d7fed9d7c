#pragma once

#include "Decoder.h"

#include <QString>
#include <cstdint>
#include <memory>

// The pieces behind Decoder::Open: one library per source, each delivering the
// file at its own rate as stereo; the decoder on top converts the rate.
namespace sonavel::decoding {

// Frames converted per step. Scratch buffers are sized for this at open, so a
// Read on the decoder thread never allocates.
constexpr std::int64_t kBlockFrames = 4096;

// Throws MediaError{code, "Cannot play <path>: <what>"}.
[[noreturn]] void Fail(std::int32_t code, const QString& path, const QString& what);

class Source {
  public:
    virtual ~Source() = default;

    virtual std::int64_t Frames() const = 0;
    // What the file's header promised, when it holds less than that.
    virtual std::int64_t DeclaredFrames() const { return Frames(); }
    virtual int Rate() const = 0;
    virtual int Channels() const = 0;
    virtual QString FormatName() const = 0;

    // Up to maxFrames interleaved stereo frames at the file's rate; 0 only at
    // the end of the data.
    virtual std::int64_t ReadStereo(float* stereo, std::int64_t maxFrames) = 0;
    virtual void Seek(std::int64_t frame) = 0;
};

// Both throw MediaError when the file cannot be played.
std::unique_ptr<Source> OpenSndfile(const QString& path);
std::unique_ptr<Source> OpenMpg123(const QString& path);

}  // namespace sonavel::decoding
