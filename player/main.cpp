#include "AboutForm.h"
#include "CommonModule.h"
#include "ProgramStart.h"

#include <QApplication>
#include <QWidget>
#include <algorithm>

using namespace sonavel;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Sonavel Player"));
    QApplication::setApplicationVersion(QStringLiteral(SONAVEL_VERSION));

    int exitCode = 0;
    auto services = ProgramServices::Start(Product::Player, exitCode);
    if (!services) return exitCode;
    Session& session = services->GetSession();
    if (!ReadPlayerSettings(session)) return 0;
    if (session.Player.DisplaySplash)
        AboutForm::ShowSplash(Product::Player, QStringLiteral(SONAVEL_VERSION));

    // Until the main window stands, the program shows its own settings and
    // ends when that window is closed.
    DisplayCurrentSettings(session);
    const auto windows = QApplication::topLevelWidgets();
    const bool shown = std::any_of(windows.begin(), windows.end(),
                                   [](const QWidget* w) { return w->isVisible(); });
    return shown ? QApplication::exec() : 0;
}
