#include "RtfCodec.h"

#include <QColor>
#include <QHash>
#include <QStringList>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace sonavel {
namespace {

// Windows-1252 bytes 0x80 to 0x9F; every other byte equals its Latin-1 code
// point. Bytes the code page leaves undefined read as the C1 control of the
// same value, as Windows does.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t FromCp1252(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80] : char16_t(byte);
}

// The code page byte of `c`, or -1 when the code page has none.
int ToCp1252(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return c;
    for (int i = 0; i < int(kCp1252High.size()); ++i)
        if (kCp1252High[i] == c) return 0x80 + i;
    return -1;
}

// ---------------------------------------------------------------- writing

struct Run {
    QString family;
    int halfPoints = 24;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    QColor color;  // invalid: the reader's default colour
    bool operator==(const Run&) const = default;
};

// Control characters and embedded objects have no text to keep.
bool IsDropped(char16_t c) {
    return (c < 0x20 && c != '\t') || c == QChar::ObjectReplacementCharacter;
}

// The family as the font table can carry it: without the characters the
// writer drops and the blanks around it, which the reader trims.
QString WrittenFamily(const QString& family) {
    QString written = family;
    written.removeIf([](QChar c) { return IsDropped(c.unicode()); });
    return written.trimmed();
}

Run RunOf(const QTextCharFormat& format, const QFont& base) {
    Run run;
    const QStringList families = format.property(QTextFormat::FontFamilies).toStringList();
    run.family = WrittenFamily(families.value(0));
    if (run.family.isEmpty()) run.family = WrittenFamily(base.family());
    qreal points = format.fontPointSize();
    if (points <= 0) points = base.pointSizeF() > 0 ? base.pointSizeF() : 12;
    run.halfPoints = qRound(points * 2);
    run.bold = format.fontWeight() >= QFont::DemiBold;
    run.italic = format.fontItalic();
    run.underline = format.fontUnderline();
    run.strike = format.fontStrikeOut();
    // As the colour table holds it: red, green and blue only.
    if (format.foreground().style() != Qt::NoBrush)
        run.color = QColor(format.foreground().color().rgb());
    return run;
}

template <typename List, typename T>
int IndexIn(List& list, const T& value) {
    const auto found = std::find(list.begin(), list.end(), value);
    if (found != list.end()) return int(found - list.begin());
    list.push_back(value);
    return int(list.size()) - 1;
}

// In the font table a semicolon ends the name, so one inside a name is
// written escaped, which the reader takes as part of the name.
enum class TextKind { Body, FontName };

void AppendText(QByteArray& out, const QString& text, TextKind kind = TextKind::Body) {
    for (const QChar qc : text) {
        const char16_t c = qc.unicode();
        if (c == '\\' || c == '{' || c == '}') {
            out += '\\';
            out += char(c);
        } else if (c == ';' && kind == TextKind::FontName) {
            out += "\\'3b";
        } else if (c == '\t') {
            out += "\\tab ";
        } else if (c == QChar::LineSeparator) {
            out += "\\line ";
        } else if (c >= 0x20 && c < 0x7F) {
            out += char(c);
        } else if (IsDropped(c)) {
            // Nothing: the reader would find no text in it.
        } else if (const int byte = ToCp1252(c); byte >= 0) {
            out += "\\'" + QByteArray::number(byte, 16).rightJustified(2, '0');
        } else {
            // Surrogate halves are written one by one; the reader joins them again.
            out += "\\u" + QByteArray::number(int(int16_t(c))) + '?';
        }
    }
}

// ---------------------------------------------------------------- reading

enum class Destination { Text, Skip, FontTable, ColorTable };

struct CharState {
    int font = 0;
    int halfPoints = 24;  // RTF's default size, 12 points
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    int color = 0;
    bool operator==(const CharState&) const = default;
};

struct GroupState {
    CharState chars;
    Destination destination = Destination::Text;
    int unicodeSkip = 1;
};

// Far deeper than any word processor nests; groups below it are dropped whole.
constexpr int kMaxDepth = 200;

