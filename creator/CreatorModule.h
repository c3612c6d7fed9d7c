#pragma once

#include "ClockEditor.h"
#include "EditorWindow.h"
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

// What a shut-down by a signal did with the edit pane's unsaved clock.
struct KeptClock {
    QString file;     // the recovery file; empty when nothing needed keeping or it failed
    QString problem;  // why it could not be kept, or why the next start cannot name it
};

// Creator's shut-down when the system ends it (SIGTERM, SIGINT, SIGHUP):
// nothing is asked and no box is shown, since nobody may be there to answer;
// errors go to the error log. A clock with unsaved changes is written to a
// recovery file in the program folder, which the next start names, and the
// settings are saved as at any exit.
KeptClock CreatorShutdownOnSignal(Session& session, ClockEditor& editor, EditorWindow& pane,
                                  const ClosingWindow& window);

// The recovery files kept by shut-downs on a signal since the last start, in
// one box; each is named once.
void NameRecoveredClocks(Session& session);

// Creator's shut-down when its main window is asked to close. True when the
// window may close; false when the operator keeps it open (No to leaving, or
// Cancel to saving the clock; the settings are written in that case too).
bool CreatorShutdown(Session& session, ClockEditor& editor, const ClosingWindow& window);

}  // namespace sonavel
