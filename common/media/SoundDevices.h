#pragma once

#include <QString>
#include <memory>
#include <vector>

namespace sonavel {

class AudioEngine;

// One output device as the sound library offers it.
struct SoundDevice {
    QString name;     // what the store keeps and --device names
    QString hostApi;  // ALSA, JACK, ...
    int channels = 0;
    bool isDefault = false;

    bool operator==(const SoundDevice&) const = default;
};

// An open, running output stream; destroying it stops its calls to the engine.
class SoundStream {
  public:
    virtual ~SoundStream() = default;
    virtual double LatencyMs() const = 0;
    // Whether the device has asked for sound since the stream was opened: a
    // card that opens but never calls back is not taken back.
    virtual bool Answering() const { return true; }
};

// The devices an engine can play on: the sound library's, or a test's. A
// stream calls AudioEngine::Render(out, frames, output) for every buffer.
class SoundDevices {
  public:
    virtual ~SoundDevices() = default;
    // Devices that can play stereo, in the library's order.
    virtual std::vector<SoundDevice> List() = 0;
    // Null when the device cannot be opened.
    virtual std::unique_ptr<SoundStream> Open(const SoundDevice& device, AudioEngine& engine,
                                              int output) = 0;
    // Nothing renders on a thread of its own: the caller drives every stream
    // through AudioEngine::RenderDriven, as it does the virtual output.
    virtual bool CallerDriven() const { return false; }
};

// The sound library's devices.
std::shared_ptr<SoundDevices> SystemSoundDevices();

// The device a stored name means: that device, or the default device when the
// name is empty; null when there is no such device.
const SoundDevice* FindSoundDevice(const std::vector<SoundDevice>& devices, const QString& name);
const SoundDevice* DefaultSoundDevice(const std::vector<SoundDevice>& devices);

}  // namespace sonavel
