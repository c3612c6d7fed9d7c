#pragma once

#include "Dialogs.h"
#include "Session.h"
#include "SettingsStore.h"

#include <QString>
#include <QTextStream>
#include <memory>

namespace sonavel {

// The files a station consists of, so the commands can work on a station
// other than the user's own.
struct StationPaths {
    QString settingsFile;
    QString programFolder;
    // Creator's running-copy lock: a run from the command line takes it too.
    // Empty: the station's own, beside its settings store.
    QString creatorLock;

    // The user's station, where both programs find it.
    static StationPaths ForUser();
};

// Opens the station's settings store; nothing, after saying why on err, when
// the file cannot be read. The file is never replaced.
std::unique_ptr<SettingsStore> OpenStationStore(const StationPaths& station, QTextStream& err);

// A fresh account gets the defaults and the working folders that a program's
// first start would make, without the welcome and without ending.
void WriteDefaultsIfFresh(Session& session, const StationPaths& station, QTextStream& err);

// Creator's playlist creation run without windows: the checks, the
// confirmation and the week's 168 playlists. Boxes go through dialogs,
// progress to err. Returns the exit status: 0 when every playlist was
// written, 1 when a check failed, a question was refused or a playlist could
// not be written.
int CreatePlaylistsRun(const StationPaths& station, Dialogs& dialogs, QTextStream& err);

}  // namespace sonavel
