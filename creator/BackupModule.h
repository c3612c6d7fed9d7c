#pragma once

#include "ClockModule.h"
#include "KeywordModule.h"
#include "Session.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace sonavel {

// One entry of the system's mount table, as the removable-disk choice reads it.
struct MountedVolume {
    QString rootPath;
    bool ready = false;
    bool readOnly = false;
};

// Copies what a station needs to rebuild its clocks and keywords: a freshly
// written keyword definition file, the default clock and every hourly clock,
// into a folder or onto the removable disk ("A:"). The backup window and
// `sonavel backup` both run it; it talks through the session's dialogs only.
class BackupModule {
  public:
    BackupModule(Session& session, KeywordModule& keywords, ClockModule& clocks);

    // How a backup ended, which decides what its window does next.
    enum class Outcome {
        Refused,    // a message, nothing copied: the window returns to its idle state
        Abandoned,  // a message after which the window closes
        Stopped,    // the window was closed during the copy; no message
        Done,       // every file copied
    };
    struct Options {
        bool overwrite = false;
        // The floppy-era warning before a long copy to the removable disk; a
        // run without a person has nobody to be patient.
        bool askPatience = true;
    };
    // value of maximum after each copy; (0, maximum) when the copy starts.
    using Progress = std::function<void(int value, int maximum)>;

    Outcome Backup(const QString& location, const Options& options, const Progress& progress = {});
    bool Running() const { return m_running; }
    // Asked while the copy runs: stops it after the file in hand.
    void RequestStop() { m_stopRequested = true; }
    // Files copied by the last backup, and how many it had to copy.
    int FilesCopied() const { return m_copied; }
    int FilesToCopy() const { return m_toCopy; }
    // Why the last backup stopped at a file, in the system's words with the
    // file; empty when it did not.
    const QString& FailureReason() const { return m_failureReason; }

    // Writes the program folder's backup.key from the keyword store, keeping
    // the file it replaces as backup.bak when "Backup Saved Files" is on.
    // False, after saying so, when the store holds no keywords; write and
    // store failures raise.
    bool WriteBackupKeyFile();

    // "A:" in any letter case: the removable disk.
    static bool IsRemovableDisk(const QString& location);
    // The first ready, writable volume mounted below one of the parents, in
    // mount order; empty when there is none.
    static QString FirstWritableVolume(const QList<MountedVolume>& volumes,
                                       const QStringList& parents);
    // Where the desktop mounts removable disks (/media/USER, /run/media/USER)
    // and the mount table; tests put their own in.
    QStringList RemovableDiskParents;
    std::function<QList<MountedVolume>()> MountedVolumes;

    // Backups kept as a series, one folder per run: the folder a run that
    // started at time writes into, "YYYY-MM-DD_HHMMSS".
    static QString DatedFolderName(const QDateTime& time);
    // The folders of dir named as DatedFolderName names them, oldest first;
    // a link or a file of such a name is not one of them.
    static QStringList DatedFolders(const QString& dir);
    struct Removal {
        QStringList removed;  // paths of the folders removed
        QStringList failed;   // paths of those that could not be removed, whole or in part
    };
    // Removes all but the keep newest dated folders of dir. current, the
    // folder just written, is always kept and counts as one of them, even
    // when a clock set back makes others look newer. Nothing else in dir is
    // touched.
    static Removal RemoveOldBackups(const QString& dir, int keep, const QString& current);

    // The folder the hourly clocks are read from, and their files (*.clk in
    // any letter case, files only) in name order.
    QString ClockFolder() const;
    QStringList HourlyClockFiles() const;
    QString BackupKeyPath() const;

    // Where Browse starts: the folder chosen last in this run.
    QString LastBrowseFolder;

  private:
    // The folder the location names, or empty after the message that says why.
    QString TargetFolder(const QString& location);
    void ShowFailure(const QString& what, const QString& location);
    Outcome Copy(const QString& location, const QString& target, const Options& options,
                 const Progress& progress);

    Session& m_session;
    KeywordModule& m_keywords;
    ClockModule& m_clocks;
    bool m_running = false;
    bool m_stopRequested = false;
    int m_copied = 0;
    int m_toCopy = 0;
    QString m_failureReason;
};

}  // namespace sonavel
