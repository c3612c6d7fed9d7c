#pragma once

#include <sys/types.h>
#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <cerrno>
#include <optional>

namespace sonavel {

// How a file write ended: the system's error number of the call that failed,
// 0 when every call succeeded.
struct FileWriteResult {
    int error = 0;
    bool Ok() const { return error == 0; }
    // The system's words for the error, "No space left on device".
    QString Reason() const;
};

QString SystemErrorText(int error);

// A file written whole, so that nobody ever finds it half-written: the bytes
// go to a temporary file in the target's folder, every call is checked, the
// data is synced, its size compared with what was written, and only then is
// it renamed over the old file and the folder synced. Until the rename the
// old file is untouched; a failure, or leaving without placing the file,
// removes the temporary file.
//
// Qt's QSaveFile is not enough on its own: in Qt 6.4 its commit() returns
// true when the buffered rest of the data could not be written, which on a
// full disk leaves an empty or cut file behind a reported success.
class DurableFile {
  public:
    enum class Kind {
        // A file saved in place, as an editor saves: a link is followed to
        // the file it names, a read-only file is refused, and the new file
        // keeps the old one's permissions (new files get the usual ones).
        Save,
        // A copy under the target's name as it stands: whatever is there is
        // replaced (or kept, with PlaceAs), and the caller sets the mode.
        Copy,
    };
    // Creates the temporary file beside target.
    explicit DurableFile(const QString& target, Kind kind = Kind::Save);
    ~DurableFile();
    DurableFile(const DurableFile&) = delete;
    DurableFile& operator=(const DurableFile&) = delete;

    bool Write(const char* data, qint64 size);
    bool Write(const QByteArray& bytes) { return Write(bytes.constData(), bytes.size()); }
    // Permission bits and modification time for the finished file. A file
    // system that cannot keep them (a FAT stick) is no failure.
    void SetMode(mode_t mode) { m_mode = mode; }
    void SetModificationTime(const QDateTime& when) { m_modified = when; }
    // Syncs the data, compares the size and closes: after this the bytes are
    // on the disk under the temporary name.
    bool Finish();
    // Renames the finished file over the target and syncs the folder.
    bool Replace();
    // Renames the finished file to path, in the same folder, only when
    // nothing of that name is there; Taken when something is, and the file
    // stays ready for another name.
    enum class Placed { Yes, Taken, Failed };
    Placed PlaceAs(const QString& path);

    // The error of the call that failed, 0 while all went well.
    int Error() const { return m_error; }
    FileWriteResult Result() const { return {m_error}; }
    // The file that is replaced: the target, with a link followed.
    const QString& Target() const { return m_target; }

  private:
    bool Fail(int error);
    void Discard();

    QString m_target;
    QByteArray m_temporary;
    int m_fd = -1;
    qint64 m_written = 0;
    int m_error = 0;
    bool m_finished = false;
    bool m_placed = false;
    std::optional<mode_t> m_mode;
    QDateTime m_modified;
};

// Replaces path with bytes as a whole, as DurableFile does.
FileWriteResult WriteFileWhole(const QString& path, const QByteArray& bytes);

// Appends bytes to path in one write, making the file when it is missing;
// headerWhenEmpty goes first into a file that is empty. The write and the
// close are checked; an append that fails half-way is cut off again, so the
// file never holds part of it.
FileWriteResult AppendToFile(const QString& path, const QByteArray& bytes,
                             const QByteArray& headerWhenEmpty = {});

// For tests: makes the system calls of the writers above fail as a full or
// failing disk would, on any machine. Calls of one kind are counted from the
// last Inject or Clear; from the nth on, `times` of them fail with error
// (every one until Clear when times is negative). With `under`, only calls
// on files below that folder count and fail, as on a disk of their own.
namespace filefault {
enum class Call { Open, Write, Sync, Stat, Close, Rename, SyncFolder };
void Inject(Call call, int nth, int error = ENOSPC, int times = 1, const QString& under = {});
void Clear();
// How many calls of the kind were made since the last Inject or Clear.
int Count(Call call);
}  // namespace filefault

}  // namespace sonavel
