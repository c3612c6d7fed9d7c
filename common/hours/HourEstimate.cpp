#include "HourEstimate.h"

#include "FormatModule.h"
#include "RuntimeError.h"
#include "Session.h"
#include "SettingsStore.h"
#include "TextFile.h"

#include <QFileInfo>
#include <QTimeZone>
#include <algorithm>

namespace sonavel::hours {

namespace {

bool StartsAsTimeCheck(const QString& line) {
    return line.left(10).toLower().trimmed() == QLatin1String(":timecheck");
}

bool MentionsTimeCheck(const QString& line) {
    return line.toLower().contains(QLatin1String(":timecheck"));
}

}  // namespace

QStringList ReadListElements(const QString& path, QString* problem) {
    QString why;
    QStringList elements;
    const QFileInfo info(path);
    if (info.exists() && info.isFile() && info.size() == 0) {
        why = QStringLiteral("the playlist is blank");
    } else {
        try {
            for (const QString& line : textfile::ReadLines(path)) {
                if (IsSoundFile(line)) elements << line;
            }
            if (elements.isEmpty()) why = QStringLiteral("the playlist holds no program elements");
        } catch (const RuntimeError& error) {
            why = info.exists() ? error.Description() : QStringLiteral("there is no playlist");
        }
    }
    if (problem) *problem = why;
    if (!why.isEmpty()) elements.clear();
    return elements;
}

Timeline Estimate(const QString& playlistFolder, const QString& timeCheckFolder,
                  const QDateTime& firstTop, int hours, const LengthOf& lengthOf) {
    Timeline timeline;
    timeline.firstTop = firstTop;
    timeline.hours = hours;
    timeline.playlistFolder = playlistFolder;
    timeline.timeCheckFolder = timeCheckFolder;
    std::int64_t now = 0;
    int hour = 0;
    while (hour < hours) {
        const std::int64_t nextTop = kHourFrames * (hour + 1);
        const QString path = PlaylistFor(playlistFolder, firstTop.addSecs(3600LL * hour));
        const QStringList lines = ReadListElements(path);
        if (lines.isEmpty()) {
            // Silence, tried again every few seconds: the next hour's list
            // starts as its hour begins.
            now = std::max(now, nextTop);
            ++hour;
            continue;
        }
        ListRun run;
        run.hour = hour;
        run.list = timeline.File(path);
        for (const QString& line : lines) {
            run.elements.push_back(StartsAsTimeCheck(line) ? Timeline::kTimeCheckLine
                                                           : timeline.File(line));
        }
        const int index = static_cast<int>(timeline.runs.size());
        bool hourChanged = false;
        for (int pass = 0; !hourChanged; ++pass) {
            bool any = false;
            for (int line = 1; line <= static_cast<int>(lines.size()) && !hourChanged; ++line) {
                const QString& text = lines[line - 1];
                const bool timeCheck = StartsAsTimeCheck(text);
                const QString file =
                    timeCheck
                        ? AnnouncementFor(timeCheckFolder, firstTop.addMSecs(now * 1000 / kRate))
                        : text;
                Length length;
                if (!timeCheck && MentionsTimeCheck(text)) {
                    length.problem = QStringLiteral("a time check must begin its line");
                } else {
                    length = lengthOf(file);
                }
                if (!length.problem.isEmpty()) {
                    // Once per list, as a station would want it named.
                    if (pass == 0) timeline.passed.push_back({index, file, length.problem});
                    continue;
                }
                run.aired.push_back(
                    {line, pass, timeline.File(file), timeCheck, now, now + length.frames});
                now += length.frames;
                any = true;
                hourChanged = now >= nextTop;
            }
            if (!any) {
                // Nothing of it can play: the hour stays silent.
                now = std::max(now, nextTop);
                hourChanged = true;
            }
        }
        timeline.runs.push_back(std::move(run));
        // The hour whose list starts next is the one the element ended in.
        hour = static_cast<int>(now / kHourFrames);
    }
    timeline.end = std::max(now, kHourFrames * hours);
    return timeline;
}

QDateTime Fixed(const QDateTime& local) {
    return QDateTime(local.date(), local.time(), QTimeZone(local.offsetFromUtc()));
}

QDateTime NextWeekStart(const QDateTime& now) {
    QDate day = now.date().addDays(1);
    while (day.dayOfWeek() != Qt::Monday)
        day = day.addDays(1);
    return Fixed(QDateTime(day, QTime(0, 0)));
}

Report CreatorWeekReport(Session& session) {
    // Player's folder of announcements is one of its own settings.
    QString timeChecks;
    try {
        timeChecks = session.Store().GetSetting(QString::fromLatin1(kAppName),
                                                QString::fromLatin1(kPlayerSection),
                                                QStringLiteral("Time Check Folder"));
    } catch (const RuntimeError&) {
        timeChecks.clear();
    }
    if (timeChecks.isEmpty()) timeChecks = session.ProgramFolder() + QStringLiteral("/Time");
    DecodedLengths lengths;
    const LengthOf lengthOf = [&lengths](const QString& path) { return lengths(path); };
    const Timeline timeline = Estimate(session.Creator.PlaylistFolder, timeChecks,
                                       NextWeekStart(session.Time().Now()), 168, lengthOf);
    return {{QStringLiteral("The week's 168 hours from the decoded lengths of their elements; "
                            "the worst hours first."),
             QStringLiteral("Playlists: ") + session.Creator.PlaylistFolder},
            WorstFirst(Summarise(timeline, lengthOf))};
}

}  // namespace sonavel::hours
