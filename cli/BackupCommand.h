#pragma once

#include "Clock.h"
#include "CreateCommand.h"
#include "Dialogs.h"

#include <QString>
#include <QTextStream>

namespace sonavel {

struct BackupRunOptions {
    // Files of the same name in the folder are replaced rather than kept.
    bool overwrite = false;
    // When set, each run writes into a new folder named by its start and then
    // removes all but this many of the newest such folders.
    int keep = 0;
    // Names the dated folder; the system's clock when null.
    Clock* clock = nullptr;
};

// Creator's backup without windows, for a nightly timer: the keyword
// definition file, the default clock and every hourly clock copied to the
// folder "to" ("A:": the removable disk). Boxes go through dialogs; a line
// on err says what was copied. Returns the exit status: 0 only when every
// file was copied (and, with keep, every old backup due to go was removed),
// 1 otherwise.
int BackupRun(const StationPaths& station, const QString& to, const BackupRunOptions& options,
              Dialogs& dialogs, QTextStream& err);

}  // namespace sonavel
