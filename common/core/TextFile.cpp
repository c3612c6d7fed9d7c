#include "TextFile.h"

#include "DurableFile.h"
#include "RuntimeError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>

namespace sonavel {

namespace {

std::int32_t RuntimeNumberOf(int systemError) {
    switch (systemError) {
        case ENOSPC:
        case EDQUOT:
            return err::kDiskFull;
        case ENOENT:
        case ENOTDIR:
            return err::kPathNotFound;
        default:
            return err::kPathFileAccess;
    }
}

}  // namespace

FileWriteError::FileWriteError(const QString& path, int systemError)
    : RuntimeError(RuntimeNumberOf(systemError),
                   StandardErrorDescription(RuntimeNumberOf(systemError)) + QStringLiteral(": ") +
                       path + QStringLiteral(" (") + SystemErrorText(systemError) +
                       QStringLiteral(")")),
      m_path(path),
      m_reason(SystemErrorText(systemError)) {}

}  // namespace sonavel

namespace sonavel::textfile {

namespace {

[[noreturn]] void ThrowOpenError(const QString& path, bool forReading) {
    if (path.isEmpty()) throw MakeError(err::kBadFileName, path);
    const QFileInfo info(path);
    if (!info.absoluteDir().exists()) throw MakeError(err::kPathNotFound, path);
    if (forReading && !info.exists()) throw MakeError(err::kFileNotFound, path);
    throw MakeError(err::kPathFileAccess, path);
}

QByteArray Encode(const QString& text) {
    QStringEncoder encoder(QStringConverter::System);
    return encoder.encode(text);
}

}  // namespace

bool Exists(const QString& path) {
    const QFileInfo info(path);
    return !path.isEmpty() && info.exists() && info.isFile();
}

QByteArray ReadBytes(const QString& path) {
    if (path.isEmpty()) ThrowOpenError(path, true);
    // Non-blocking, so that opening a pipe with no writer returns at once
    // instead of hanging the program; the type is then judged on what was
    // opened, not on a name that may have changed in between.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) ThrowOpenError(path, true);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0) throw MakeError(err::kPathFileAccess, path);
    if (!S_ISREG(info.st_mode)) {
        throw MakeError(err::kPathFileAccess, path + QStringLiteral(" is not a regular file"));
    }
    const auto tooLarge = [&] {
        return MakeError(err::kPathFileAccess, path + QStringLiteral(" is larger than ") +
                                                   QString::number(kMostBytes / (1024LL * 1024)) +
                                                   QStringLiteral(" MB"));
    };
    if (info.st_size > kMostBytes) throw tooLarge();
    // The file may grow while it is read: one byte beyond the bound tells.
    QByteArray bytes;
    bytes.resize(static_cast<qsizetype>(info.st_size) + 1);
    qsizetype filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            if (filled > kMostBytes) throw tooLarge();
            bytes.resize(std::min<qsizetype>(bytes.size() * 2 + 4096, kMostBytes + 1));
        }
        const ssize_t got =
            ::read(fd, bytes.data() + filled, static_cast<size_t>(bytes.size() - filled));
        if (got < 0) {
            if (errno == EINTR) continue;
            throw MakeError(err::kPathFileAccess, path);
        }
        if (got == 0) break;
        filled += got;
    }
    if (filled > kMostBytes) throw tooLarge();
    bytes.truncate(filled);
    return bytes;
}

QString Decode(const QByteArray& bytes) {
    // Stateless: a sequence cut off at the end is damage like any other, not
    // the start of a continuation that never comes.
    QStringDecoder decoder(QStringConverter::System, QStringConverter::Flag::Stateless);
    return decoder.decode(bytes);
}

QString ReadAll(const QString& path) {
    return Decode(ReadBytes(path));
}

bool ReadsBackAsWritten(const QString& line) {
    if (line.startsWith(QChar::ByteOrderMark)) return false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c.isHighSurrogate() && i + 1 < line.size() && line[i + 1].isLowSurrogate()) {
            ++i;
        } else if (c.isSurrogate()) {
            return false;
        }
    }
    return true;
}

QStringList ReadLines(const QString& path) {
    QString text = ReadAll(path);
    text.replace(kCrLf, QStringLiteral("\n"));
    QStringList lines = text.split(QLatin1Char('\n'));
    // A final line end closes the last line; it does not open an empty one.
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    return lines;
}

void WriteAll(const QString& path, const QString& text) {
    if (path.isEmpty()) throw MakeError(err::kBadFileName, path);
    const FileWriteResult written = WriteFileWhole(path, Encode(text));
    if (!written.Ok()) throw FileWriteError(path, written.error);
}

void WriteLines(const QString& path, const QStringList& lines) {
    QString text;
    for (const QString& line : lines)
        text += line + kCrLf;
    WriteAll(path, text);
}

void AppendLines(const QString& path, const QStringList& lines) {
    if (path.isEmpty()) throw MakeError(err::kBadFileName, path);
    QString text;
    for (const QString& line : lines)
        text += line + kCrLf;
    const FileWriteResult written = AppendToFile(path, Encode(text));
    if (!written.Ok()) throw FileWriteError(path, written.error);
}

void Truncate(const QString& path) {
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        ThrowOpenError(path, false);
    }
}

}  // namespace sonavel::textfile
