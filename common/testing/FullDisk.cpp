#include "FullDisk.h"

#include "DurableFile.h"

#include <QFile>

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <vector>

namespace sonavel {

namespace {

const char kFiller[] = "filler";

}  // namespace

FullDisk::FullDisk(qint64 bytes) {
    const QByteArray where = QFile::encodeName(m_dir.path());
    const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0700";
    if (::mount("sonavel-test", where.constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                options.constData()) == 0) {
        m_mounted = true;
    } else {
        m_why = QStringLiteral("a tmpfs cannot be mounted here (") +
                QString::fromLocal8Bit(std::strerror(errno)) + QLatin1Char(')');
    }
}

FullDisk::~FullDisk() {
    filefault::Clear();
    // Lazily, so a file a failed test left open does not keep the mount.
    if (m_mounted) ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
}

void FullDisk::Fill() {
    if (!m_mounted) {
        filefault::Inject(filefault::Call::Write, 1, ENOSPC, -1, Path());
        return;
    }
    const int fd = ::open(QFile::encodeName(FilePath(QString::fromLatin1(kFiller))).constData(),
                          O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) return;
    const std::vector<char> block(std::size_t{64} * 1024, 'x');
    // Down to single bytes: the last partly used page is taken too.
    for (std::size_t size = block.size(); size > 0;) {
        const ssize_t written = ::write(fd, block.data(), size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) size /= 2;
    }
    ::close(fd);
}

void FullDisk::MakeRoom() {
    filefault::Clear();
    if (m_mounted) QFile::remove(FilePath(QString::fromLatin1(kFiller)));
}

}  // namespace sonavel
