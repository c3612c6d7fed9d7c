#pragma once

#include "CreateCommand.h"
#include "Dialogs.h"

#include <QString>
#include <QTextStream>

namespace sonavel {

struct DemoOptions {
    // Station IDs, promos and time checks spoken by espeak-ng when it is
    // installed; tones otherwise, or always when this is off.
    bool speech = true;
};

// Where a station lives below a folder standing in for the user's
// configuration and data folders: dir/config/Sonavel/settings.db and
// dir/data/Sonavel.
StationPaths DemoStationPaths(const QString& dir);

// Writes a complete station into dir: the settings of both programs, six
// keywords with their sound folders (five of generated sounds and the time
// checks'), the default clock, hourly clocks for weekday mornings and the
// 1,440 time-check files. dir must be new or empty; nothing is written into a
// folder that holds anything. Returns the exit status (0 when written).
int WriteDemoStation(const QString& dir, const DemoOptions& options, Dialogs& dialogs,
                     QTextStream& out, QTextStream& err);

}  // namespace sonavel
