#include "ProgramStart.h"

#include "CommonModule.h"
#include "Paths.h"
#include "QtDialogs.h"
#include "QtTextPrinter.h"
#include "QtWindows.h"
#include "Twips.h"

#include <QDir>

namespace sonavel {

ProgramServices::~ProgramServices() = default;

std::unique_ptr<ProgramServices> ProgramServices::Start(Product product, int& exitCode) {
    exitCode = 0;
    std::unique_ptr<ProgramServices> services(new ProgramServices);
    // One printer for the program: what its dialogs set up is what it prints on.
    services->m_printer = std::make_unique<QtTextPrinter>();
    services->m_dialogs = std::make_unique<QtDialogs>(services->m_printer.get());
    Dialogs& dialogs = *services->m_dialogs;

    const bool player = product == Product::Player;
    services->m_lock = std::make_unique<RunningCopyLock>(RunningCopyLock::DefaultPath(
        player ? QStringLiteral("player") : QStringLiteral("creator")));
    if (services->m_lock->AlreadyRunning()) {
        if (player) {
            dialogs.MsgBox(
                QStringLiteral("Sonavel Player is already running.\r\nCheck the tray icon."),
                MsgButtons::OK, MsgIcon::Information, QStringLiteral("Sonavel Player"));
        } else {
            dialogs.MsgBox(QStringLiteral("Creator is already running!"), MsgButtons::OK,
                           MsgIcon::Critical, QStringLiteral("Creator"));
        }
        return nullptr;
    }

    const QString fullName =
        player ? QStringLiteral("Sonavel Player") : QStringLiteral("Sonavel Creator");
    try {
        services->m_store = std::make_unique<SettingsStore>(DefaultSettingsPath());
    } catch (const StoreError& error) {
        ShowStoreFailure(dialogs, fullName, error.Path(), error.Reason());
        exitCode = 1;
        return nullptr;
    }

    const QString programFolder = DefaultProgramFolder();
    QDir().mkpath(programFolder);
    services->m_session = std::make_unique<Session>(product, programFolder, *services->m_store,
                                                    dialogs, services->m_clock);
    const QSizeF screen = ScreenSizeTwips();
    services->m_session->ScreenWidthTwips = screen.width();
    services->m_session->ScreenHeightTwips = screen.height();
    services->m_windows =
        std::make_unique<QtWindows>(*services->m_session, nullptr, services->m_printer.get());
    services->m_session->SetWindows(services->m_windows.get());
    return services;
}

}  // namespace sonavel
