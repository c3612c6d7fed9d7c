#pragma once

#include "RuntimeError.h"

#include <QString>
#include <QStringList>

namespace sonavel {

// The line end of every text the system writes and every message it shows.
inline const QString kCrLf = QStringLiteral("\r\n");

// A file could not be written: the runtime's number for it (61 disk full,
// 76 path not found, 75 for the rest), and the system's own words.
class FileWriteError : public RuntimeError {
  public:
    FileWriteError(const QString& path, int systemError);
    const QString& Path() const { return m_path; }
    // "No space left on device"
    const QString& Reason() const { return m_reason; }

  private:
    QString m_path;
    QString m_reason;
};

// Text files of the system: written in the locale's encoding with CR LF line
// ends, read with CR LF or LF. Each call opens and closes its file; nothing is
// kept open between events. Failures raise RuntimeError with the runtime's
// numbers (53 file not found, 76 path not found, 75 access, 52 bad name).
namespace textfile {

// The most a reader takes in. Clocks, playlists, keyword files and logs are a
// few kilobytes; a file beyond this is a mistake (a link to a disk image, a
// runaway log) and is refused like an unreadable one instead of filling memory.
inline constexpr qint64 kMostBytes = 64LL * 1024 * 1024;

bool Exists(const QString& path);
// The bytes of a regular file of at most kMostBytes. Pipes, devices, sockets
// and folders are refused with 75 without waiting on them, as is a file that
// is too large.
QByteArray ReadBytes(const QString& path);
// Text in the locale's encoding. Damaged bytes, an incomplete sequence at the
// end included, show as the replacement mark; nothing is dropped silently.
QString Decode(const QByteArray& bytes);
QString ReadAll(const QString& path);
// Whether a line of text comes back unchanged from a text file and from the
// settings store: not when it begins with U+FEFF, which a reader takes for a
// byte-order mark wherever the line lands first in a file, nor when it holds
// a half surrogate pair, which has no encoding.
bool ReadsBackAsWritten(const QString& line);
QStringList ReadLines(const QString& path);
// Replaces the file as a whole (DurableFile): a reader never sees half a
// file, and a failed write leaves the old content in place. Failures raise
// FileWriteError.
void WriteAll(const QString& path, const QString& text);
void WriteLines(const QString& path, const QStringList& lines);
// Opens for appending, writes the lines each with its CR LF, closes; the
// write and the close are checked, and lines that could not be written
// whole are not left in part. Failures raise FileWriteError.
void AppendLines(const QString& path, const QStringList& lines);
inline void AppendLine(const QString& path, const QString& line) {
    AppendLines(path, {line});
}
// Creates the file empty or truncates it.
void Truncate(const QString& path);

}  // namespace textfile
}  // namespace sonavel
