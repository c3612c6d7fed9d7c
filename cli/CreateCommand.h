#pragma once

#include "Dialogs.h"
#include "Session.h"
#include "SettingsStore.h"

#include <QString>
#include <QTextStream>
#include <chrono>
#include <functional>
#include <memory>

namespace sonavel {

class RunningCopyLock;

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

// How a command waits for a running-copy lock another program holds.
struct LockWait {
    // Zero: the command does not wait.
    std::chrono::milliseconds interval{0};
    // Told before each wait of an interval, the first with attempt 1.
    std::function<void(int attempt)> waiting = {};
};

// Takes a program's running-copy lock through take. While another program
// holds it and wait has an interval, tries again after each interval until
// the lock is free or SIGINT, SIGTERM or SIGHUP ends the wait (interrupted).
// Nothing when the lock was not taken.
std::unique_ptr<RunningCopyLock> TakeRunningCopyLock(
    const std::function<std::unique_ptr<RunningCopyLock>()>& take, const LockWait& wait,
    bool& interrupted);

// Creator's playlist creation run without windows: the checks, the
// confirmation and the week's 168 playlists. Boxes go through dialogs,
// progress to err. Returns the exit status: 0 when every playlist was
// written, 1 when a check failed, a question was refused or a playlist could
// not be written.
// While Sonavel Creator is open the run fails at once, or, given an
// interval, tries again after each until Creator has closed.
int CreatePlaylistsRun(const StationPaths& station, Dialogs& dialogs, QTextStream& err,
                       std::chrono::milliseconds waitForCreator = {});

}  // namespace sonavel
