#pragma once

#include <QString>
#include <functional>
#include <optional>

namespace sonavel {

class AudioEngine;
class PlayerEngine;
class Session;

// Puts the engine on the stored sound device, or on the one given for this
// run, before it opens its output. A device that is missing, or that goes
// while on air, is written to the error log once when another output takes
// over.
// alsoTell hears the same words (a run without windows prints them).
void UseSoundDevice(Session& session, AudioEngine& engine,
                    const std::optional<QString>& forThisRun = std::nullopt,
                    std::function<void(const QString&)> alsoTell = {});

// What the output does is logged by Player's engine when it happens: silence
// on air (with the stored alarm's length and command), a stall, a late start,
// an air check that stopped. alsoTell hears the silence alarm and the air
// check's failure too (a run without windows prints them).
void ReportOutput(Session& session, AudioEngine& audio, PlayerEngine& engine,
                  std::function<void(const QString&)> alsoTell = {});

// Stores the choice and moves the engine to it at its next element.
void ChooseSoundDevice(Session& session, AudioEngine* engine, const QString& device);

}  // namespace sonavel
