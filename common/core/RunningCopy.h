#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

namespace sonavel {

// Holds the lock that marks a program as running, for as long as the object
// lives. A lock left behind by a program that crashed is taken over.
class RunningCopyLock {
  public:
    explicit RunningCopyLock(const QString& lockPath);
    bool AlreadyRunning() const { return !m_held; }

    // The per-user lock file of a program ("creator", "player").
    static QString DefaultPath(const QString& programName);

  private:
    std::unique_ptr<QLockFile> m_lock;
    bool m_held = false;
};

}  // namespace sonavel
