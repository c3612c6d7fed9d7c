#pragma once

#include <QString>
#include <QStringList>

namespace sonavel {

// Text files of the system: written in the locale's encoding with CR LF line
// ends, read with CR LF or LF. Each call opens and closes its file; nothing is
// kept open between events. Failures raise RuntimeError with the runtime's
// numbers (53 file not found, 76 path not found, 75 access, 52 bad name).
namespace textfile {

bool Exists(const QString& path);
QString ReadAll(const QString& path);
QStringList ReadLines(const QString& path);
// Replaces the file as a whole: a reader never sees half a file, and a failed
// write leaves the old content in place.
void WriteAll(const QString& path, const QString& text);
void WriteLines(const QString& path, const QStringList& lines);
// Opens for appending, writes the lines each with its CR LF, closes.
void AppendLines(const QString& path, const QStringList& lines);
inline void AppendLine(const QString& path, const QString& line) {
    AppendLines(path, {line});
}
// Creates the file empty or truncates it.
void Truncate(const QString& path);

}  // namespace textfile
}  // namespace sonavel
