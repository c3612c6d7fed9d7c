#include "CreatorModule.h"

#include "CommonModule.h"

namespace sonavel {

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
