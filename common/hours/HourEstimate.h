#pragma once

#include "HourReport.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace sonavel {
class Session;
}

namespace sonavel::hours {

// The element lines of a playlist as Player reads them: its sound files and
// time checks, in order. Empty with the problem set when there is no list to
// play (missing, blank or unreadable).
QStringList ReadListElements(const QString& path, QString* problem = nullptr);

// The hours worked out from the decoded lengths of their elements, by the
// rules the air follows: the first hour starts at its top; each list plays
// its elements in order, passing over those that cannot play, and starts
// again when it runs out before the top of the hour; the element sounding at
// the top plays to its end and the hour whose list then starts is the hour it
// ended in; a time check sounds the announcement for the minute it starts;
// an hour without a list is silent. Exact for files at the engine's rate; a
// render is exact for all.
Timeline Estimate(const QString& playlistFolder, const QString& timeCheckFolder,
                  const QDateTime& firstTop, int hours, const LengthOf& lengthOf);

// The top of the coming week's first hour, Monday 00:00 after now, on a
// clock that keeps the offset from UTC it has then: a week rendered or
// estimated always has its 168 hours.
QDateTime NextWeekStart(const QDateTime& now);
// The same hour without the changes to and from summer time.
QDateTime Fixed(const QDateTime& local);

// Creator's report after a creation run: the week's playlists in the
// Playlist Folder, with the announcements of Player's Time Check Folder.
Report CreatorWeekReport(Session& session);

}  // namespace sonavel::hours
