#include "PlayerStart.h"

#include "CommonModule.h"
#include "ErrorModule.h"
#include "PlayerModule.h"
#include "Session.h"

#include <functional>

namespace sonavel {

bool StartPlayer(Session& session, PlayerEngine& engine, PlayerMainWindow& window, int& exitCode,
                 PlayerStartKind kind) {
    exitCode = 0;
    bool settingsRead = false;
    // Each step is trapped on its own, and none runs once the operator has
    // confirmed an exit: the first element's load serves the window's events,
    // so an exit can come at any point.
    ErrorTrap trap(session, QStringLiteral("Main"));
    const auto step = [&](const std::function<void()>& statement) {
        if (!engine.Ended()) trap(statement);
    };
    const bool ran = trap.Run([&] {
        step([&] { window.SetApplicationLabel(session.FullName()); });
        // A store that fails here ends the program with its message naming the
        // file (exit status 1), never with an Abort/Retry/Ignore box.
        step([&] { settingsRead = ReadSettingsAtStart(session, exitCode); });
        // First-time use has asked for a restart, or the store failed.
        if (!settingsRead) return;
        if (kind == PlayerStartKind::OnAir) {
            session.Player.Manual = false;
            session.Player.Automatic = true;
        }
        step([&] { engine.ApplySettings(); });
        step([&] { LogEvent(session, QStringLiteral("Program Loaded")); });
        if (session.Player.DisplaySplash) step([&] { window.ShowSplash(); });
        step([&] {
            // The window comes back at its stored size and place, always normal.
            WindowPlacement stored = session.Player.Window;
            if (stored.Width > 0 && stored.Height > 0) {
                stored.WindowState = 0;
                window.Place(stored);
            }
        });
        const bool startHidden = session.Player.StartHidden;
        step([&] {
            if (startHidden) {
                window.HidePlayer();
            } else {
                window.ShowMain();
            }
        });
        step([&] { engine.SetPlayListNotLoaded(); });
        step([&] { engine.DisablePlayer(1); });
        step([&] { engine.DisablePlayer(2); });
        step([&] { window.SetTrayTip(QStringLiteral("Sonavel Player")); });
        if (engine.AutomaticMode) {
            step([&] {
                if (engine.GetCurrentHourPlaylist()) engine.StartPlaylist();
            });
        } else {
            step([&] { engine.SetPlayListNotLoaded(); });
            step([&] { engine.ShowRecentFiles(); });
        }
        if (!startHidden) step([&] { window.ShowMain(); });
    });
    return ran && settingsRead && !engine.Ended();
}

}  // namespace sonavel
