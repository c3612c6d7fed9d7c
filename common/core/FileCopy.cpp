#include "FileCopy.h"

#include "DurableFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace sonavel {

namespace {

constexpr qint64 kChunk = 256LL * 1024;
// A folder that already holds this many copies of a name is not being
// backed up to sensibly any more.
constexpr int kMostNumberedNames = 9999;

QString Why(const QString& what, const QString& path, const QString& detail) {
    return what + QStringLiteral(" ") + path + QStringLiteral(": ") + detail;
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
    const QString sameName = QDir(folder).filePath(name);
    // The copy is finished under a temporary name: a full disk or a pulled
    // stick leaves at most that, and it is removed again.
    DurableFile out(sameName, DurableFile::Kind::Copy);
    const auto cannotWrite = [&] {
        result.reason = Why(QStringLiteral("Cannot write in"), folder, out.Result().Reason());
        return result;
    };
    QByteArray buffer;
    for (;;) {
        buffer = in.read(kChunk);
        if (buffer.isEmpty()) break;
        if (!out.Write(buffer)) return cannotWrite();
    }
    if (in.error() != QFileDevice::NoError) {
        result.reason = Why(QStringLiteral("Cannot read"), source, in.errorString());
        return result;
    }
    // The copy carries the time the clock was last changed, as a file
    // manager's copy does, and the source's permissions, not a temporary
    // file's private ones.
    out.SetModificationTime(sourceInfo.lastModified());
    struct stat sourceStat {};
    if (::fstat(in.handle(), &sourceStat) == 0) out.SetMode(sourceStat.st_mode & 07777);
    if (!out.Finish()) return cannotWrite();

    if (collision == CopyCollision::Overwrite) {
        if (!out.Replace()) {
            result.reason = Why(QStringLiteral("Cannot replace"), sameName, out.Result().Reason());
            return result;
        }
        result.copied = true;
        result.target = sameName;
        return result;
    }
    for (int n = 1; n <= kMostNumberedNames; ++n) {
        const QString target = n == 1 ? sameName : QDir(folder).filePath(NumberedName(name, n));
        switch (out.PlaceAs(target)) {
            case DurableFile::Placed::Yes:
                result.copied = true;
                result.target = target;
                return result;
            case DurableFile::Placed::Taken:
                continue;
            case DurableFile::Placed::Failed:
                result.reason = Why(QStringLiteral("Cannot write"), target, out.Result().Reason());
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
