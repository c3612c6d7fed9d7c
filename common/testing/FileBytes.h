#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace sonavel {

// A file's bytes as they are on disk. A file that is not there, or cannot be
// read, gives a marker that says so, so that a failed comparison reads as
// what went wrong rather than as a file that was empty.
inline QByteArray FileBytes(const QString& path) {
    QFile file(path);
    if (!file.exists()) return QByteArrayLiteral("(missing)");
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArrayLiteral("(unreadable)");
}

}  // namespace sonavel
