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
    // Output below -50 dBFS for longer than this is an alarm; "0" turns it off.
    QString SilenceAlarmSeconds = QStringLiteral("10");
    // Run through /bin/sh once per silence; empty for none.
    QString SilenceAlarmCommand;
};

namespace soundfield {
inline constexpr SettingField<SoundOutputSettings> Device{
    "Device", SettingKind::Text, Fixed(""),
    Bind<SoundOutputSettings>([](auto& s) -> auto& { return s.Device; })};
inline constexpr SettingField<SoundOutputSettings> SilenceAlarmSeconds{
    "Silence Alarm Seconds", SettingKind::Text, Fixed("10"),
    Bind<SoundOutputSettings>([](auto& s) -> auto& { return s.SilenceAlarmSeconds; })};
inline constexpr SettingField<SoundOutputSettings> SilenceAlarmCommand{
    "Silence Alarm Command", SettingKind::Text, Fixed(""),
    Bind<SoundOutputSettings>([](auto& s) -> auto& { return s.SilenceAlarmCommand; })};
}  // namespace soundfield

inline constexpr std::array<const SettingField<SoundOutputSettings>*, 3> kSoundOutputFields{
    &soundfield::Device, &soundfield::SilenceAlarmSeconds, &soundfield::SilenceAlarmCommand};

// The silence alarm as stored: a key never written means the default, and
// a number that does not read (or is negative) too.
struct SilenceAlarm {
    double seconds = 10;
    QString command;
};
SilenceAlarm ReadSilenceAlarm(Session& session);
void WriteSilenceAlarm(Session& session, const SilenceAlarm& alarm);

// The stored choice, and storing one; failures raise StoreFailure.
QString ReadSoundDevice(Session& session);
void WriteSoundDevice(Session& session, const QString& device);

}  // namespace sonavel