class Reader {
  public:
    Reader(const QByteArray& rtf, QTextDocument& document) : m_in(rtf), m_cursor(&document) {}

    void Run() {
        while (m_pos < m_in.size() && !m_done) {
            const char c = m_in[m_pos++];
            if (c == '{') {
                OpenGroup();
            } else if (c == '}') {
                CloseGroup();
            } else if (m_ignoredDepth > 0) {
                if (c == '\\') ++m_pos;  // an escaped brace opens or closes nothing
            } else if (c == '\\') {
                ControlWord();
            } else if (uchar(c) >= 0x20 || c == '\t') {
                Char(FromCp1252(uchar(c)), From::Byte);
            }
        }
        Flush();
    }

  private:
    void OpenGroup() {
        m_skipChars = 0;
        if (m_ignoredDepth > 0 || int(m_stack.size()) >= kMaxDepth) {
            ++m_ignoredDepth;
            return;
        }
        m_stack.push_back(m_state);
    }

    void CloseGroup() {
        m_skipChars = 0;
        if (m_ignoredDepth > 0) {
            --m_ignoredDepth;
            return;
        }
        if (m_state.destination == Destination::FontTable) CommitFont();
        if (m_stack.empty()) {
            m_done = true;  // the closing brace of the whole document
            return;
        }
        m_state = m_stack.back();
        m_stack.pop_back();
    }

    void ControlWord() {
        if (m_pos >= m_in.size()) return;
        const char first = m_in[m_pos];
        if (!IsLetter(first)) {
            ++m_pos;
            ControlSymbol(first);
            return;
        }
        QByteArray word;
        while (m_pos < m_in.size() && IsLetter(m_in[m_pos])) {
            if (word.size() < 32) word += m_in[m_pos];
            ++m_pos;
        }
        bool hasParam = false;
        bool negative = false;
        int64_t value = 0;
        if (m_pos + 1 < m_in.size() && m_in[m_pos] == '-' && IsDigit(m_in[m_pos + 1])) {
            negative = true;
            ++m_pos;
        }
        while (m_pos < m_in.size() && IsDigit(m_in[m_pos])) {
            hasParam = true;
            // Saturate rather than overflow; every sensible value is far smaller.
            value = std::min<int64_t>(value * 10 + (m_in[m_pos] - '0'), INT32_MAX);
            ++m_pos;
        }
        if (m_pos < m_in.size() && m_in[m_pos] == ' ') ++m_pos;
        const int param = int(negative ? -value : value);
        if (word == "bin") {
            // Raw bytes follow; they may contain braces and must not be parsed.
            m_pos += std::clamp<qsizetype>(param, 0, m_in.size() - m_pos);
            return;
        }
        if (m_skipChars > 0) {
            --m_skipChars;
            return;
        }
        Word(word, hasParam, param);
    }

    void ControlSymbol(char symbol) {
        if (symbol == '\'') {
            int byte = 0;
            int digits = 0;
            for (; digits < 2 && m_pos < m_in.size() && HexValue(m_in[m_pos]) >= 0; ++digits)
                byte = byte * 16 + HexValue(m_in[m_pos++]);
            if (digits > 0) Char(FromCp1252(uchar(byte)), From::Escape);
        } else if (symbol == '*') {
            m_state.destination = Destination::Skip;
        } else if (symbol == '\\' || symbol == '{' || symbol == '}') {
            Char(char16_t(symbol), From::Escape);
        } else if (symbol == '~') {
            Char(0x00A0, From::Escape);
        } else if (symbol == '_') {
            Char(0x2011, From::Escape);
        } else if (symbol == '\r' || symbol == '\n') {
            Paragraph();
        } else if (m_skipChars > 0) {
            --m_skipChars;  // \- (optional hyphen) and unknown symbols add no text
        }
    }

