#include "FormatModule.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

namespace sonavel {

namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::int64_t kSecondsPerHour = 3600;
constexpr std::int64_t kSecondsPerMinute = 60;

// Far beyond any real duration, yet small enough that converting to int64 is
// always defined.
constexpr double kLongestDuration = 1e15;

const std::array<QString, 7> kWeekdayTokens = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const std::array<QString, 7> kWeekdayNames = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                              "Thursday", "Friday", "Saturday"};

// ":timecheck" is a command rather than an extension, so it counts wherever it
// appears in the line.
const std::array<QString, 22> kSoundFileMarks = {
    ".wav", ".mid",       ".mp3", ".ra",   ".asf", ".asx",  ".rm",   ".ram",
    ".rmm", ":timecheck", ".au",  ".aui",  ".aif", ".aifc", ".aiff", ".m1v",
    ".mp2", ".mpa",       ".mpg", ".mpeg", ".rmi", ".snd"};
const QString kTimeCheckMark = QStringLiteral(":timecheck");

struct DurationUnits {
    std::int64_t days = 0;
    int hours = 0;
    int minutes = 0;
    int seconds = 0;
};

// A duration that is negative, NaN or infinite can only come from a damaged
// playlist or a length the player could not measure; showing it as zero keeps
// the display sane instead of printing nonsense or overflowing the conversion.
DurationUnits SplitDuration(double inputTime) {
    DurationUnits units;
    if (!std::isfinite(inputTime) || inputTime <= 0.0) {
        return units;
    }
    // Whole seconds first, so that dividing never rounds a fraction of a second
    // up into the next minute, hour or day.
    const auto total = static_cast<std::int64_t>(std::min(inputTime, kLongestDuration));
    units.days = total / kSecondsPerDay;
    const std::int64_t rest = total % kSecondsPerDay;
    units.hours = static_cast<int>(rest / kSecondsPerHour);
    units.minutes = static_cast<int>(rest % kSecondsPerHour / kSecondsPerMinute);
    units.seconds = static_cast<int>(rest % kSecondsPerMinute);
    return units;
}

QString TwoDigits(int value) {
    return value < 10 ? QStringLiteral("0") + QString::number(value) : QString::number(value);
}

// Minutes and seconds share the same rule: two digits, and anything that is
// not a clock value is shown as "00" rather than passed through.
QString SixtyPart(int value) {
    if (value < 0 || value > 59) {
        return QStringLiteral("00");
    }
    return TwoDigits(value);
}

// The leading number of a text, as a person would read it off a file name:
// blanks are skipped and reading stops at the first character that is not a
// digit, so "9x" is 9 and a text without digits is 0.
int LeadingNumber(const QString& text) {
    int value = 0;
    bool negative = false;
    bool started = false;
    for (const QChar c : text) {
        if (c == u' ' || c == u'\t' || c == u'\r' || c == u'\n') {
            continue;
        }
        if (!started && (c == u'-' || c == u'+')) {
            negative = c == u'-';
            started = true;
            continue;
        }
        if (c < u'0' || c > u'9') {
            break;
        }
        started = true;
        value = value * 10 + (c.unicode() - u'0');
    }
    return negative ? -value : value;
}

// Playlist and time-check names carry the hour as HHMM; people read them on
// a 12-hour clock. Morning hours keep their leading zero as written.
QString TwelveHourClock(const QString& hhmm) {
    const int hour = LeadingNumber(hhmm.left(2));
    const QString minutes = hhmm.right(2);
    QString clock;
    if (hour < 12) {
        clock = hhmm.left(2) + u':' + minutes;
    } else if (hour == 12) {
        clock = QStringLiteral("12:") + minutes;
    } else {
        clock = QString::number(hour - 12) + u':' + minutes;
    }
    return clock + (hour < 12 ? QStringLiteral(" AM") : QStringLiteral(" PM"));
}

// Only the spellings our file names have always used are recognised; a name
// typed in any other mix of case is not guessed at.
QString DayNameOf(const QString& token) {
    for (std::size_t i = 0; i < kWeekdayTokens.size(); ++i) {
        const QString& day = kWeekdayTokens[i];
        if (token == day || token == day.toLower() || token == day.toUpper()) {
            return kWeekdayNames[i];
        }
    }
    return {};
}

}  // namespace

