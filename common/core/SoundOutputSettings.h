#pragma once

#include "SettingsSchema.h"

#include <QString>
#include <array>

namespace sonavel {

class Session;

// The Player's sound device, in a section of its own so that the keys of
// "Player Settings" keep their order.
inline constexpr char kSoundOutputSection[] = "Sound Output";

struct SoundOutputSettings {
    QString Device;  // the device's name; empty for the default device
};

namespace soundfield {
inline constexpr SettingField<SoundOutputSettings> Device{
    "Device", SettingKind::Text, Fixed(""),
    Bind<SoundOutputSettings>([](auto& s) -> auto& { return s.Device; })};
}  // namespace soundfield

inline constexpr std::array<const SettingField<SoundOutputSettings>*, 1> kSoundOutputFields{
    &soundfield::Device};

// The stored choice, and storing one; failures raise StoreFailure.
QString ReadSoundDevice(Session& session);
void WriteSoundDevice(Session& session, const QString& device);

}  // namespace sonavel
