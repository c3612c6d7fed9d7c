#pragma once

#include "CreateCommand.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

namespace sonavel {

// Measures the loudness of the sound files in the folders (without any, the
// station's keyword folders and its time checks) that the station's cache
// lacks, and keeps the results for both programs. Progress goes to err; a
// line per file and a summary to out. Returns the exit status: 1 when a
// folder could not be read, else 0, also when some files could not be
// measured (they are named).
int LoudnessRun(const StationPaths& station, const QStringList& folders, QTextStream& out,
                QTextStream& err);

}  // namespace sonavel
