#include "Paths.h"

#include <QStandardPaths>

namespace sonavel {

QString DefaultProgramFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Sonavel");
}

QString DefaultSettingsPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Sonavel/settings.db");
}

}  // namespace sonavel
