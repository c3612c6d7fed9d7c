#pragma once

#include <QString>

class QLabel;
class QStatusBar;

namespace sonavel {

// Our texts and files break lines with CR LF; the widgets are given plain line
// feeds so that none of them shows the CR as a character or a line of its own.
inline QString WithLineFeeds(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

// A sunken panel of a main window's status bar; stretch 0 puts it at the right
// end at its natural width.
QLabel* AddStatusPanel(QStatusBar* bar, const char* name, const QString& text, const char* tip,
                       int stretch);

}  // namespace sonavel