    void Word(const QByteArray& word, bool hasParam, int param) {
        CharState& chars = m_state.chars;
        const bool on = !hasParam || param != 0;
        static const QHash<QByteArray, char16_t> kCharacters = {
            {"tab", '\t'},        {"cell", '\t'},     {"line", QChar::LineSeparator},
            {"emdash", 0x2014},   {"endash", 0x2013}, {"bullet", 0x2022},
            {"lquote", 0x2018},   {"rquote", 0x2019}, {"ldblquote", 0x201C},
            {"rdblquote", 0x201D}};
        // Destinations whose text is not part of the document's own text.
        static const QList<QByteArray> kSkipped =
            QByteArray(
                "stylesheet info pict header headerl headerr headerf footer footerl footerr "
                "footerf footnote object themedata colorschememapping datastore latentstyles "
                "listtable listoverridetable rsidtbl xmlnstbl generator fldinst filetbl revtbl "
                "annotation atnid atnauthor nonshppict shpinst pntext pntxta pntxtb bkmkstart "
                "bkmkend template docvar comment private")
                .split(' ');

        if (kSkipped.contains(word)) {
            m_state.destination = Destination::Skip;
        } else if (word == "fonttbl") {
            m_state.destination = Destination::FontTable;
        } else if (word == "colortbl") {
            m_state.destination = Destination::ColorTable;
        } else if (word == "u" && hasParam) {
            // Characters count in every destination: font names are text too.
            Char(char16_t(param < 0 ? param + 0x10000 : param), From::Unicode);
            m_skipChars = m_state.unicodeSkip;
        } else if (word == "uc") {
            m_state.unicodeSkip = std::clamp(param, 0, 16);
        } else if (kCharacters.contains(word)) {
            Char(kCharacters.value(word), From::Escape);
        } else if (m_state.destination == Destination::Skip) {
        } else if (m_state.destination == Destination::FontTable) {
            if (word == "f") m_fontNumber = param;
        } else if (m_state.destination == Destination::ColorTable) {
            const int level = std::clamp(param, 0, 255);
            if (word == "red") m_color.setRed(level);
            if (word == "green") m_color.setGreen(level);
            if (word == "blue") m_color.setBlue(level);
            if (word == "red" || word == "green" || word == "blue") m_colorSet = true;
        } else if (word == "par" || word == "row" || word == "sect" || word == "page") {
            Paragraph();
        } else if (word == "deff") {
            m_defaultFont = param;
            chars.font = param;
        } else if (word == "plain") {
            chars = CharState{};
            chars.font = m_defaultFont;
        } else if (word == "f") {
            chars.font = param;
        } else if (word == "fs") {
            chars.halfPoints = std::clamp(hasParam ? param : 24, 2, 3276);
        } else if (word == "b") {
            chars.bold = on;
        } else if (word == "i") {
            chars.italic = on;
        } else if (word == "strike" || word == "striked") {
            chars.strike = on;
        } else if (word == "ul" || word == "uld" || word == "uldb" || word == "ulw" ||
                   word == "ulth" || word == "ulwave" || word == "uldash") {
            chars.underline = on;
        } else if (word == "ulnone") {
            chars.underline = false;
        } else if (word == "cf") {
            chars.color = param;
        }
    }

    // Where a character came from: only a plain byte ends a font name or a
    // colour, and a \u character is never the fallback of the one before.
    enum class From { Byte, Escape, Unicode };

    void Char(char16_t c, From from) {
        if (from != From::Unicode && m_skipChars > 0) {
            --m_skipChars;
            return;
        }
        const bool ends = c == ';' && from == From::Byte;
        switch (m_state.destination) {
            case Destination::Text:
                if (!m_pending.isEmpty() && !(m_pendingChars == m_state.chars)) Flush();
                m_pendingChars = m_state.chars;
                m_pending += QChar(c);
                break;
            case Destination::FontTable:
                if (ends)
                    CommitFont();
                else
                    m_fontName += QChar(c);
                break;
            case Destination::ColorTable:
                if (ends) {
                    m_colors.push_back(m_colorSet ? m_color : QColor());
                    m_color = QColor(0, 0, 0);
                    m_colorSet = false;
                }
                break;
            case Destination::Skip:
                break;
        }
    }

