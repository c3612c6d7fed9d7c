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

    // The lock of a program ("creator", "player") on the station whose
    // settings store is settingsFile: it lies beside the store, so every copy
    // that would work on the same station meets it, whatever its login, its
    // runtime folder or the service manager that started it.
    static QString StationPath(const QString& settingsFile, const QString& programName);
    // The lock of a program on the user's own station.
    static QString DefaultPath(const QString& programName);

  private:
    std::unique_ptr<QLockFile> m_lock;
    bool m_held = false;
};

}  // namespace sonavel
