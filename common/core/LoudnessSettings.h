#pragma once

#include "SettingsSchema.h"

#include <array>

namespace sonavel {

class Session;

// How evenly the programme's elements sound: each is played at the target
// loudness, as far as its true peak and the largest gain allow. In a section
// of its own, so the keys of both programs' sections keep their order.
inline constexpr char kLoudnessSection[] = "Loudness";

struct LoudnessSettings {
    // Off until the station chooses: the programme sounds as its files do.
    bool Enabled = false;
    double Target = -23.0;        // LUFS
    double TruePeakLimit = -1.0;  // dBTP after the gain
    double MaximumGain = 12.0;    // dB; quiet files are raised no further
};

namespace loudnessfield {
inline constexpr SettingField<LoudnessSettings> Enabled{
    "Enabled", SettingKind::OnlyTrue, Fixed("False"),
    Bind<LoudnessSettings>([](auto& s) -> auto& { return s.Enabled; })};
inline constexpr SettingField<LoudnessSettings> Target{
    "Target", SettingKind::Number, Fixed("-23"),
    Bind<LoudnessSettings>([](auto& s) -> auto& { return s.Target; })};
inline constexpr SettingField<LoudnessSettings> TruePeakLimit{
    "True Peak Limit", SettingKind::Number, Fixed("-1"),
    Bind<LoudnessSettings>([](auto& s) -> auto& { return s.TruePeakLimit; })};
inline constexpr SettingField<LoudnessSettings> MaximumGain{
    "Maximum Gain", SettingKind::Number, Fixed("12"),
    Bind<LoudnessSettings>([](auto& s) -> auto& { return s.MaximumGain; })};
}  // namespace loudnessfield

inline constexpr std::array<const SettingField<LoudnessSettings>*, 4> kLoudnessFields{
    &loudnessfield::Enabled, &loudnessfield::Target, &loudnessfield::TruePeakLimit,
    &loudnessfield::MaximumGain};

// The stored settings, a missing key as its default. A value that is not a
// number raises RuntimeError (type mismatch); a store failure StoreFailure.
LoudnessSettings ReadLoudnessSettings(Session& session);
// Stores all four keys in one transaction; failures raise StoreFailure.
void WriteLoudnessSettings(Session& session, const LoudnessSettings& settings);

}  // namespace sonavel
