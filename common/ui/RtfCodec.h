#pragma once

#include <QByteArray>

class QTextDocument;

namespace sonavel {

// Rich-text clocks are stored as RTF so that word processors can open them and
// clocks written by word processors can be loaded. Qt reads and writes no RTF,
// hence this small codec of our own.

// RTF 1 in the Windows-1252 code page. Each character run keeps its font
// family (in any script; blanks around the name aside), point size, bold,
// italic, underline, strike-through and text colour; paragraph alignment,
// indents, images and tables are not written, nor are control characters.
// What the reader makes of the writer's output is written again unchanged.
QByteArray ToRtf(const QTextDocument& document);

// Replaces the document's content with the text of `rtf` and the character
// formats ToRtf writes. Whatever else a word processor put in the file is
// skipped, so its plain text is always read. Returns false, leaving the
// document as it was, when `rtf` does not begin with "{\rtf". Damaged input
// gives whatever text could be read before the damage.
bool FromRtf(const QByteArray& rtf, QTextDocument& document);

}  // namespace sonavel
