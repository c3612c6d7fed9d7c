#pragma once

#include "ClockEditor.h"
#include "NamedEntries.h"
#include "Session.h"
#include "Windows.h"

#include <functional>

namespace sonavel {

// Creator's start-up on its main window, built with the keyword pane filled
// (the second-copy check and the store come before): the settings read, the
// window placed and shown, the default clock loaded and the recent clocks
// listed in entries. True when the program goes on; false when it ends now
// with exitCode: 0 after first-time use, 1 when the store failed (its
// message, naming the file, has been shown).
bool StartCreator(Session& session, ClockEditor& editor, MainWindow& window, NamedEntries& entries,
                  int& exitCode);

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
