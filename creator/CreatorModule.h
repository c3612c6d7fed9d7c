#pragma once

#include "ClockEditor.h"
#include "Session.h"

#include <functional>

namespace sonavel {

// What the closing main window offers the shut-down.
struct ClosingWindow {
    WindowPlacement placement;            // as it is now, in twips
    std::function<void()> restoreNormal;  // un-minimise
    std::function<void()> closeSecondaryWindows;
};

// Creator's shut-down when its main window is asked to close. True when the
// window may close; false when the operator keeps it open (No to leaving, or
// Cancel to saving the clock; the settings are written in that case too).
bool CreatorShutdown(Session& session, ClockEditor& editor, const ClosingWindow& window);

}  // namespace sonavel
