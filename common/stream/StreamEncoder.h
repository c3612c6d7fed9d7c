#pragma once

#include "StreamTarget.h"

#include <QString>
#include <cstddef>
#include <memory>
#include <vector>

namespace sonavel {

using Bytes = std::vector<unsigned char>;

// Turns the mix (interleaved stereo float at 48 kHz) into the bytes of a
// stream. Every call appends to out what is ready to send. Not thread-safe:
// the stream's own thread owns its encoder.
class StreamEncoder {
  public:
    virtual ~StreamEncoder() = default;
    virtual StreamFormat Format() const = 0;
    // What the stream starts with (Ogg: the headers naming the title).
    virtual void Begin(const QString& title, Bytes& out) = 0;
    virtual void Encode(const float* stereo, std::size_t frames, Bytes& out) = 0;
    // Ogg carries the title in the stream: the logical stream ends and a new
    // one begins with its comment header. False for a format whose titles
    // travel beside the stream (MP3: the server's metadata).
    virtual bool Retitle(const QString& title, Bytes& out) = 0;
    // Everything still held, and the end of the stream.
    virtual void End(Bytes& out) = 0;
    // The frames taken in but not yet in any byte handed out.
    virtual std::size_t HeldFrames() const = 0;
};

// Sent at the given bit rate (kbit/s). Every format here takes 48 kHz as it is.
std::unique_ptr<StreamEncoder> MakeStreamEncoder(StreamFormat format, int kbps);

// The encoding libraries' versions, for the about box and the benchmark.
QString EncoderLibraryVersions();

}  // namespace sonavel
