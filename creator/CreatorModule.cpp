#include "CreatorModule.h"

#include "CommonModule.h"
#include "RecentFiles.h"

namespace sonavel {

bool StartCreator(Session& session, ClockEditor& editor, MainWindow& window, NamedEntries& entries,
                  int& exitCode) {
    if (!ReadSettingsAtStart(session, exitCode)) return false;

    // The stored size and place only count for a normal window; otherwise the
    // window keeps its own and takes the state alone.
    WindowPlacement placement = window.Placement();
    placement.WindowState = session.Creator.Window.WindowState;
    if (placement.WindowState == 0) placement = session.Creator.Window;
    window.Place(placement);
    if (session.Creator.DisplaySplash) window.ShowSplash();
    window.ShowMain();

    editor.Saved = true;
    editor.DefaultClockLoaded = editor.LoadDefaultClock();
    ReadRecentFiles(session, QStringLiteral("Creator"), entries);
    return true;
}

bool CreatorShutdown(Session& session, ClockEditor& editor, const ClosingWindow& window) {
    if (ConfirmExit(session) == MsgResult::No) return false;

    // A Save As that was cancelled or failed keeps the program open as
    // Cancel does: the edits exist nowhere but in the pane.
    const bool stay = !editor.OfferToSave();

    WindowPlacement placement = window.placement;
    if (placement.WindowState == 1) {
        if (window.restoreNormal) window.restoreNormal();
        placement.WindowState = 0;
    }
    if (session.Creator.SaveSettingsOnExit) {
        // A maximised window keeps the normal size it will come back to.
        WindowPlacement& stored = session.Creator.Window;
        stored.WindowState = placement.WindowState;
        if (placement.WindowState == 0) stored = placement;
        WriteRegistry(session);
    }
    if (window.closeSecondaryWindows) window.closeSecondaryWindows();
    return !stay;
}

}  // namespace sonavel
