#include "QtPrinters.h"
#include "RtfCodec.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

using namespace sonavel;

namespace {

// Block texts joined by '\n'; unlike toPlainText it keeps no-break spaces and
// line separators, which the codec must carry through.
QString Text(const QTextDocument& document) {
    QStringList blocks;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        blocks << block.text();
    return blocks.join('\n');
}

QTextCharFormat FormatAt(const QTextDocument& document, int position) {
    QTextCursor cursor(const_cast<QTextDocument*>(&document));
    cursor.setPosition(position + 1);
    return cursor.charFormat();
}

// One line per character, naming every format property the codec keeps.
QStringList Formats(const QTextDocument& document) {
    QStringList lines;
    const QString text = document.toRawText();
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] == QChar::ParagraphSeparator) continue;
        const QTextCharFormat f = FormatAt(document, i);
        const bool colored = f.foreground().style() != Qt::NoBrush;
        lines << QString("%1 %2 %3 b%4 i%5 u%6 s%7 %8")
                     .arg(text[i])
                     .arg(f.property(QTextFormat::FontFamilies).toStringList().value(0))
                     .arg(f.fontPointSize())
                     .arg(f.fontWeight() >= QFont::Bold)
                     .arg(f.fontItalic())
                     .arg(f.fontUnderline())
                     .arg(f.fontStrikeOut())
                     .arg(colored ? f.foreground().color().name() : "auto");
    }
    return lines;
}

}  // namespace

TEST(RtfCodecTest, RoundTripKeepsTextAndCharacterFormats) {
    QTextDocument original;
    QTextCursor cursor(&original);
    auto insert = [&](const QString& text, const QString& family, qreal points, auto&& tweak) {
        QTextCharFormat format;
        format.setFontFamilies({family});
        format.setFontPointSize(points);
        tweak(format);
        cursor.insertText(text, format);
    };
    auto plain = [](QTextCharFormat&) {};
    insert("Top of hour ", "Arial", 12, plain);
    insert("red bold italic", "Arial", 12, [](QTextCharFormat& f) {
        f.setForeground(QColor(200, 10, 20));
        f.setFontWeight(QFont::Bold);
        f.setFontItalic(true);
    });
    insert(" under", "Courier New", 18, [](QTextCharFormat& f) { f.setFontUnderline(true); });
    insert(" struck", "Courier New", 10.5, [](QTextCharFormat& f) {
        f.setFontStrikeOut(true);
        f.setForeground(QColor(0, 128, 0));
    });
    cursor.insertBlock();
    cursor.insertBlock();
    insert("Café 5€ 中 \U0001F600\tC:\\path {x}", "Arial", 12, plain);
    insert(QString("again red") + QChar(QChar::LineSeparator) + "end", "Arial", 12,
           [](QTextCharFormat& f) { f.setForeground(QColor(200, 10, 20)); });
    cursor.insertBlock();
    cursor.insertBlock();

    const QByteArray rtf = ToRtf(original);
    for (const char c : rtf)
        ASSERT_TRUE(c > 0) << "RTF must be 7-bit: " << rtf.constData();
    EXPECT_TRUE(rtf.startsWith("{\\rtf1\\ansi\\ansicpg1252"));
    for (const char* piece : {"Caf\\'e9", "5\\'80", "\\u20013?", "\\tab", "C:\\\\path \\{x\\}"})
        EXPECT_TRUE(rtf.contains(piece)) << piece << " missing in " << rtf.constData();

    QTextDocument copy;
    ASSERT_TRUE(FromRtf(rtf, copy));
    EXPECT_EQ(Text(copy), Text(original));
    EXPECT_EQ(copy.blockCount(), 5);
    EXPECT_EQ(Formats(copy), Formats(original));
    EXPECT_EQ(ToRtf(copy), rtf);
}

