#include "ProgramOpen.h"

#include "CommonModule.h"

namespace sonavel {

std::optional<OpenedProgram> OpenProgram(Product product, const QString& lockPath,
                                         const QString& storePath, Dialogs& dialogs,
                                         int& exitCode) {
    exitCode = 0;
    OpenedProgram opened;
    opened.lock = std::make_unique<RunningCopyLock>(lockPath);
    const bool player = product == Product::Player;
    if (opened.lock->AlreadyRunning()) {
        // The Player that runs may sit in the tray, out of sight.
        if (player) {
            dialogs.MsgBox(
                QStringLiteral("Sonavel Player is already running.\r\nCheck the tray icon."),
                MsgButtons::OK, MsgIcon::Information, QStringLiteral("Sonavel Player"));
        } else {
            dialogs.MsgBox(QStringLiteral("Creator is already running!"), MsgButtons::OK,
                           MsgIcon::Critical, QStringLiteral("Creator"));
        }
        return std::nullopt;
    }

    try {
        opened.store = std::make_unique<SettingsStore>(storePath);
    } catch (const StoreError& error) {
        ShowStoreFailure(
            dialogs, player ? QStringLiteral("Sonavel Player") : QStringLiteral("Sonavel Creator"),
            error.Path(), error.Reason());
        exitCode = 1;
        return std::nullopt;
    }
    return opened;
}

}  // namespace sonavel
