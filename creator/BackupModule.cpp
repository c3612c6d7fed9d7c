#include "BackupModule.h"

#include "CommonModule.h"
#include "Events.h"
#include "FileCopy.h"
#include "RuntimeError.h"
#include "TextFile.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

#include <pwd.h>
#include <unistd.h>
#include <algorithm>
#include <exception>

namespace sonavel {

namespace {

const QString kUnableTitle = QStringLiteral("Unable to Backup");
const QString kKeyFileName = QStringLiteral("backup.key");
const QString kClocksName = QStringLiteral("Clocks");
const QString kDatedFolderFormat = QStringLiteral("yyyy-MM-dd_HHmmss");
// More clock files than this make the removable disk's copy a long wait.
constexpr qsizetype kPatientCount = 25;

QString UserName() {
    if (const passwd* entry = ::getpwuid(::geteuid())) return QFile::decodeName(entry->pw_name);
    return qEnvironmentVariable("USER");
}

QList<MountedVolume> SystemVolumes() {
    QList<MountedVolume> volumes;
    for (const QStorageInfo& storage : QStorageInfo::mountedVolumes()) {
        volumes.append(
            {storage.rootPath(), storage.isValid() && storage.isReady(), storage.isReadOnly()});
    }
    return volumes;
}

// A path with its links resolved, also for a folder that does not exist yet:
// its nearest existing parent is resolved and the rest put back on.
QString ResolvedPath(const QString& path) {
    QString at = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    QStringList rest;
    while (!QFileInfo::exists(at) && at != QStringLiteral("/")) {
        rest.prepend(QFileInfo(at).fileName());
        at = QFileInfo(at).path();
    }
    QString resolved = QFileInfo(at).canonicalFilePath();
    for (const QString& part : std::as_const(rest)) {
        if (!resolved.endsWith(QLatin1Char('/'))) resolved += QLatin1Char('/');
        resolved += part;
    }
    return resolved;
}

bool SamePlace(const QString& a, const QString& b) {
    return ResolvedPath(a) == ResolvedPath(b);
}

// `path` is `folder` or lies somewhere below it.
bool WithinFolder(const QString& path, const QString& folder) {
    const QString inner = ResolvedPath(path);
    QString outer = ResolvedPath(folder);
    if (inner == outer) return true;
    if (!outer.endsWith(QLatin1Char('/'))) outer += QLatin1Char('/');
    return inner.startsWith(outer);
}

}  // namespace

BackupModule::BackupModule(Session& session, KeywordModule& keywords, ClockModule& clocks)
    : MountedVolumes(SystemVolumes), m_session(session), m_keywords(keywords), m_clocks(clocks) {
    const QString user = UserName();
    if (!user.isEmpty()) {
        RemovableDiskParents = {QStringLiteral("/media/") + user,
                                QStringLiteral("/run/media/") + user};
    }
}

bool BackupModule::IsRemovableDisk(const QString& location) {
    return location.compare(QStringLiteral("A:"), Qt::CaseInsensitive) == 0;
}

QString BackupModule::FirstWritableVolume(const QList<MountedVolume>& volumes,
                                          const QStringList& parents) {
    for (const MountedVolume& volume : volumes) {
        const bool below = std::any_of(parents.begin(), parents.end(), [&](const QString& parent) {
            const QString folder = parent + QLatin1Char('/');
            return volume.rootPath.startsWith(folder) && volume.rootPath.size() > folder.size();
        });
        // A folder left behind by an unmounted stick is not in the table at
        // all; a stick of another user, or a locked one, is not writable.
        if (below && volume.ready && !volume.readOnly && QFileInfo(volume.rootPath).isWritable())
            return volume.rootPath;
    }
    return {};
}

QString BackupModule::DatedFolderName(const QDateTime& time) {
    return time.toString(kDatedFolderFormat);
}

QStringList BackupModule::DatedFolders(const QString& dir) {
    QStringList folders;
    // Only names this program writes: a date and time that read back to the
    // same name. Sorted by name, which is by time.
    for (const QFileInfo& entry : QDir(dir).entryInfoList(
             QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::NoSymLinks, QDir::Name)) {
        const QString name = entry.fileName();
        // Read apart from any time zone: an hour a clock change skips is
        // still a name this program may have written.
        const QDate date = QDate::fromString(name.left(10), QStringLiteral("yyyy-MM-dd"));
        const QTime time = QTime::fromString(name.mid(11), QStringLiteral("HHmmss"));
        if (date.isValid() && time.isValid() && name.size() == 17 &&
            DatedFolderName(QDateTime(date, time, Qt::UTC)) == name) {
            folders << entry.absoluteFilePath();
        }
    }
    return folders;
}

BackupModule::Removal BackupModule::RemoveOldBackups(const QString& dir, int keep,
                                                     const QString& current) {
    Removal removal;
    const QString currentPath = QFileInfo(current).absoluteFilePath();
    QStringList others = DatedFolders(dir);
    others.removeAll(currentPath);
    // The newest others fill the places the current one leaves.
    const qsizetype kept = std::max(0, keep - 1);
    for (qsizetype i = 0; i + kept < others.size(); ++i) {
        const QString& folder = others[i];
        (QDir(folder).removeRecursively() ? removal.removed : removal.failed) << folder;
    }
    return removal;
}

QString BackupModule::ClockFolder() const {
    const QString& folder = m_session.Creator.ClockFolder;
    // An empty setting means the program folder's, as the creation run reads it.
    return folder.isEmpty() ? m_session.ProgramFolder() + QLatin1Char('/') + kClocksName : folder;
}

QStringList BackupModule::HourlyClockFiles() const {
    const QDir folder(ClockFolder());
    QStringList files;
    // Name filters match without regard to case; a folder named x.clk is left out.
    for (const QString& name :
         folder.entryList({QStringLiteral("*.clk")}, QDir::Files | QDir::Hidden, QDir::Name))
        files << folder.filePath(name);
    return files;
}

QString BackupModule::BackupKeyPath() const {
    return m_session.ProgramFolder() + QLatin1Char('/') + kKeyFileName;
}

bool BackupModule::WriteBackupKeyFile() {
    const QStringList lines = m_keywords.KeywordDefinitionFileLines();
    if (lines.isEmpty()) {
        ShowInformation(m_session,
                        QStringLiteral("You must create and save keywords before using Backup."),
                        kUnableTitle);
        return false;
    }
    // The clocks' writer: whole or not at all, and the one-generation .bak.
    ClockModule::WriteClockFile(BackupKeyPath(), ClockModule::PlainClockContent(lines.join(kCrLf)),
                                m_session.Creator.BackupSavedFiles);
    return true;
}

void BackupModule::ShowFailure(const QString& what, const QString& location) {
    const QString& crlf = kCrLf;
    m_session.Dlg().MsgBox(
        QStringLiteral("Unable to backup ") + what + QStringLiteral("to ") + location + crlf +
            crlf + QStringLiteral("Please check diskette or folder.") + crlf + crlf +
            QStringLiteral("If using  diskette, please make sure that diskette is not "
                           "write-protected or full.") +
            crlf + crlf +
            QStringLiteral(
                "If using a folder, please make sure that it is not a CDROM drive or full.") +
            crlf + crlf +
            QStringLiteral(
                "If the folder is on a network or Windows NT computer, please make sure") +
            crlf + QStringLiteral("that you have permission to write to it") + crlf,
        MsgButtons::OK, MsgIcon::Critical, kUnableTitle);
}

QString BackupModule::TargetFolder(const QString& location) {
    if (location.isEmpty()) {
        ShowInformation(m_session,
                        QStringLiteral("Please choose where to back up to: the removable disk, "
                                       "or another location."),
                        kUnableTitle);
        return {};
    }
    if (IsRemovableDisk(location)) {
        QString volume = FirstWritableVolume(MountedVolumes(), RemovableDiskParents);
        if (volume.isEmpty()) ShowFailure(QString(), location);
        return volume;
    }
    // A relative path would land wherever the program happened to start.
    if (!QDir::isAbsolutePath(location)) {
        ShowInformation(m_session,
                        QStringLiteral("The backup location \"") + location +
                            QStringLiteral("\" is not a full path.") + kCrLf + kCrLf +
                            QStringLiteral("Please choose the folder with Browse, or type its "
                                           "full path, beginning with /."),
                        kUnableTitle);
        return {};
    }
    return location;
}

BackupModule::Outcome BackupModule::Backup(const QString& location, const Options& options,
                                           const Progress& progress) {
    if (m_running) return Outcome::Refused;
    m_copied = 0;
    m_toCopy = 0;
    m_stopRequested = false;
    m_failureReason.clear();

    const QString target = TargetFolder(location);
    if (target.isEmpty()) return Outcome::Refused;

    // Onto itself a backup would copy each file over itself, and with
    // Overwrite destroy it; nothing is written before this is ruled out.
    // Inside the Clock Folder the copies would lie among the hourly clocks,
    // and the next backup would take the default clock for one of them.
    if (SamePlace(target, m_session.ProgramFolder()) ||
        SamePlace(target + QLatin1Char('/') + kClocksName, ClockFolder()) ||
        WithinFolder(target, ClockFolder())) {
        ShowInformation(m_session,
                        QStringLiteral("The backup location ") + location +
                            QStringLiteral(" holds the files that are to be backed up, so they "
                                           "would be copied onto themselves.") +
                            kCrLf + kCrLf + QStringLiteral("Please choose another location."),
                        kUnableTitle);
        return Outcome::Refused;
    }

    if (!QFileInfo(m_clocks.DefaultClockPath()).isFile()) {
        ShowInformation(
            m_session,
            QStringLiteral("You must create and save a default clock file before using Backup."),
            kUnableTitle);
        return Outcome::Abandoned;
    }

    m_running = true;
    Outcome outcome = Outcome::Abandoned;
    try {
        outcome = Copy(location, target, options, progress);
    } catch (const RuntimeError& error) {
        m_failureReason = error.Description();
        ShowFailure(QString(), location);
    } catch (const std::exception& error) {
        m_failureReason = QString::fromLocal8Bit(error.what());
        ShowFailure(QString(), location);
    }
    m_running = false;
    return outcome;
}

BackupModule::Outcome BackupModule::Copy(const QString& location, const QString& target,
                                         const Options& options, const Progress& progress) {
    const QString clocksTarget = target + QLatin1Char('/') + kClocksName;
    // The clocks' folder must be a folder; finding out after the keywords
    // and the default clock are copied would leave half a backup.
    if (QFileInfo::exists(clocksTarget) && !QFileInfo(clocksTarget).isDir()) {
        ShowFailure(QStringLiteral("Clock folder "), location);
        return Outcome::Refused;
    }
    try {
        if (!WriteBackupKeyFile()) return Outcome::Refused;
    } catch (const RuntimeError& error) {
        // The file in the program folder could not be written: copying the
        // old one would back up keywords that are not the station's.
        m_failureReason = error.Description();
        ShowFailure(QStringLiteral("Keywords "), location);
        return Outcome::Abandoned;
    } catch (const std::exception& error) {
        m_failureReason = QString::fromLocal8Bit(error.what());
        ShowFailure(QStringLiteral("Keywords "), location);
        return Outcome::Abandoned;
    }
    // A location that is not there yet is made, as the clocks' folder is.
    if (!QDir().mkpath(target)) {
        m_failureReason = QStringLiteral("Cannot make the folder ") + target;
        ShowFailure(QString(), location);
        return Outcome::Refused;
    }

    const QStringList clocks = HourlyClockFiles();
    if (options.askPatience && clocks.size() > kPatientCount && IsRemovableDisk(location)) {
        const MsgResult answer = m_session.Dlg().MsgBox(
            QStringLiteral("There are ") + QString::number(clocks.size()) +
                QStringLiteral(" clock files to be backed up.") + kCrLf +
                QStringLiteral("Backing up this number of small files to a floppy disk can take "
                               "a long time.") +
                kCrLf + kCrLf + QStringLiteral("Please be patient, or choose 'Cancel'"),
            MsgButtons::OKCancel, MsgIcon::Information, QStringLiteral("Please Be Patient!"));
        if (answer == MsgResult::Cancel) return Outcome::Abandoned;
    }

    // Closed while the key file was written or the question was open.
    if (m_stopRequested) return Outcome::Stopped;
    const CopyCollision collision =
        options.overwrite ? CopyCollision::Overwrite : CopyCollision::NewName;
    m_toCopy = 2 + static_cast<int>(clocks.size());
    if (progress) progress(0, m_toCopy);
    const auto copyOne = [&](const QString& source, const QString& folder, const QString& what) {
        const CopyResult copy = CopyFileInto(source, folder, collision);
        if (!copy.copied) {
            m_failureReason = copy.reason;
            ShowFailure(what, location);
            return false;
        }
        ++m_copied;
        if (progress) progress(m_copied, m_toCopy);
        return true;
    };
    if (!copyOne(BackupKeyPath(), target, QStringLiteral("Keywords "))) return Outcome::Abandoned;
    if (!copyOne(m_clocks.DefaultClockPath(), target, QStringLiteral("Default Clock ")))
        return Outcome::Abandoned;

    // The folder may exist already; a failure shows in the first copy.
    QDir().mkpath(clocksTarget);
    for (const QString& clock : clocks) {
        if (!copyOne(clock, clocksTarget, QStringLiteral("Clock folder ")))
            return Outcome::Abandoned;
        // The window answers and the bar moves between files.
        DoEvents();
        if (m_stopRequested) return Outcome::Stopped;
    }
    return Outcome::Done;
}

}  // namespace sonavel
