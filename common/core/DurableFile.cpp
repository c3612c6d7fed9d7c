#include "DurableFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>
#include <array>
#include <cstring>
#include <mutex>

namespace sonavel {

namespace {

// The injected faults of the tests. A mutex, not atomics: the counts and the
// fault change together, and a writer makes a handful of calls per file.
struct FaultState {
    std::mutex lock;
    std::array<int, 7> counts{};
    filefault::Call call = filefault::Call::Open;
    int nth = 0;  // 0: nothing injected
    int error = 0;
    int times = 0;
    QByteArray under;  // only files below this folder, when not empty
};

FaultState& Faults() {
    static FaultState state;
    return state;
}

// True, with errno set, when a test has made this call on path fail.
bool Faulted(filefault::Call call, const QByteArray& path) {
    FaultState& state = Faults();
    const std::lock_guard<std::mutex> guard(state.lock);
    if (!state.under.isEmpty() && !path.startsWith(state.under)) return false;
    const int n = ++state.counts.at(static_cast<std::size_t>(call));
    if (state.nth == 0 || state.call != call || n < state.nth || state.times == 0) return false;
    if (state.times > 0) --state.times;
    errno = state.error;
    return true;
}

// The name of the temporary file: hidden, after the file it becomes, with a
// random tail, and short enough for any file system's name limit.
QByteArray TemporaryName(const QByteArray& folder, const QByteArray& name) {
    constexpr qsizetype kMostNameBytes = 200;
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QByteArray tail(6, '0');
    for (char& c : tail)
        c = kLetters[QRandomGenerator::global()->bounded(static_cast<int>(sizeof kLetters - 1))];
    return folder + "/." + name.left(kMostNameBytes) + '.' + tail;
}

QByteArray FolderOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0) return QByteArrayLiteral(".");
    if (slash == 0) return QByteArrayLiteral("/");
    return path.left(slash);
}

// The folder's entry for a renamed file survives a power cut only once the
// folder itself is synced. File systems that cannot sync a folder say so
// with EINVAL; their renames are as durable as they get.
int SyncFolder(const QByteArray& folder) {
    const int fd = Faulted(filefault::Call::SyncFolder, folder)
                       ? -1
                       : ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    const int synced = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    if (synced != 0 && error != EINVAL) return error;
    return 0;
}

// Moves a file to a name without replacing anything there. File systems
// that cannot refuse a replacement (old network shares) are checked first
// instead, which a second writer could race; the callers have none.
int RenameNoReplace(const QByteArray& from, const QByteArray& to) {
    if (Faulted(filefault::Call::Rename, to)) return errno;
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    const int error = errno;
    if (error != EINVAL && error != ENOSYS && error != ENOTSUP) return error;
    if (QFileInfo::exists(QFile::decodeName(to))) return EEXIST;
    if (::rename(from.constData(), to.constData()) == 0) return 0;
    return errno;
}

}  // namespace

QString SystemErrorText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QString FileWriteResult::Reason() const {
    return SystemErrorText(error);
}

DurableFile::DurableFile(const QString& target, Kind kind) : m_target(target) {
    if (target.isEmpty()) {
        Fail(ENOENT);
        return;
    }
    if (kind == Kind::Save) {
        // Saving through a link replaces the file it names, not the link.
        const QFileInfo info(target);
        if (info.isSymLink())
            m_target = info.exists() ? info.canonicalFilePath() : info.symLinkTarget();
    }
    const QByteArray path = QFile::encodeName(m_target);
    struct stat old {};
    if (kind == Kind::Save && ::stat(path.constData(), &old) == 0) {
        if (S_ISDIR(old.st_mode)) {
            Fail(EISDIR);
            return;
        }
        // A file made read-only is not replaced behind its owner's back.
        if (::access(path.constData(), W_OK) != 0) {
            Fail(errno);
            return;
        }
        m_mode = old.st_mode & 07777;
    }
    const QByteArray folder = FolderOf(path);
    const QByteArray name = path.mid(path.lastIndexOf('/') + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        m_temporary = TemporaryName(folder, name);
        // 0666 less the umask: the permissions any new file of the user gets.
        m_fd = Faulted(filefault::Call::Open, m_temporary)
                   ? -1
                   : ::open(m_temporary.constData(),
                            O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        if (m_fd >= 0) return;
        if (errno != EEXIST) break;
    }
    const int error = errno;
    m_temporary.clear();
    Fail(error);
}

DurableFile::~DurableFile() {
    Discard();
}

bool DurableFile::Fail(int error) {
    m_error = error;
    Discard();
    return false;
}

void DurableFile::Discard() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    if (!m_placed && !m_temporary.isEmpty()) ::unlink(m_temporary.constData());
    m_temporary.clear();
}

bool DurableFile::Write(const char* data, qint64 size) {
    if (m_error != 0) return false;
    if (m_fd < 0) return Fail(EBADF);
    while (size > 0) {
        const ssize_t written = Faulted(filefault::Call::Write, m_temporary)
                                    ? -1
                                    : ::write(m_fd, data, static_cast<std::size_t>(size));
        if (written < 0) {
            if (errno == EINTR) continue;
            return Fail(errno);
        }
        // Nothing written and no error: the device takes no more.
        if (written == 0) return Fail(ENOSPC);
        data += written;
        size -= written;
        m_written += written;
    }
    return true;
}

