#include "ClockModule.h"

#include "CommonModule.h"
#include "DurableFile.h"
#include "FormatModule.h"
#include "RuntimeError.h"
#include "TextFile.h"

#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>
#include <cerrno>

namespace sonavel {

namespace {

constexpr int kMaxWalk = 169;

// The three spellings of each weekday token that clock names have always used.
int DayIndex(const QString& token) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    for (int i = 0; i < 7; ++i) {
        const QString day = QString::fromLatin1(kDays[i]);
        if (token == day || token == day.toLower() || token == day.toUpper()) return i;
    }
    return -1;
}

// The weekday a token names, compared ignoring case, as the neighbour walk does.
int DayIndexAnyCase(const QString& token) {
    for (int i = 1; i <= 7; ++i) {
        if (token.compare(WeekdayToken(i), Qt::CaseInsensitive) == 0) return i - 1;
    }
    return -1;
}

QString NameOf(const QString& path) {
    return GetFileName(RemoveExtension(path));
}

// The leading digits of a text as a number, 0 when there are none.
int LeadingValue(const QString& text) {
    int value = 0;
    for (const QChar c : text) {
        if (!c.isDigit()) break;
        value = value * 10 + c.digitValue();
    }
    return value;
}

QString Neighbour(const QString& clockFolder, const QString& path, bool forward) {
    const QString name = NameOf(path);
    QString day = name.left(3);
    const int value = LeadingValue(name.right(4)) + (forward ? 100 : -100);
    QString t = QString::number(value);
    if (t.size() == 3) {
        t = QLatin1Char('0') + t;
    } else if (t == QLatin1String("0")) {
        t = QStringLiteral("0000");
    } else if (forward ? value > 2300 : value < 0) {
        const int index = DayIndexAnyCase(day);
        if (index < 0) return {};
        t = forward ? QStringLiteral("0000") : QStringLiteral("2300");
        day = WeekdayToken((index + (forward ? 1 : 6)) % 7 + 1);
    }
    return clockFolder + QLatin1Char('/') + day + t + QStringLiteral(".clk");
}

bool IsComment(const QString& line) {
    if (line.isEmpty()) return true;
    const QChar first = line.at(0);
    return first == QLatin1Char(' ') || first == QLatin1Char('\'') || first == QLatin1Char(';') ||
           first == QLatin1Char('#');
}

}  // namespace

void ClockModule::ShowInvalidKeyword(const QString& line, const QString& path,
                                     const QString& advice, const QString& title) {
    m_session.Dlg().MsgBox(QStringLiteral("An invalid keyword (") + line +
                               QStringLiteral(") has been detected.") + kCrLf +
                               QStringLiteral("Please check ") + path +
                               QStringLiteral(" for errors.") + kCrLf + kCrLf + advice,
                           MsgButtons::OK, MsgIcon::Critical, title);
}

ClockDisplayName ClockModule::PrettyPrintFileName(const QString& path) {
    const QString name = NameOf(path);
    if (name.toLower() == QLatin1String("default")) return {QStringLiteral("Default Clock"), false};
    const int day = DayIndex(name.left(3));
    if (day < 0) return {QStringLiteral("Unknown"), false};
    const QString time = name.right(4);
    return {
        WeekdayName(day + 1) + QLatin1Char(' ') + time.left(2) + QLatin1Char(':') + time.right(2),
        true};
}

QString ClockModule::GetPreviousFileName(const QString& clockFolder, const QString& path) {
    return Neighbour(clockFolder, path, false);
}

QString ClockModule::GetNextFileName(const QString& clockFolder, const QString& path) {
    return Neighbour(clockFolder, path, true);
}

QString ClockModule::FindNeighbourClock(const QString& clockFolder, const QString& path,
                                        bool forward) {
    QString candidate = Neighbour(clockFolder, path, forward);
    for (int i = 0; i < kMaxWalk && !candidate.isEmpty(); ++i) {
        if (QFileInfo(candidate).isFile()) return candidate;
        candidate = Neighbour(clockFolder, candidate, forward);
    }
    return {};
}

QByteArray ClockModule::PlainClockContent(const QString& paneText) {
    QString text = paneText;
    text.replace(kCrLf, QStringLiteral("\n")).replace(QLatin1Char('\n'), kCrLf);
    QStringEncoder encoder(QStringConverter::System);
    return encoder.encode(text + kCrLf);
}