QString FormatTime(double InputTime) {
    const DurationUnits u = SplitDuration(InputTime);
    const bool hasDays = u.days >= 1;
    // A whole number of days reads better as "2 days " than "2 days 00:00:00".
    const bool wholeDays = hasDays && u.hours == 0 && u.minutes == 0 && u.seconds == 0;

    QString dayPart;
    if (u.days == 1) {
        dayPart = QStringLiteral("1 day ");
    } else if (u.days > 1) {
        dayPart = QString::number(u.days) + QStringLiteral(" days ");
    }

    QString hourPart;
    if (u.hours >= 1) {
        hourPart = TwoDigits(u.hours) + u':';
    } else if (hasDays && !wholeDays) {
        hourPart = QStringLiteral("00:");
    }

    if (wholeDays) {
        return dayPart;
    }
    return dayPart + hourPart + SixtyPart(u.minutes) + u':' + SixtyPart(u.seconds);
}

QString FormatEstTime(double InputTime) {
    // Estimates are compared against the clock of a single day, so the days
    // are dropped and the hours always shown.
    const DurationUnits u = SplitDuration(InputTime);
    return TwoDigits(u.hours) + u':' + SixtyPart(u.minutes) + u':' + SixtyPart(u.seconds);
}

QString HourName(std::int16_t Hour) {
    if (Hour < 0 || Hour > 23) {
        return {};
    }
    return TwoDigits(Hour) + QStringLiteral("00");
}

QString FormatElementName(const QString& PathFileName) {
    // Command lines such as ":timecheck" name no file: show the command word.
    if (PathFileName.startsWith(u':')) {
        return PathFileName.mid(1);
    }
    return GetFileName(RemoveExtension(PathFileName));
}

QString FormatPlaylistName(const QString& PlaylistName) {
    const QString name = GetFileName(RemoveExtension(PlaylistName));
    return DayNameOf(name.left(3)) + u' ' + TwelveHourClock(name.right(4));
}

QString FormatManualPlaylistName(const QString& PlaylistName) {
    return GetFileName(RemoveExtension(PlaylistName));
}

QString FormatTimeCheck(const QString& TimeCheck) {
    return QStringLiteral("Time Check: ") + TwelveHourClock(TimeCheck);
}

bool IsSoundFile(const QString& Line) {
    if (Line.isEmpty()) {
        return false;
    }
    const QChar first = Line.front();
    if (first == u';' || first == u'\'' || first == u'#' || first == u' ') {
        return false;
    }
    // A containment test on purpose: playlists written by hand carry options
    // and notes after the file name. Only the first occurrence of each mark
    // counts, and it must have at least two characters before it, so a bare
    // ".wav" or "x.wav" is not taken for an element.
    // Lower-cased one UTF-16 unit at a time: the whole-text mapping may
    // lengthen the text ("İ" becomes two characters) and so move a mark past
    // the position rule.
    QString lower = Line;
    for (QChar& c : lower)
        c = c.toLower();
    for (const QString& mark : kSoundFileMarks) {
        const qsizetype at = lower.indexOf(mark);
        if (at < 0) {
            continue;
        }
        if (at >= 2 || mark == kTimeCheckMark) {
            return true;
        }
    }
    return false;
}

// The path functions ignore a separator or dot among the first two characters,
// so a root or a leading dot is never taken for a folder or an extension.

QString GetFilePath(const QString& Path) {
    const qsizetype slash = Path.lastIndexOf(u'/');
    return slash >= 2 ? Path.left(slash + 1) : QString();
}

QString RemoveExtension(const QString& Path) {
    // Folders carry dots here (~/.local/share): only a dot inside the last
    // name starts an extension, and not its first character, which marks a
    // hidden file rather than an empty name with an extension.
    const qsizetype dot = Path.lastIndexOf(u'.');
    const qsizetype slash = Path.lastIndexOf(u'/');
    return dot >= 2 && dot > slash + 1 ? Path.left(dot) : Path;
}

QString GetFileName(const QString& Path) {
    const qsizetype slash = Path.lastIndexOf(u'/');
    return slash >= 0 ? Path.mid(slash + 1) : Path;
}

QString WeekdayToken(int weekday) {
    if (weekday < 1 || weekday > 7) {
        return {};
    }
    return kWeekdayTokens[static_cast<std::size_t>(weekday - 1)];
}

QStringView TrimBlanks(QStringView line) {
    qsizetype from = 0, to = line.size();
    while (from < to && line[from] == QLatin1Char(' '))
        ++from;
    while (to > from && line[to - 1] == QLatin1Char(' '))
        --to;
    return line.mid(from, to - from);
}

QString WeekdayName(int weekday) {
    if (weekday < 1 || weekday > 7) {
        return {};
    }
    return kWeekdayNames[static_cast<std::size_t>(weekday - 1)];
}

}  // namespace sonavel
