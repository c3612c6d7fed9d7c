#pragma once

#include <QString>
#include <QTemporaryDir>

namespace sonavel {

// A folder on a disk that fills up, for the tests of what the programs do
// when a write fails. Where the test may mount one (root, as in CI) it is a
// small tmpfs of its own, and Fill() takes its last block: the failures are
// the system's own, for every writer, the settings store's included.
// Elsewhere it is an ordinary folder, and Fill() makes every data write of
// the file writers fail with ENOSPC through their test seam.
class FullDisk {
  public:
    explicit FullDisk(qint64 bytes = 2LL * 1024 * 1024);
    ~FullDisk();
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

    QString Path() const { return m_dir.path(); }
    QString FilePath(const QString& relative) const { return m_dir.filePath(relative); }
    // A tmpfs: the disk is really full. Otherwise WhyNotReal() says why not.
    bool Real() const { return m_mounted; }
    const QString& WhyNotReal() const { return m_why; }
    void Fill();
    // Room again: the filler goes, or the seam is cleared.
    void MakeRoom();

  private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
    QString m_why;
};

}  // namespace sonavel