TEST(RtfCodecTest, FontNamesOfAnyScriptSurviveRoundTrips) {
    QTextDocument original;
    QTextCursor cursor(&original);
    for (const QString& family :
         {QString("Noto Sans CJK 中文"), QString("Tab\tFace"), QString("Semi;colon"),
          QString("Ünïcödé € \\{x}"), QString("Line\u2028Face"), QString("Emoji \U0001F600")}) {
        QTextCharFormat format;
        format.setFontFamilies({family});
        format.setFontPointSize(12);
        cursor.insertText(family.left(3), format);
    }
    const QByteArray rtf = ToRtf(original);
    QTextDocument copy;
    ASSERT_TRUE(FromRtf(rtf, copy));
    EXPECT_EQ(Formats(copy), Formats(original));
    EXPECT_EQ(ToRtf(copy), rtf);

    // As word processors write them: Unicode escapes with their fallbacks,
    // and an escaped semicolon that belongs to the name.
    ASSERT_TRUE(
        FromRtf("{\\rtf1{\\fonttbl{\\f0\\fnil\\fcharset134 \\u23435?\\u20307?;}"
                "{\\f1 A\\'3bB;}}\\f0 x\\f1 y}",
                copy));
    EXPECT_EQ(FormatAt(copy, 0).fontFamilies().toStringList(), QStringList{"宋体"});
    EXPECT_EQ(FormatAt(copy, 1).fontFamilies().toStringList(), QStringList{"A;B"});
}

TEST(RtfCodecTest, RunsOfDroppedCharactersLeaveNoTrace) {
    QTextDocument original;
    QTextCursor cursor(&original);
    QTextCharFormat ghost;
    ghost.setFontFamilies({"Ghost Face"});
    ghost.setForeground(QColor(1, 2, 3));
    QTextCharFormat plain;
    plain.setFontFamilies({"Arial"});
    cursor.insertText(QString("\x01\x02") + QChar(QChar::ObjectReplacementCharacter), ghost);
    cursor.insertText("kept", plain);
    cursor.insertBlock();
    cursor.insertText("\x03", ghost);

    const QByteArray rtf = ToRtf(original);
    EXPECT_FALSE(rtf.contains("Ghost")) << rtf.constData();
    EXPECT_FALSE(rtf.contains("\\red1")) << rtf.constData();
    QTextDocument copy;
    ASSERT_TRUE(FromRtf(rtf, copy));
    EXPECT_EQ(Text(copy), "kept\n");
    EXPECT_EQ(ToRtf(copy), rtf);
}

TEST(RtfCodecTest, NeighboursTheFileCannotTellApartShareOneRun) {
    QTextDocument original;
    QTextCursor cursor(&original);
    QTextCharFormat format;
    format.setFontFamilies({"Arial"});
    format.setFontPointSize(12);
    format.setForeground(QColor::fromHsv(0, 255, 255));
    cursor.insertText("one ", format);
    format.setFontWeight(QFont::Light);
    format.setFontPointSize(12.1);
    format.setForeground(QColor(255, 0, 0, 128));
    cursor.insertText("two", format);

    const QByteArray rtf = ToRtf(original);
    EXPECT_TRUE(rtf.contains("\\cf1 one two}")) << rtf.constData();
    QTextDocument copy;
    ASSERT_TRUE(FromRtf(rtf, copy));
    EXPECT_EQ(ToRtf(copy), rtf);
}

