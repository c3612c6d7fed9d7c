#include "FuzzSupport.h"
#include "RtfCodec.h"

#include <QColor>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <memory>
#include <vector>

// Clocks come back from word processors in whatever shape those left them, and
// the clock editor saves what it read. So: any file is read without harm, and
// what the codec writes reads back to the same document, once and again.
//
// An input that begins "{\rtf" is read as a file. Any other input builds a
// document: UTF-16 text in runs separated by U+001E, each run being
// "family U+001F text U+001F flags", so the fuzzer also chooses font names,
// sizes and colours as an operator would in the editor.

using namespace sonavel;
using sonavel::fuzz::Fail;

namespace {

bool DroppedByWriter(QChar c) {
    return (c.unicode() < 0x20 && c != QLatin1Char('\t')) || c == QChar::ObjectReplacementCharacter;
}

QString WithoutDropped(QString text) {
    text.removeIf(DroppedByWriter);
    return text;
}

// Block texts joined by '\n', each as the writer keeps it.
QString KeptText(const QTextDocument& document) {
    QStringList blocks;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        blocks << WithoutDropped(block.text());
    return blocks.join(QLatin1Char('\n'));
}

QTextDocument* ReadBack(const QByteArray& rtf) {
    auto* document = new QTextDocument;
    if (!FromRtf(rtf, *document)) Fail("the writer's own output was refused", rtf);
    return document;
}

struct BuiltRun {
    QString family;
    QString text;
};

// The document an operator could have typed; returns the runs it holds.
std::vector<BuiltRun> Build(const QByteArray& bytes, QTextDocument& document) {
    QString all;
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
        all += QChar(char16_t(uchar(bytes[i]) | uchar(bytes[i + 1]) << 8));
    std::vector<BuiltRun> runs;
    QTextCursor cursor(&document);
    for (const QString& piece : all.split(QChar(0x1E))) {
        const QStringList parts = piece.split(QChar(0x1F));
        const QString family = parts.value(0);
        const QString text = parts.value(1);
        const uint flags = parts.value(2).isEmpty() ? 0 : parts.value(2).front().unicode();
        QTextCharFormat format;
        if (!family.isEmpty()) format.setFontFamilies({family});
        format.setFontPointSize(1 + (flags >> 8 & 0x7F) / 2.0);
        format.setFontWeight(flags & 1 ? QFont::Bold : QFont::Normal);
        format.setFontItalic(flags & 2);
        format.setFontUnderline(flags & 4);
        format.setFontStrikeOut(flags & 8);
        if (flags & 16) format.setForeground(QColor::fromRgb(QRgb(0x9B30D1 * (flags >> 5))));
        cursor.insertText(text, format);
        runs.push_back({family, text});
    }
    return runs;
}

// Characters the document turns into a paragraph break as they are inserted.
bool IsBreak(QChar c) {
    return c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar::ParagraphSeparator ||
           c.unicode() == 0xFDD0 || c.unicode() == 0xFDD1;
}

// A family name the writer is expected to keep exactly: one a font could have.
bool PlainFamily(const QString& family) {
    return !family.isEmpty() && family == family.trimmed() &&
           std::none_of(family.begin(), family.end(), [](QChar c) {
               return DroppedByWriter(c) || c.isSurrogate() || IsBreak(c);
           });
}

// Each run's characters carry the run's family in the copy.
void CheckFamilies(const std::vector<BuiltRun>& runs, QTextDocument& copy, const QByteArray& rtf) {
    QTextCursor cursor(&copy);
    int position = 0;
    for (const BuiltRun& run : runs) {
        for (const QChar c : run.text) {
            // Line ends became paragraph breaks as the run was inserted.
            if (DroppedByWriter(c) && !IsBreak(c)) continue;
            ++position;
            if (IsBreak(c) || c.isSurrogate() || !PlainFamily(run.family)) continue;
            cursor.setPosition(position);
            const QString got =
                cursor.charFormat().property(QTextFormat::FontFamilies).toStringList().value(0);
            if (got != run.family)
                Fail("a font name changed on the way", run.family + " -> " + got + "\n" + rtf);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::EnsureApplication(true);
    const QByteArray input = fuzz::Bytes(data, size);
    QTextDocument original;
    std::vector<BuiltRun> runs;
    if (input.startsWith("{\\rtf")) {
        if (!FromRtf(input, original)) Fail("a file beginning {\\rtf was refused");
    } else {
        runs = Build(input, original);
    }

    const QByteArray first = ToRtf(original);
    for (const char c : first)
        if (c <= 0) Fail("the writer wrote a byte above 7 bits", first);
    std::unique_ptr<QTextDocument> copy(ReadBack(first));
    if (KeptText(*copy) != KeptText(original))
        Fail("the text changed on the way", KeptText(original) + " -> " + KeptText(*copy));
    const QByteArray second = ToRtf(*copy);
    if (second != first) Fail("a second round trip changed the file", first + "\n->\n" + second);
    if (!runs.empty()) CheckFamilies(runs, *copy, first);
    return 0;
}
