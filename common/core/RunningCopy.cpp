#include "RunningCopy.h"

#include "Paths.h"

#include <QDir>
#include <QFileInfo>

namespace sonavel {

RunningCopyLock::RunningCopyLock(const QString& lockPath)
    : m_lock(std::make_unique<QLockFile>(lockPath)) {
    QDir().mkpath(QFileInfo(lockPath).absolutePath());
    // Never expire on age: a station runs for months; only a dead owner frees it.
    m_lock->setStaleLockTime(0);
    m_held = m_lock->tryLock(0);
}

QString RunningCopyLock::StationPath(const QString& settingsFile, const QString& programName) {
    return QFileInfo(settingsFile).absolutePath() + QStringLiteral("/sonavel-") + programName +
           QStringLiteral(".lock");
}

QString RunningCopyLock::DefaultPath(const QString& programName) {
    return StationPath(DefaultSettingsPath(), programName);
}

}  // namespace sonavel
