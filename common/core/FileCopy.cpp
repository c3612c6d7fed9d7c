#include "FileCopy.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <fcntl.h>
#include <stdio.h>
#include <cerrno>
#include <cstring>

namespace sonavel {

namespace {

constexpr qint64 kChunk = 256LL * 1024;
// A folder that already holds this many copies of a name is not being
// backed up to sensibly any more.
constexpr int kMostNumberedNames = 9999;

QString Why(const QString& what, const QString& path, const QString& detail) {
    return what + QStringLiteral(" ") + path + QStringLiteral(": ") + detail;
}

QString ErrnoText(int number) {
    return QString::fromLocal8Bit(std::strerror(number));
}

// Moves the finished copy to its name without replacing anything there.
// Folders on file systems that cannot refuse a replacement (old network
// shares) are checked first instead, which a second writer could race; a
// backup has no second writer.
bool RenameNoReplace(const QByteArray& from, const QByteArray& to, int& error) {
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    error = errno;
    if (error != EINVAL && error != ENOSYS && error != ENOTSUP) return false;
    if (QFileInfo::exists(QFile::decodeName(to))) {
        error = EEXIST;
        return false;
    }
    if (::rename(from.constData(), to.constData()) == 0) return true;
    error = errno;
    return false;
}

}  // namespace

QString NumberedName(const QString& fileName, int n) {
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    // A leading dot is part of the name, not an extension.
    const bool hasExtension = dot > 0;
    const QString base = hasExtension ? fileName.left(dot) : fileName;
    const QString extension = hasExtension ? fileName.mid(dot) : QString();
    return base + QStringLiteral(" (") + QString::number(n) + QLatin1Char(')') + extension;
}

CopyResult CopyFileInto(const QString& source, const QString& folder, CopyCollision collision) {
    CopyResult result;
    const QFileInfo sourceInfo(source);
    if (!sourceInfo.isFile()) {
        result.reason = Why(QStringLiteral("Not a file:"), source,
                            sourceInfo.exists() ? QStringLiteral("not a regular file")
                                                : QStringLiteral("it does not exist"));
        return result;
    }
    if (!QFileInfo(folder).isDir()) {
        result.reason = Why(QStringLiteral("No folder"), folder, QStringLiteral("not a folder"));
        return result;
    }
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) {
        result.reason = Why(QStringLiteral("Cannot read"), source, in.errorString());
        return result;
    }

    const QString name = sourceInfo.fileName();
    QTemporaryFile out(
        QDir(folder).filePath(QStringLiteral(".") + name + QStringLiteral(".XXXXXX")));
    if (!out.open()) {
        result.reason = Why(QStringLiteral("Cannot write in"), folder, out.errorString());
        return result;
    }
    QByteArray buffer;
    for (;;) {
        buffer = in.read(kChunk);
        if (buffer.isEmpty()) break;
        if (out.write(buffer) != buffer.size()) {
            result.reason = Why(QStringLiteral("Cannot write in"), folder, out.errorString());
            return result;
        }
    }
    if (in.error() != QFileDevice::NoError) {
        result.reason = Why(QStringLiteral("Cannot read"), source, in.errorString());
        return result;
    }
    // A full disk often shows only when the buffered rest goes out.
    if (!out.flush()) {
        result.reason = Why(QStringLiteral("Cannot write in"), folder, out.errorString());
        return result;
    }
    // The copy carries the time the clock was last changed, as a file
    // manager's copy does; a file system without times is no failure.
    out.setFileTime(sourceInfo.lastModified(), QFileDevice::FileModificationTime);
    // A temporary file is private to its owner; the copy is not.
    out.setPermissions(sourceInfo.permissions());
    const QByteArray temporary = QFile::encodeName(out.fileName());

    if (collision == CopyCollision::Overwrite) {
        const QString target = QDir(folder).filePath(name);
        if (::rename(temporary.constData(), QFile::encodeName(target).constData()) != 0) {
            result.reason = Why(QStringLiteral("Cannot replace"), target, ErrnoText(errno));
            return result;
        }
        out.setAutoRemove(false);
        result.copied = true;
        result.target = target;
        return result;
    }
    for (int n = 1; n <= kMostNumberedNames; ++n) {
        const QString target = QDir(folder).filePath(n == 1 ? name : NumberedName(name, n));
        int error = 0;
        if (RenameNoReplace(temporary, QFile::encodeName(target), error)) {
            out.setAutoRemove(false);
            result.copied = true;
            result.target = target;
            return result;
        }
        if (error != EEXIST && error != ENOTEMPTY && error != EISDIR) {
            result.reason = Why(QStringLiteral("Cannot write"), target, ErrnoText(error));
            return result;
        }
    }
    result.reason =
        Why(QStringLiteral("No free name for"), name, QStringLiteral("too many copies"));
    return result;
}

int CopyFiles(const QStringList& sources, const QString& folder, CopyCollision collision,
              const std::function<bool(const CopyResult&)>& afterEach) {
    int copied = 0;
    for (const QString& source : sources) {
        const CopyResult result = CopyFileInto(source, folder, collision);
        if (result.copied) ++copied;
        const bool goOn = !afterEach || afterEach(result);
        if (!result.copied || !goOn) break;
    }
    return copied;
}

}  // namespace sonavel
