#pragma once

#include <functional>

class QAbstractButton;
class QWidget;

namespace sonavel {

// The keys of a dialog box for a window that is not a QDialog (one that
// closes itself its own way, or must refuse to close while it works):
// Return and Enter press the focused push button, or else the window's
// default button, and nothing while that one is disabled or hidden; Escape
// does what `escape` does. Keys a control of the window uses itself stay
// the control's.
void UseDialogKeys(QWidget* window, std::function<void()> escape);
// Escape presses `cancel` (the window's Cancel or Close), unless it is
// disabled or hidden.
void UseDialogKeys(QWidget* window, QAbstractButton* cancel);

}  // namespace sonavel
