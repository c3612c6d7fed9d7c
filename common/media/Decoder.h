#pragma once

#include <QString>
#include <cstdint>
#include <memory>

namespace sonavel {

// Why a file cannot be played, with the control's error code.
struct MediaError {
    std::int32_t code;
    QString description;
};

// Reads one sound file as stereo float frames at the engine's rate, whatever
// the file's format, rate and channel count. Runs on a decoder thread; never
// touched by the output callback.
class Decoder {
  public:
    virtual ~Decoder() = default;

    // Opens the file; throws MediaError when it cannot be played (missing,
    // empty or bad path, a format this engine does not decode, damaged data).
    static std::unique_ptr<Decoder> Open(const QString& path, int outputRate);
    // The decoding libraries and their versions, for the about box.
    static QString LibraryVersions();

    // Exact length of the file in its own frames and rate; Duration is
    // FileFrames() / FileRate() seconds.
    virtual std::int64_t FileFrames() const = 0;
    // What the file's header promised: more than FileFrames for a file cut
    // short, which plays what it holds and is then known to have stopped early.
    virtual std::int64_t DeclaredFrames() const { return FileFrames(); }
    virtual int FileRate() const = 0;
    virtual int FileChannels() const = 0;
    // "WAV", "FLAC", "Ogg Vorbis", "MP3", ...: for descriptions and the about box.
    virtual QString FormatName() const = 0;

    // Fills up to maxFrames interleaved stereo frames at the output rate and
    // returns how many were written; 0 only at the end of the file, once any
    // resampler has been flushed. Throws MediaError when the data turns bad in
    // a way that cannot be played past.
    virtual std::int64_t Read(float* stereo, std::int64_t maxFrames) = 0;
    // Continues from this frame of the file (0 rewinds).
    virtual void Seek(std::int64_t fileFrame) = 0;
};

}  // namespace sonavel
