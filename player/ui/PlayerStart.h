#pragma once

#include <QString>

namespace sonavel {

class PlayerEngine;
class PlayerForm;
class Session;

// Player's start-up on a window and engine already built (the second-copy
// check and the services come before), then its event loop until the window
// has been unloaded. Returns the loop's result, 0 when the program ended
// before the loop ran: first-time use, an aborted start-up, or an exit the
// operator confirmed while the first element was being loaded.
int RunPlayer(Session& session, PlayerForm& form, PlayerEngine& engine, const QString& version);

}  // namespace sonavel