bool DurableFile::Finish() {
    if (m_error != 0) return false;
    if (m_finished) return true;
    if (m_fd < 0) return Fail(EBADF);
    if (m_mode) ::fchmod(m_fd, *m_mode);
    if (m_modified.isValid()) {
        const qint64 ms = m_modified.toMSecsSinceEpoch();
        const timespec times[2] = {
            {0, UTIME_OMIT},
            {static_cast<time_t>(ms / 1000), static_cast<long>((ms % 1000) * 1'000'000)}};
        ::futimens(m_fd, times);
    }
    if (Faulted(filefault::Call::Sync, m_temporary) || ::fsync(m_fd) != 0) return Fail(errno);
    struct stat written {};
    if (Faulted(filefault::Call::Stat, m_temporary) || ::fstat(m_fd, &written) != 0)
        return Fail(errno);
    if (written.st_size != m_written) return Fail(EIO);
    const int fd = m_fd;
    m_fd = -1;
    if (Faulted(filefault::Call::Close, m_temporary)) {
        const int error = errno;
        ::close(fd);
        return Fail(error);
    }
    // After EINTR the descriptor is gone on Linux, and the data is synced.
    if (::close(fd) != 0 && errno != EINTR) return Fail(errno);
    m_finished = true;
    return true;
}

bool DurableFile::Replace() {
    if (!Finish()) return false;
    const QByteArray target = QFile::encodeName(m_target);
    if (Faulted(filefault::Call::Rename, target) ||
        ::rename(m_temporary.constData(), target.constData()) != 0)
        return Fail(errno);
    m_placed = true;
    const int error = SyncFolder(FolderOf(target));
    return error == 0 || Fail(error);
}

DurableFile::Placed DurableFile::PlaceAs(const QString& path) {
    if (!Finish()) return Placed::Failed;
    const QByteArray target = QFile::encodeName(path);
    const int renamed = RenameNoReplace(m_temporary, target);
    // A folder, or a file, of that name: the caller tries another.
    if (renamed == EEXIST || renamed == ENOTEMPTY || renamed == EISDIR) return Placed::Taken;
    if (renamed != 0) {
        Fail(renamed);
        return Placed::Failed;
    }
    m_placed = true;
    m_target = path;
    const int error = SyncFolder(FolderOf(target));
    if (error != 0) {
        Fail(error);
        return Placed::Failed;
    }
    return Placed::Yes;
}

FileWriteResult WriteFileWhole(const QString& path, const QByteArray& bytes) {
    DurableFile file(path);
    file.Write(bytes);
    file.Replace();
    return file.Result();
}

FileWriteResult AppendToFile(const QString& path, const QByteArray& bytes,
                             const QByteArray& headerWhenEmpty) {
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty()) return {ENOENT};
    const int fd =
        Faulted(filefault::Call::Open, name)
            ? -1
            : ::open(name.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) return {errno};
    struct stat before {};
    if (Faulted(filefault::Call::Stat, name) || ::fstat(fd, &before) != 0) {
        const int error = errno;
        ::close(fd);
        return {error};
    }
    const bool regular = S_ISREG(before.st_mode);
    const QByteArray data = regular && before.st_size == 0 && !headerWhenEmpty.isEmpty()
                                ? headerWhenEmpty + bytes
                                : bytes;
    // One write as a rule, so another writer's line never lands inside ours.
    int error = 0;
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t written = Faulted(filefault::Call::Write, name)
                                    ? -1
                                    : ::write(fd, data.constData() + done,
                                              static_cast<std::size_t>(data.size() - done));
        if (written < 0) {
            if (errno == EINTR) continue;
            error = errno;
            break;
        }
        if (written == 0) {
            error = ENOSPC;
            break;
        }
        done += written;
    }
    if (Faulted(filefault::Call::Close, name)) {
        if (error == 0) error = errno;
        ::close(fd);
    } else if (::close(fd) != 0 && errno != EINTR && error == 0) {
        error = errno;
    }
    // Half a line would be glued to the next one that gets through.
    if (error != 0 && regular && done > 0) ::truncate(name.constData(), before.st_size);
    return {error};
}

namespace filefault {

void Inject(Call call, int nth, int error, int times, const QString& under) {
    FaultState& state = Faults();
    const std::lock_guard<std::mutex> guard(state.lock);
    state.counts.fill(0);
    state.call = call;
    state.nth = nth;
    state.error = error;
    state.times = times;
    state.under = under.isEmpty() ? QByteArray() : QFile::encodeName(under) + '/';
}

void Clear() {
    FaultState& state = Faults();
    const std::lock_guard<std::mutex> guard(state.lock);
    state.counts.fill(0);
    state.nth = 0;
    state.under.clear();
}

int Count(Call call) {
    FaultState& state = Faults();
    const std::lock_guard<std::mutex> guard(state.lock);
    return state.counts.at(static_cast<std::size_t>(call));
}

}  // namespace filefault

}  // namespace sonavel
