#pragma once

#include <QString>

namespace sonavel {

// Our texts and files break lines with CR LF; the widgets are given plain line
// feeds so that none of them shows the CR as a character or a line of its own.
inline QString WithLineFeeds(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

}  // namespace sonavel
