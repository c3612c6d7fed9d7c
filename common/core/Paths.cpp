#include "Paths.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

namespace sonavel {

QString DefaultProgramFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Sonavel");
}

QString DefaultSettingsPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Sonavel/settings.db");
}

QString HelpIndexPath(const QString& programDir) {
    const QDir dir(programDir);
    for (const QString& relative :
         {QStringLiteral("../share/sonavel/help/index.html"),
          QStringLiteral("../../docs/help/index.html"), QStringLiteral("docs/help/index.html")}) {
        const QFileInfo help(dir.filePath(relative));
        if (help.isFile()) return help.canonicalFilePath();
    }
    return {};
}

void EnsureRuntimeFolder() {
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) return;
    const uid_t user = getuid();
    const QByteArray folder = QFile::encodeName(QDir::tempPath()) + "/sonavel-runtime-" +
                              QByteArray::number(static_cast<qulonglong>(user));
    if (mkdir(folder.constData(), S_IRWXU) != 0 && errno != EEXIST) return;
    // The temporary folder is everyone's: a name taken by another user or
    // a link planted there is not used, and Qt's own fallback applies.
    struct stat info {};
    if (lstat(folder.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != user) {
        return;
    }
    if ((info.st_mode & ALLPERMS) != S_IRWXU && chmod(folder.constData(), S_IRWXU) != 0) return;
    qputenv("XDG_RUNTIME_DIR", folder);
}

}  // namespace sonavel
