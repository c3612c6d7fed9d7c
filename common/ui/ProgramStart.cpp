#include "ProgramStart.h"

#include "AboutForm.h"
#include "Paths.h"
#include "ProgramOpen.h"
#include "QtDialogs.h"
#include "QtTextPrinter.h"
#include "QtWindows.h"
#include "Twips.h"

#include <QCoreApplication>
#include <QDir>
#include <QIcon>
#include <QWidget>

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
    services->m_dialogs->SetProgramTitle(player ? QStringLiteral("Sonavel Player")
                                                : QStringLiteral("Sonavel Creator"));
    std::optional<OpenedProgram> opened = OpenProgram(
        product,
        RunningCopyLock::DefaultPath(player ? QStringLiteral("player") : QStringLiteral("creator")),
        DefaultSettingsPath(), dialogs, exitCode);
    if (!opened) return nullptr;
    services->m_lock = std::move(opened->lock);
    services->m_store = std::move(opened->store);

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

QIcon ProgramIcon(Product product) {
    const QString name = product == Product::Player ? QStringLiteral("org.sonavel.Player")
                                                    : QStringLiteral("org.sonavel.Creator");
    QIcon builtIn;
    for (const int size : {16, 32, 48, 64, 128, 256}) {
        builtIn.addFile(QStringLiteral(":/sonavel/icons/%1x%1/").arg(size) + name +
                        QStringLiteral(".png"));
    }
    return QIcon::fromTheme(name, builtIn);
}

WindowPlacement WidgetMainWindow::Placement() const {
    return ReadWindowPlacement(m_window);
}

void WidgetMainWindow::Place(const WindowPlacement& placement) {
    ApplyWindowPlacement(m_window, placement);
}

void WidgetMainWindow::ShowSplash() {
    AboutForm::ShowSplash(m_product, QCoreApplication::applicationVersion(), &m_window);
}

void WidgetMainWindow::ShowMain() {
    m_window.show();
}

}  // namespace sonavel
