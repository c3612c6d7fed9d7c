#pragma once

#include "CreateCommand.h"
#include "Dialogs.h"

#include <QString>
#include <QTextStream>

namespace sonavel {

// Creator's backup without windows, for a nightly timer: the keyword
// definition file, the default clock and every hourly clock copied to the
// folder "to" ("A:": the removable disk). Boxes go through dialogs; a line
// on err says what was copied. Returns the exit status: 0 only when every
// file was copied, 1 otherwise.
int BackupRun(const StationPaths& station, const QString& to, bool overwrite, Dialogs& dialogs,
              QTextStream& err);

}  // namespace sonavel
