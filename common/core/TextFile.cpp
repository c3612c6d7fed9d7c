#include "TextFile.h"

#include "RuntimeError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

namespace sonavel::textfile {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

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

QString ReadAll(const QString& path) {
    QFile file(path);
    if (path.isEmpty() || QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly)) {
        ThrowOpenError(path, true);
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) throw MakeError(err::kPathFileAccess, path);
    QStringDecoder decoder(QStringConverter::System);
    return decoder.decode(bytes);
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
    QSaveFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::WriteOnly)) ThrowOpenError(path, false);
    const QByteArray bytes = Encode(text);
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        throw MakeError(err::kPathFileAccess, path);
    }
}

void WriteLines(const QString& path, const QStringList& lines) {
    QString text;
    for (const QString& line : lines)
        text += line + kCrLf;
    WriteAll(path, text);
}

void AppendLines(const QString& path, const QStringList& lines) {
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        ThrowOpenError(path, false);
    }
    QString text;
    for (const QString& line : lines)
        text += line + kCrLf;
    const QByteArray bytes = Encode(text);
    if (file.write(bytes) != bytes.size()) throw MakeError(err::kPathFileAccess, path);
}

void Truncate(const QString& path) {
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        ThrowOpenError(path, false);
    }
}

}  // namespace sonavel::textfile