void ClockModule::WriteClockFile(const QString& path, const QByteArray& content, bool backup) {
    if (path.isEmpty()) throw MakeError(err::kPathNotFound, path);
    DurableFile file(path);
    if (!file.Write(content) || !file.Finish()) throw FileWriteError(path, file.Error());
    // Replaced through a link, the file it names is the one backed up.
    const QString target = file.Target();
    if (backup && QFileInfo(target).isFile()) {
        // The old text goes to the backup by a second name for the same data,
        // so until the new file replaces it the old one is still in place.
        // Where there are no links (a FAT stick) the backup is a copy.
        const QString bak = RemoveExtension(target) + QStringLiteral(".bak");
        const QString fresh = bak + QStringLiteral(".new");
        QFile::remove(fresh);
        const QByteArray freshName = QFile::encodeName(fresh);
        if (::link(QFile::encodeName(target).constData(), freshName.constData()) == 0) {
            if (::rename(freshName.constData(), QFile::encodeName(bak).constData()) != 0) {
                const int error = errno;
                QFile::remove(fresh);
                throw FileWriteError(bak, error);
            }
        } else {
            const FileWriteResult copied = WriteFileWhole(bak, textfile::ReadBytes(target));
            if (!copied.Ok()) throw FileWriteError(bak, copied.error);
        }
    }
    if (!file.Replace()) throw FileWriteError(path, file.Error());
}

QString ClockModule::DefaultClockPath() const {
    return m_session.ProgramFolder() + QStringLiteral("/Default.clk");
}

ClockModule::Verdict ClockModule::ReadClockLines(const QString& path,
                                                 const std::vector<KeywordDefinition>& keywords,
                                                 QStringList& lines, QString& invalidLine) {
    lines.clear();
    QStringList fileLines;
    try {
        fileLines = textfile::ReadLines(path);
    } catch (const RuntimeError&) {
        return Verdict::Unreadable;
    }
    qsizetype stored = 0;
    for (const QString& line : fileLines) {
        // The list grows before each line; a line that is no element leaves
        // the new entry empty, so a clock ending in a comment ends in one.
        lines.resize(stored + 1);
        if (IsComment(line)) continue;
        const QString element = TrimBlanks(line).toString();
        if (!KeywordModule::FindKeyword(keywords, element)) {
            invalidLine = element;
            return Verdict::InvalidLine;
        }
        lines[stored++] = element;
    }
    return Verdict::Read;
}

bool ClockModule::ReadDefaultClockLines() {
    const QString path = DefaultClockPath();
    InvalidKeywordFound = true;
    QString invalid;
    QStringList lines;
    const Verdict verdict = ReadClockLines(path, m_keywords.KeywordDefinitions, lines, invalid);
    if (verdict == Verdict::Unreadable) return false;
    DefaultClockLines = lines;
    if (verdict == Verdict::InvalidLine) {
        ShowInvalidKeyword(invalid, path, QStringLiteral("Please run Keyword Mainteance"),
                           QStringLiteral("Invalid Keyword Detected"));
        return true;
    }
    // Only a clock that names at least one keyword, all of them known, is valid.
    for (const QString& line : DefaultClockLines) {
        if (!line.isEmpty()) InvalidKeywordFound = false;
    }
    return true;
}

bool ClockModule::LoadHourlyClock(const QString& playlistPath) {
    return LoadHourlyClock(playlistPath, m_keywords.KeywordDefinitions);
}

bool ClockModule::LoadHourlyClock(const QString& playlistPath,
                                  const std::vector<KeywordDefinition>& keywords) {
    QString& folder = m_session.Creator.ClockFolder;
    if (folder.isEmpty()) folder = m_session.ProgramFolder() + QStringLiteral("/Clocks");
    const QString path = folder + QLatin1Char('/') + NameOf(playlistPath) + QStringLiteral(".clk");
    QString invalid;
    const Verdict verdict = ReadClockLines(path, keywords, HourlyClockLines, invalid);
    if (verdict == Verdict::InvalidLine) {
        ShowInvalidKeyword(invalid, path,
                           QStringLiteral("Creator can not continue with this clock."),
                           QStringLiteral("Invalid Keyword Found"));
    }
    return verdict == Verdict::Read;
}

}  // namespace sonavel
