#include "PlayerStart.h"

#include "AboutForm.h"
#include "CommonModule.h"
#include "ErrorModule.h"
#include "PlayerForm.h"
#include "PlayerModule.h"
#include "Session.h"
#include "Twips.h"

#include <QApplication>

namespace sonavel {

namespace {

// The start-up steps in their order. Each step is trapped on its own, and
// none runs once the operator has confirmed an exit: the first element's
// load serves the window's events, so an exit can come at any point.
bool StartUp(Session& session, PlayerForm& form, PlayerEngine& engine, const QString& version,
             int& exitCode) {
    bool firstUse = false;
    ErrorTrap trap(session, QStringLiteral("Main"));
    const auto step = [&](const std::function<void()>& statement) {
        if (!form.IsUnloaded()) trap(statement);
    };
    const bool started = trap.Run([&] {
        step([&] { form.SetApplicationLabel(session.FullName()); });
        // A store that fails here ends the program with its message naming the
        // file (exit status 1), never with an Abort/Retry/Ignore box.
        step([&] { firstUse = !ReadSettingsAtStart(session, exitCode); });
        // First-time use has asked for a restart, or the store failed.
        if (firstUse) return;
        step([&] { engine.ApplySettings(); });
        step([&] { LogEvent(session, QStringLiteral("Program Loaded")); });
        if (session.Player.DisplaySplash) {
            step([&] { AboutForm::ShowSplash(Product::Player, version, &form); });
        }
        step([&] {
            const WindowPlacement& stored = session.Player.Window;
            if (stored.Width > 0 && stored.Height > 0) {
                WindowPlacement normal = stored;
                normal.WindowState = 0;
                ApplyWindowPlacement(form, normal);
            }
        });
        const bool startHidden = session.Player.StartHidden;
        step([&] {
            if (startHidden) {
                form.HidePlayer();
            } else {
                form.ShowPlayer();
            }
        });
        step([&] { engine.SetPlayListNotLoaded(); });
        step([&] { engine.DisablePlayer(1); });
        step([&] { engine.DisablePlayer(2); });
        step([&] { form.SetTrayTip(QStringLiteral("Sonavel Player")); });
        if (engine.AutomaticMode) {
            step([&] {
                if (engine.GetCurrentHourPlaylist()) engine.StartPlaylist();
            });
        } else {
            step([&] { engine.SetPlayListNotLoaded(); });
            step([&] { engine.ShowRecentFiles(); });
        }
        if (!startHidden) step([&] { form.ShowPlayer(); });
    });
    return started && !firstUse;
}

}  // namespace

int RunPlayer(Session& session, PlayerForm& form, PlayerEngine& engine, const QString& version) {
    // Queued: the shut-down finishes its own work before the loop is left.
    const QMetaObject::Connection quit = QObject::connect(
        &form, &PlayerForm::Unloaded, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    int exitCode = 0;
    const bool started = StartUp(session, form, engine, version, exitCode);
    // A quit asked for before the loop runs is lost by the loop; the window
    // knows it was unloaded.
    int result = exitCode;
    if (started && !form.IsUnloaded()) result = QApplication::exec();
    QObject::disconnect(quit);
    return result;
}

}  // namespace sonavel
