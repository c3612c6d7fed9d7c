#include "BackupCommand.h"

#include "BackupModule.h"
#include "ClockModule.h"
#include "CommonModule.h"
#include "KeywordModule.h"
#include "RuntimeError.h"
#include "Session.h"

#include <QDir>
#include <QFileInfo>
#include <memory>

namespace sonavel {

int BackupRun(const StationPaths& station, const QString& to, const BackupRunOptions& options,
              Dialogs& dialogs, QTextStream& err) {
    const std::unique_ptr<SettingsStore> store = OpenStationStore(station, err);
    if (!store) return 1;
    SystemClock systemClock;
    Clock& clock = options.clock ? *options.clock : systemClock;
    Session session(Product::Creator, station.programFolder, *store, dialogs, clock);
    try {
        // A station without settings has nothing to back up, and a backup
        // must not write any.
        if (!ReadCreatorSettings(session, SettingsRead::Running)) return 1;
        KeywordModule keywords(session);
        ClockModule clocks(session, keywords);
        BackupModule backup(session, keywords, clocks);
        // On a command line a folder is named from where the command runs.
        QString location =
            BackupModule::IsRemovableDisk(to) || to.isEmpty() ? to : QDir(to).absolutePath();
        // A series of backups: this run's own folder below the one named. On
        // the removable disk, its folder is found first; without a disk the
        // backup fails below with its own message.
        QString series;
        if (options.keep > 0) {
            series = BackupModule::IsRemovableDisk(location)
                         ? BackupModule::FirstWritableVolume(backup.MountedVolumes(),
                                                             backup.RemovableDiskParents)
                         : location;
            if (!series.isEmpty()) {
                location =
                    series + QLatin1Char('/') + BackupModule::DatedFolderName(session.Time().Now());
                // Two runs in one second would mix their copies.
                if (QFileInfo::exists(location)) {
                    err << "sonavel: backup: " << location << " already exists\n";
                    err.flush();
                    return 1;
                }
            }
        }
        BackupModule::Options copyOptions;
        copyOptions.overwrite = options.overwrite;
        copyOptions.askPatience = false;
        const BackupModule::Outcome outcome = backup.Backup(location, copyOptions);
        const bool done =
            outcome == BackupModule::Outcome::Done && backup.FilesCopied() == backup.FilesToCopy();
        if (!backup.FailureReason().isEmpty())
            err << "sonavel: backup: " << backup.FailureReason() << '\n';
        if (backup.FilesToCopy() == 0) {
            err << "sonavel: backup: nothing was copied to " << location << '\n';
        } else {
            err << "sonavel: backup: " << backup.FilesCopied() << " of " << backup.FilesToCopy()
                << " files copied to " << location
                << (done ? "\n" : "; the backup is incomplete\n");
        }
        if (!done || series.isEmpty()) {
            // A failed run removes nothing: the older backups may be the only
            // good ones.
            if (!done && !series.isEmpty()) err << "sonavel: backup: no older backup was removed\n";
            err.flush();
            return done ? 0 : 1;
        }
        const BackupModule::Removal removal =
            BackupModule::RemoveOldBackups(series, options.keep, location);
        for (const QString& folder : removal.removed)
            err << "sonavel: backup: removed the old backup " << folder << '\n';
        for (const QString& folder : removal.failed)
            err << "sonavel: backup: cannot remove the old backup " << folder << '\n';
        err.flush();
        return removal.failed.isEmpty() ? 0 : 1;
    } catch (const RuntimeError& error) {
        err << "sonavel: " << error.Description() << '\n';
        err.flush();
        return 1;
    }
}

}  // namespace sonavel
