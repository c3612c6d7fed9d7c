#pragma once

#include <QString>
#include <cstdint>

namespace sonavel {

// Pure text helpers shared by both programs: durations, hour tokens, element
// and playlist names, the playable-element test and the path functions. Paths
// are split at '/', the separator of this system.

QString FormatTime(double InputTime);
QString FormatEstTime(double InputTime);
QString HourName(std::int16_t Hour);
QString FormatElementName(const QString& PathFileName);
QString FormatPlaylistName(const QString& PlaylistName);
QString FormatManualPlaylistName(const QString& PlaylistName);
QString FormatTimeCheck(const QString& TimeCheck);
bool IsSoundFile(const QString& Line);

// A line without its leading and trailing blanks; a tab is part of the line,
// as in every clock and playlist line.
QStringView TrimBlanks(QStringView line);

QString GetFilePath(const QString& Path);
QString RemoveExtension(const QString& Path);
QString GetFileName(const QString& Path);

// Weekday tokens "Sun" .. "Sat" for 1 (Sunday) .. 7; empty outside that range.
QString WeekdayToken(int weekday);
// "Sunday" .. "Saturday" for 1 .. 7; empty outside that range.
QString WeekdayName(int weekday);

}  // namespace sonavel
