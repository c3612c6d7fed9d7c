// The help pages as a station meets them: every link and picture leads
// somewhere in the pages themselves, every page can be reached from the
// contents, every window of both programs has its section with a picture, and
// every text the pages quote as the programs' own (a message, a log line, a
// caption) is one the programs really show.
//
// Quoted texts are marked class="msg" (messages and log lines) or class="ui"
// (captions, titles, menu entries; their access-key "&" left out). Inside
// them, <var>...</var> stands for a part the program fills in (a path, a
// name, a number) and <br> for a line break; nothing else may be there.

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <map>
#include <set>
#include <vector>

namespace {

const QString kSource = QStringLiteral(SONAVEL_SOURCE_DIR);
const QString kHelp = kSource + QStringLiteral("/docs/help");

QString Read(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll());
}

struct Page {
    QString name;  // relative to the help folder
    QString html;
};

const std::vector<Page>& Pages() {
    static const std::vector<Page> pages = [] {
        std::vector<Page> found;
        QDirIterator it(kHelp, {QStringLiteral("*.html")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            found.push_back({QDir(kHelp).relativeFilePath(path), Read(path)});
        }
        return found;
    }();
    return pages;
}

QString Decode(QString text) {
    static const std::pair<const char*, const char*> kEntities[] = {
        {"&lt;", "<"},   {"&gt;", ">"},   {"&quot;", "\""}, {"&#39;", "'"},
        {"&apos;", "'"}, {"&nbsp;", " "}, {"&amp;", "&"}};
    for (const auto& [entity, character] : kEntities)
        text.replace(QLatin1String(entity), QLatin1String(character));
    return text;
}

// The values of one attribute on every tag of a page.
QStringList AttributeValues(const QString& html, const QString& attribute) {
    const QRegularExpression pattern(QStringLiteral("\\s%1\\s*=\\s*\"([^\"]*)\"").arg(attribute));
    QStringList values;
    for (auto match = pattern.globalMatch(html); match.hasNext();)
        values << Decode(match.next().captured(1));
    return values;
}

QSet<QString> Ids(const QString& html) {
    const QStringList ids = AttributeValues(html, QStringLiteral("id"));
    return {ids.begin(), ids.end()};
}

// ---------------------------------------------------------------------------
// The texts of the programs: every string literal of their sources, with the
// literals that the code puts together without anything between them (a "+",
// adjacent literals, one stream output after another) joined into one run.

QString Unescape(const QString& body) {
    QString text;
    for (qsizetype i = 0; i < body.size(); ++i) {
        if (body[i] != u'\\' || i + 1 == body.size()) {
            text += body[i];
            continue;
        }
        const QChar next = body[++i];
        switch (next.unicode()) {
            case 'n':
                text += u'\n';
                break;
            case 'r':
                text += u'\r';
                break;
            case 't':
                text += u'\t';
                break;
            default:
                text += next;  // \" \\ \' and the rest stand for themselves
        }
    }
    return text;
}

bool Joins(QString gap) {
    for (const char* glue : {"QStringLiteral(", "QLatin1String(", "QString::fromLatin1(",
                             "QString::fromUtf8(", "u8", "<<", "+", ")"}) {
        gap.remove(QLatin1String(glue));
    }
    return gap.trimmed().isEmpty();
}

void AddRuns(const QString& code, QStringList& runs) {
    QString run;
    qsizetype lastEnd = -1;
    auto flush = [&] {
        if (!run.isEmpty()) runs << run;
        run.clear();
    };
    QString gap;  // the code since the last literal, comments left out
    for (qsizetype i = 0; i < code.size(); ++i) {
        const QChar c = code[i];
        if (c == u'/' && i + 1 < code.size() && code[i + 1] == u'/') {
            while (i < code.size() && code[i] != u'\n')
                ++i;
            continue;
        }
        if (c == u'/' && i + 1 < code.size() && code[i + 1] == u'*') {
            const qsizetype end = code.indexOf(QStringLiteral("*/"), i + 2);
            i = end < 0 ? code.size() : end + 1;
            continue;
        }
        if (c == u'\'') {
            // A character literal; '"' must not open a string.
            qsizetype j = i + 1;
            while (j < code.size() && code[j] != u'\'') {
                if (code[j] == u'\\') ++j;
                ++j;
            }
            gap += code.mid(i, j - i + 1);
            i = j;
            continue;
        }
        if (c != u'"') {
            gap += c;
            continue;
        }
        qsizetype j = i + 1;
        while (j < code.size() && code[j] != u'"') {
            if (code[j] == u'\\') ++j;
            ++j;
        }
        const QString literal = Unescape(code.mid(i + 1, j - i - 1));
        if (lastEnd < 0 || !Joins(gap)) flush();
        run += literal;
        gap.clear();
        lastEnd = j;
        i = j;
    }
    flush();
}

// All runs, each on a line of its own between two separators, as they are
// and with access-key ampersands taken out.
struct ProgramTexts {
    QString runs;
    QString captions;
};

const ProgramTexts& Texts() {
    static const ProgramTexts texts = [] {
        QStringList runs;
        for (const char* folder : {"common", "creator", "player", "cli"}) {
            QDirIterator it(kSource + QLatin1Char('/') + QLatin1String(folder),
                            {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                            QDirIterator::Subdirectories);
            while (it.hasNext()) {
                const QString path = it.next();
                if (path.contains(QLatin1String("/testing/"))) continue;
                AddRuns(Read(path), runs);
            }
        }
        const QString separator(QChar(1));
        ProgramTexts all;
        all.runs = separator + runs.join(separator) + separator;
        all.captions = QString(all.runs).remove(u'&');
        return all;
    }();
    return texts;
}

// What one quoted text comes to: the pieces between the parts the program
// fills in and the line breaks; empty with the reason when the markup inside
// is not one the test reads.
QStringList QuotedPieces(const QString& inner, QString& problem) {
    static const QRegularExpression var(QStringLiteral("<var>[^<]*</var>"));
    static const QRegularExpression lineBreak(QStringLiteral("<br\\s*/?>"));
    QString text = inner;
    text.replace(var, QString(QChar(1)));
    text.replace(lineBreak, QString(QChar(1)));
    if (text.contains(u'<')) {
        problem = QStringLiteral("markup other than <var> and <br>");
        return {};
    }
    // The page's own line breaks inside a quote are blanks.
    static const QRegularExpression wrapped(QStringLiteral("\\s*\\n\\s*"));
    text.replace(wrapped, QStringLiteral(" "));
    QStringList pieces;
    for (const QString& piece : Decode(text).split(QChar(1))) {
        if (piece.contains(QRegularExpression(QStringLiteral("[A-Za-z]")))) pieces << piece;
    }
    if (pieces.isEmpty()) problem = QStringLiteral("nothing of the program's own text");
    return pieces;
}

struct Quote {
    QString page;
    QString kind;  // msg or ui
    QString inner;
};

std::vector<Quote> Quotes() {
    static const QRegularExpression marked(
        QStringLiteral("<(\\w+)[^>]*\\sclass=\"(msg|ui)\"[^>]*>(.*?)</\\1>"),
        QRegularExpression::DotMatchesEverythingOption);
    std::vector<Quote> quotes;
    for (const Page& page : Pages()) {
        for (auto match = marked.globalMatch(page.html); match.hasNext();) {
            const auto found = match.next();
            quotes.push_back({page.name, found.captured(2), found.captured(3)});
        }
    }
    return quotes;
}

// ---------------------------------------------------------------------------
// The windows: every class of the window folders that is a main window or a
// dialog, or a widget that gives itself a caption, or derives from one of
// these; a class other windows derive from counts through them.

std::set<QString> WindowClasses() {
    static const QRegularExpression declared(
        QStringLiteral("class\\s+(\\w+)\\s+(?:final\\s+)?:\\s*public\\s+(\\w+)"));
    std::map<QString, QString> bases;
    std::map<QString, QString> sources;
    for (const char* folder : {"common/ui", "creator/ui", "player/ui"}) {
        QDirIterator it(kSource + QLatin1Char('/') + QLatin1String(folder), {QStringLiteral("*.h")},
                        QDir::Files);
        while (it.hasNext()) {
            const QString header = it.next();
            QString cpp = header;
            cpp.chop(2);
            const QString source = Read(cpp + QStringLiteral(".cpp"));
            for (auto match = declared.globalMatch(Read(header)); match.hasNext();) {
                const auto found = match.next();
                bases[found.captured(1)] = found.captured(2);
                sources[found.captured(1)] = source;
            }
        }
    }
    std::set<QString> windows;
    bool grew = true;
    while (grew) {
        grew = false;
        for (const auto& [name, base] : bases) {
            if (windows.count(name)) continue;
            const bool captioned = base == QLatin1String("QWidget") &&
                                   sources[name].contains(name + QStringLiteral("::") + name) &&
                                   sources[name].contains(QLatin1String("setWindowTitle("));
            if (base == QLatin1String("QMainWindow") || base == QLatin1String("QDialog") ||
                captioned || windows.count(base)) {
                windows.insert(name);
                grew = true;
            }
        }
    }
    for (const auto& [name, base] : bases) {
        if (windows.count(name)) windows.erase(base);
    }
    return windows;
}

// ---------------------------------------------------------------------------

TEST(HelpPagesTest, LinksAndPicturesLeadToPagesAndPlacesThatExist) {
    ASSERT_FALSE(Pages().empty()) << "no pages in " << kHelp.toStdString();
    std::map<QString, QSet<QString>> idsOf;
    for (const Page& page : Pages())
        idsOf[page.name] = Ids(page.html);

    QStringList problems;
    for (const Page& page : Pages()) {
        const QString folder = QFileInfo(page.name).path();
        QStringList targets = AttributeValues(page.html, QStringLiteral("href")) +
                              AttributeValues(page.html, QStringLiteral("src"));
        for (const QString& target : targets) {
            if (target.contains(QLatin1String("://")) ||
                target.startsWith(QLatin1String("mailto:"))) {
                // A station's machine may be offline: the pages stand alone.
                problems << page.name + QStringLiteral(": leads outside the pages: ") + target;
                continue;
            }
            const qsizetype hash = target.indexOf(u'#');
            const QString file = hash < 0 ? target : target.left(hash);
            const QString fragment = hash < 0 ? QString() : target.mid(hash + 1);
            const QString resolved =
                file.isEmpty() ? page.name : QDir::cleanPath(folder + QLatin1Char('/') + file);
            if (resolved.startsWith(QLatin1String("..")) ||
                !QFileInfo::exists(kHelp + QLatin1Char('/') + resolved)) {
                problems << page.name + QStringLiteral(": no such file: ") + target;
                continue;
            }
            if (!fragment.isEmpty() && !idsOf[resolved].contains(fragment)) {
                problems << page.name + QStringLiteral(": no id \"") + fragment +
                                QStringLiteral("\" in ") + resolved;
            }
        }
        // Every picture says what it shows, for a reader who cannot see it.
        static const QRegularExpression image(QStringLiteral("<img\\b[^>]*>"));
        for (auto match = image.globalMatch(page.html); match.hasNext();) {
            const QString tag = match.next().captured(0);
            if (AttributeValues(tag, QStringLiteral("alt")).value(0).trimmed().isEmpty())
                problems << page.name + QStringLiteral(": a picture without alt text: ") + tag;
        }
        const QStringList ids = AttributeValues(page.html, QStringLiteral("id"));
        if (QSet<QString>(ids.begin(), ids.end()).size() != ids.size())
            problems << page.name + QStringLiteral(": an id is used twice");
    }
    EXPECT_TRUE(problems.isEmpty()) << problems.join(u'\n').toStdString();
}

TEST(HelpPagesTest, EveryPageIsReachedFromTheContents) {
    std::set<QString> reached;
    QStringList waiting{QStringLiteral("index.html")};
    while (!waiting.isEmpty()) {
        const QString name = waiting.takeFirst();
        if (!reached.insert(name).second) continue;
        for (const Page& page : Pages()) {
            if (page.name != name) continue;
            const QString folder = QFileInfo(name).path();
            for (const QString& href : AttributeValues(page.html, QStringLiteral("href"))) {
                const QString file = href.section(u'#', 0, 0);
                if (file.endsWith(QLatin1String(".html")))
                    waiting << QDir::cleanPath(folder + QLatin1Char('/') + file);
            }
        }
    }
    for (const Page& page : Pages())
        EXPECT_TRUE(reached.count(page.name)) << page.name.toStdString() << " is not linked";
}

TEST(HelpPagesTest, EveryWindowOfBothProgramsHasASectionWithItsPicture) {
    const std::set<QString> windows = WindowClasses();
    // A scan that found nothing would pass anything.
    ASSERT_TRUE(windows.count(QStringLiteral("CreatorForm")) &&
                windows.count(QStringLiteral("PlayerForm")) &&
                windows.count(QStringLiteral("ErrorLogForm")))
        << "the window scan of the sources found " << windows.size() << " windows";

    static const QRegularExpression section(
        QStringLiteral("<section[^>]*\\sdata-window=\"(\\w+)\"[^>]*>(.*?)</section>"),
        QRegularExpression::DotMatchesEverythingOption);
    std::map<QString, QString> sections;
    for (const Page& page : Pages()) {
        for (auto match = section.globalMatch(page.html); match.hasNext();) {
            const auto found = match.next();
            sections[found.captured(1)] = found.captured(2);
        }
    }
    for (const QString& window : windows) {
        const auto found = sections.find(window);
        if (found == sections.end()) {
            ADD_FAILURE() << "no <section data-window=\"" << window.toStdString()
                          << "\"> in the help pages";
        } else {
            EXPECT_TRUE(found->second.contains(QLatin1String("<img")))
                << "the section of " << window.toStdString() << " shows no picture";
        }
    }
    for (const auto& [name, text] : sections)
        EXPECT_TRUE(windows.count(name))
            << "a section for " << name.toStdString() << ", which is no window of the programs";
}

TEST(HelpPagesTest, QuotedTextsAreThoseTheProgramsShow) {
    const std::vector<Quote> quotes = Quotes();
    ASSERT_GT(quotes.size(), 50u) << "hardly any quoted texts found";
    const ProgramTexts& texts = Texts();
    QStringList problems;
    for (const Quote& quote : quotes) {
        QString problem;
        const QStringList pieces = QuotedPieces(quote.inner, problem);
        if (!problem.isEmpty()) {
            problems << quote.page + QStringLiteral(": ") + problem + QStringLiteral(": ") +
                            quote.inner;
            continue;
        }
        const QString& where = quote.kind == QLatin1String("ui") ? texts.captions : texts.runs;
        for (const QString& piece : pieces) {
            if (!where.contains(piece) && !texts.runs.contains(piece)) {
                problems << quote.page + QStringLiteral(": not in the programs: \"") + piece +
                                QStringLiteral("\"");
            }
        }
    }
    EXPECT_TRUE(problems.isEmpty()) << problems.size() << " quoted texts not found:\n"
                                    << problems.join(u'\n').toStdString();
}

// The test's own reading of the sources: a text put together from pieces is
// found whole, a text the programs do not have is not.
TEST(HelpPagesTest, ProgramTextsJoinWhatTheCodePutsTogether) {
    QStringList runs;
    AddRuns(QStringLiteral("x = QStringLiteral(\"Unable to \") +\n  QStringLiteral(\"Backup\");\n"
                           "y = QStringLiteral(\"a\") + name + QStringLiteral(\"b\");\n"
                           "err << \"sonavel: \" << \"cannot\\n\"; // \"not this\"\n"
                           "c = QLatin1Char('\"'); d = \"E&xit\";"),
            runs);
    EXPECT_EQ(runs, (QStringList{"Unable to Backup", "a", "b", "sonavel: cannot\n", "E&xit"}));

    QString problem;
    EXPECT_EQ(QuotedPieces(QStringLiteral("Cannot play <var>file</var>: the file\n  does not "
                                          "exist<br>Next &amp; last"),
                           problem),
              (QStringList{"Cannot play ", ": the file does not exist", "Next & last"}));
    EXPECT_TRUE(problem.isEmpty());
    QuotedPieces(QStringLiteral("<b>bold</b>"), problem);
    EXPECT_FALSE(problem.isEmpty());
}

}  // namespace
