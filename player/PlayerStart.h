#pragma once

#include "Windows.h"

#include <QString>

namespace sonavel {

class PlayerEngine;
class Session;

// Player's main window as its start-up drives it; the engine reaches the same
// window as a PlayerWindow. A run without windows implements it with nothing
// to show.
class PlayerMainWindow : public MainWindow {
  public:
    virtual void SetApplicationLabel(const QString& text) = 0;
    // To the tray; where the desktop has no tray, minimised.
    virtual void HidePlayer() = 0;
    virtual void SetTrayTip(const QString& tip) = 0;
};

enum class PlayerStartKind {
    Window,
    // On air without a window: automatic selection whatever the window was
    // last set to; the stored settings are not touched.
    OnAir,
};

// Player's start-up on a window and engine already built (the second-copy
// check and the store come before). True when the program goes on running;
// false when it ends now with exitCode: 0 after first-time use, an aborted
// start-up or an exit the operator confirmed while the first element was
// being loaded; 1 when the store failed (its message, naming the file, has
// been shown).
bool StartPlayer(Session& session, PlayerEngine& engine, PlayerMainWindow& window, int& exitCode,
                 PlayerStartKind kind = PlayerStartKind::Window);

}  // namespace sonavel