TEST(RtfCodecTest, ReadsWordProcessorFiles) {
    const QByteArray rtf =
        "{\\rtf1\\ansi\\ansicpg1252\\deff0\\nouicompat\\deflang1033"
        "{\\fonttbl{\\f0\\fnil\\fcharset0 Calibri;}"
        "{\\f1\\froman\\fprq2 Times New Roman{\\*\\falt Times};}}\r\n"
        "{\\colortbl ;\\red255\\green0\\blue0;}\r\n"
        "{\\stylesheet{ Normal;}{\\s1 heading 1;}}"
        "{\\info{\\title Hidden title}{\\author Nobody}}\r\n"
        "{\\*\\generator Riched20 10.0.19041;}\\viewkind4\\uc1 \r\n"
        "\\pard\\sa200\\sl276\\slmult1\\f0\\fs22\\lang9 Plain {\\b Bold {\\i both}} after\\par\r\n"
        "\\pard\\plain\\f1 Caf\\'e9 costs 5\\uc1\\u8364? and {\\uc2\\u8364\\'80\\'80} "
        "again\\par\r\n"
        "Tab\\tab here\\~nbsp\\-soft\\_hard\\line next\\par\r\n"
        "{\\header Header text\\par}{\\*\\unknown skipped}{\\pict\\wmetafile8 0a0b{0c}}"
        "{\\*\\blipuid 00}\\cf1 red \\cf0\\b\\b0\\ul\\ulnone x\\par\r\n"
        "}";
    QTextDocument document;
    ASSERT_TRUE(FromRtf(rtf, document));
    EXPECT_EQ(Text(document).toStdString(), QString("Plain Bold both after\n"
                                                    "Café costs 5€ and € again\n"
                                                    "Tab\there\u00A0nbspsoft\u2011hard\u2028next\n"
                                                    "red x\n")
                                                .toStdString());

    const QString text = document.toRawText();
    auto at = [&](const QString& word) { return FormatAt(document, text.indexOf(word)); };
    EXPECT_FALSE(at("Plain").fontWeight() >= QFont::Bold);
    EXPECT_TRUE(at("Bold").fontWeight() >= QFont::Bold);
    EXPECT_FALSE(at("Bold").fontItalic());
    EXPECT_TRUE(at("both").fontWeight() >= QFont::Bold);
    EXPECT_TRUE(at("both").fontItalic());
    EXPECT_FALSE(at("after").fontWeight() >= QFont::Bold);
    EXPECT_EQ(at("Plain").fontFamilies().toStringList(), QStringList{"Calibri"});
    EXPECT_EQ(at("Plain").fontPointSize(), 11);
    EXPECT_EQ(at("Caf").fontFamilies().toStringList(), QStringList{"Times New Roman"});
    EXPECT_EQ(at("Caf").fontPointSize(), 12);
    EXPECT_EQ(at("red").foreground().color(), QColor(255, 0, 0));
    EXPECT_EQ(at("x").foreground().style(), Qt::NoBrush);
    EXPECT_FALSE(at("x").fontWeight() >= QFont::Bold);
    EXPECT_FALSE(at("x").fontUnderline());
}

TEST(RtfCodecTest, RefusesNonRtfAndSurvivesDamagedInput) {
    QTextDocument document;
    document.setPlainText("kept");
    for (const QByteArray& notRtf :
         {QByteArray(), QByteArray("Mon0700"), QByteArray("{\\rt"), QByteArray(" {\\rtf1 x}")}) {
        EXPECT_FALSE(FromRtf(notRtf, document)) << notRtf.constData();
        EXPECT_EQ(document.toPlainText(), "kept");
    }

    EXPECT_TRUE(FromRtf("{\\rtf1 one}} two}", document));
    EXPECT_EQ(Text(document), "one");
    EXPECT_TRUE(FromRtf("{\\rtf1 {{{ open", document));
    EXPECT_EQ(Text(document), " open");
    const QByteArray deep = "{\\rtf1 " + QByteArray(10000, '{') + "x" + QByteArray(10000, '}');
    EXPECT_TRUE(FromRtf(deep + " tail}", document));
    EXPECT_TRUE(Text(document).endsWith(" tail"));
    for (const char* damaged :
         {"{\\rtf1 \\u99999999999", "{\\rtf1 \\u-99999999999 x", "{\\rtf1 \\fs99999999999 x",
          "{\\rtf1 \\bin99999999999", "{\\rtf1 \\'", "{\\rtf1 \\'z", "{\\rtf1 \\",
          "{\\rtf1 {\\colortbl\\red999;}\\cf99999 x", "{\\rtf1 {\\fonttbl\\f-5 A",
          "{\\rtf1 \\uc99"})
        EXPECT_TRUE(FromRtf(damaged, document)) << damaged;

    // Every truncation of a real file, then random soup of RTF's own bytes.
    QTextDocument source;
    source.setPlainText("Café {5€}\n中\tx");
    const QByteArray whole = ToRtf(source);
    for (int length = 5; length < whole.size(); ++length)
        EXPECT_TRUE(FromRtf(whole.left(length), document));
    QRandomGenerator random(7);
    const QByteArray alphabet = "{}\\'*;-? ub0123456789afx\r\n\x80\xff";
    for (int round = 0; round < 2000; ++round) {
        QByteArray soup = "{\\rtf1";
        for (int i = random.bounded(60); i > 0; --i)
            soup += alphabet[random.bounded(alphabet.size())];
        FromRtf(soup, document);
    }
}