    void CommitFont() {
        const QString name = m_fontName.trimmed();
        if (!name.isEmpty() && !m_fonts.contains(m_fontNumber)) m_fonts.insert(m_fontNumber, name);
        m_fontName.clear();
    }

    void Paragraph() {
        if (m_state.destination != Destination::Text) return;
        Flush();
        m_cursor.insertBlock();
    }

    void Flush() {
        if (m_pending.isEmpty()) return;
        QTextCharFormat format;
        const CharState& chars = m_pendingChars;
        if (m_fonts.contains(chars.font)) format.setFontFamilies({m_fonts.value(chars.font)});
        format.setFontPointSize(chars.halfPoints / 2.0);
        format.setFontWeight(chars.bold ? QFont::Bold : QFont::Normal);
        format.setFontItalic(chars.italic);
        format.setFontUnderline(chars.underline);
        format.setFontStrikeOut(chars.strike);
        if (chars.color > 0 && chars.color < int(m_colors.size()) &&
            m_colors[chars.color].isValid())
            format.setForeground(m_colors[chars.color]);
        m_cursor.insertText(m_pending, format);
        m_pending.clear();
    }

    static bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
    static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
    static int HexValue(char c) {
        if (IsDigit(c)) return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    const QByteArray& m_in;
    qsizetype m_pos = 0;
    bool m_done = false;
    QTextCursor m_cursor;
    std::vector<GroupState> m_stack;
    GroupState m_state;
    int m_ignoredDepth = 0;
    int m_skipChars = 0;
    int m_defaultFont = 0;
    QHash<int, QString> m_fonts;
    int m_fontNumber = 0;
    QString m_fontName;
    std::vector<QColor> m_colors;
    QColor m_color{0, 0, 0};
    bool m_colorSet = false;
    QString m_pending;
    CharState m_pendingChars;
};

}  // namespace

QByteArray ToRtf(const QTextDocument& document) {
    const QFont base = document.defaultFont();
    QStringList fonts;
    std::vector<QColor> colors{QColor()};  // index 0 stands for "no colour set"
    QByteArray body;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (block != document.begin()) body += "\\par\n";
        // Neighbours that differ only in what is not written share one group,
        // as the reader would join them.
        std::optional<Run> open;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            // A run of dropped characters only is not written: the reader
            // would find no text in it, and its font would change the table.
            QByteArray text;
            AppendText(text, fragment.text());
            if (text.isEmpty()) continue;
            const Run run = RunOf(fragment.charFormat(), base);
            if (open == run) {
                body.chop(1);
                body += text + '}';
                continue;
            }
            open = run;
            body += "{\\f" + QByteArray::number(IndexIn(fonts, run.family));
            body += "\\fs" + QByteArray::number(run.halfPoints);
            if (run.bold) body += "\\b";
            if (run.italic) body += "\\i";
            if (run.underline) body += "\\ul";
            if (run.strike) body += "\\strike";
            if (run.color.isValid())
                body += "\\cf" + QByteArray::number(IndexIn(colors, run.color));
            body += ' ' + text + '}';
        }
    }
    if (fonts.isEmpty()) fonts << WrittenFamily(base.family());

    QByteArray out = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\n{\\fonttbl";
    for (int i = 0; i < fonts.size(); ++i) {
        out += "{\\f" + QByteArray::number(i) + "\\fnil ";
        AppendText(out, fonts[i], TextKind::FontName);
        out += ";}";
    }
    out += "}\n{\\colortbl ;";
    for (size_t i = 1; i < colors.size(); ++i) {
        out += "\\red" + QByteArray::number(colors[i].red()) + "\\green" +
               QByteArray::number(colors[i].green()) + "\\blue" +
               QByteArray::number(colors[i].blue()) + ';';
    }
    out += "}\n" + body + "}\n";
    return out;
}

bool FromRtf(const QByteArray& rtf, QTextDocument& document) {
    if (!rtf.startsWith("{\\rtf")) return false;
    document.clear();
    // The opening brace belongs to the document group, which the reader's
    // outermost state stands for.
    const QByteArray inner = rtf.mid(1);
    Reader(inner, document).Run();
    return true;
}

}  // namespace sonavel
