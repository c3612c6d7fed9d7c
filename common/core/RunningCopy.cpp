#include "RunningCopy.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace sonavel {

RunningCopyLock::RunningCopyLock(const QString& lockPath)
    : m_lock(std::make_unique<QLockFile>(lockPath)) {
    QDir().mkpath(QFileInfo(lockPath).absolutePath());
    // Never expire on age: a station runs for months; only a dead owner frees it.
    m_lock->setStaleLockTime(0);
    m_held = m_lock->tryLock(0);
}

QString RunningCopyLock::DefaultPath(const QString& programName) {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) folder = QDir::tempPath();
    return folder + QStringLiteral("/sonavel-") + programName + QStringLiteral(".lock");
}

}  // namespace sonavel
