#include "BackupCommand.h"

#include "BackupModule.h"
#include "ClockModule.h"
#include "CommonModule.h"
#include "KeywordModule.h"
#include "RuntimeError.h"
#include "Session.h"

#include <QDir>
#include <memory>

namespace sonavel {

int BackupRun(const StationPaths& station, const QString& to, bool overwrite, Dialogs& dialogs,
              QTextStream& err) {
    const std::unique_ptr<SettingsStore> store = OpenStationStore(station, err);
    if (!store) return 1;
    SystemClock clock;
    Session session(Product::Creator, station.programFolder, *store, dialogs, clock);
    try {
        // A station without settings has nothing to back up, and a backup
        // must not write any.
        if (!ReadCreatorSettings(session, SettingsRead::Running)) return 1;
        KeywordModule keywords(session);
        ClockModule clocks(session, keywords);
        BackupModule backup(session, keywords, clocks);
        // On a command line a folder is named from where the command runs.
        const QString location =
            BackupModule::IsRemovableDisk(to) || to.isEmpty() ? to : QDir(to).absolutePath();
        BackupModule::Options options;
        options.overwrite = overwrite;
        options.askPatience = false;
        const BackupModule::Outcome outcome = backup.Backup(location, options);
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
        err.flush();
        return done ? 0 : 1;
    } catch (const RuntimeError& error) {
        err << "sonavel: " << error.Description() << '\n';
        err.flush();
        return 1;
    }
}

}  // namespace sonavel
