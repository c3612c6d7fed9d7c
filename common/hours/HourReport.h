#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace sonavel {
class Session;
}

namespace sonavel::hours {

// Frames of the timeline: the audio engine's, so a render is counted in the
// frames it really rendered.
inline constexpr std::int64_t kRate = 48000;
inline constexpr std::int64_t kHourFrames = 3600 * kRate;

// One element as it sounded, in frames from the top of the first hour.
struct Aired {
    int element = 0;  // its line among the list's elements, from 1
    int pass = 0;     // 0 the first time through its list, 1 once the list started again, ...
    int file = -1;    // into Timeline::files
    bool timeCheck = false;
    std::int64_t start = 0;
    std::int64_t end = 0;
};

// A list as it started: the elements the engine read from it, and what it sounded.
struct ListRun {
    int hour = 0;               // the hour it started in, from the first hour
    int list = -1;              // its file, into Timeline::files
    std::vector<int> elements;  // files; time checks are kTimeCheckLine
    std::vector<Aired> aired;
};

// An element passed over because it could not play.
struct Passed {
    int run = -1;  // the list it belonged to, into Timeline::runs; -1 when none was running
    QString what;  // the file, or the announcement that was missing
    QString why;
};

// What went to air over a stretch of hours: from a render of the real engine,
// or worked out from the decoded lengths of the elements. Files are kept once
// each, by number, so a week's worth stays small.
struct Timeline {
    static constexpr int kTimeCheckLine = -2;

    QDateTime firstTop;  // the top of the first hour, in rendered time
    int hours = 0;
    QString playlistFolder;
    QString timeCheckFolder;
    // True for a render: lengths of what aired were counted in frames.
    bool rendered = false;
    std::int64_t begin = 0;  // the first frame covered
    std::int64_t end = 0;    // the frame after the last one covered
    QStringList files;
    std::vector<ListRun> runs;
    std::vector<Passed> passed;

    int File(const QString& path);

  private:
    std::vector<std::pair<QString, int>> m_index;  // sorted, for File
};

// The length of a sound file in frames at the engine's rate, or the reason it
// cannot play.
struct Length {
    std::int64_t frames = 0;
    QString problem;  // empty when it plays
};
using LengthOf = std::function<Length(const QString& path)>;

// Decodes the file's header (and an MP3 through) once per path.
class DecodedLengths {
  public:
    Length operator()(const QString& path);

  private:
    std::vector<std::pair<QString, Length>> m_known;  // sorted
};

// The playlist an hour plays, and the announcement of a time check.
QString PlaylistFor(const QString& folder, const QDateTime& top);
QString AnnouncementFor(const QString& folder, const QDateTime& at);
// "Mon 07"
QString HourLabel(const QDateTime& top);

// One hour as the report gives it.
struct HourFacts {
    int hour = 0;  // from the first hour
    QString label;
    QString playlist;
    // Nothing of its own went to air: no playlist, a blank one, or none of
    // its elements could play; why says which.
    bool silent = false;
    QString why;
    std::int64_t late = 0;    // its first element started this long after its top
    std::int64_t length = 0;  // its list once through
    // late + length - 60:00: over when positive (the rest of the list never
    // airs), under when negative (the list starts again).
    std::int64_t overUnder = 0;
    QString across;  // the element sounding across the top of the next hour
    QString acrossFile;
    std::int64_t delay = 0;    // how long past that top it sounded: the next hour starts this late
    int restarts = 0;          // how often the list started again
    std::int64_t silence = 0;  // frames of the hour with nothing on air
    QStringList passed;        // the files passed over, each with why
};

std::vector<HourFacts> Summarise(const Timeline& timeline, const LengthOf& lengthOf);
// How far an hour is from what it should be: over- and under-runs alike, a
// silent hour worst of all.
std::int64_t Badness(const HourFacts& facts);
// Sorted by badness, the worst first; equal ones in the order they air.
std::vector<HourFacts> WorstFirst(std::vector<HourFacts> facts);

// "+3:12.4", "-26:40.0", "0:00.0"
QString Signed(std::int64_t frames);
// "63:12.4"
QString Minutes(std::int64_t frames);

// The report as a table for people, and as CSV (RFC 4180, CR LF).
QStringList TableLines(const std::vector<HourFacts>& facts, const QStringList& heading);
QString Csv(const std::vector<HourFacts>& facts);
QString CsvHeader();

// A report as a window shows and prints it.
struct Report {
    // What it covers and where from; the first line heads the printed pages.
    QStringList heading;
    std::vector<HourFacts> facts;  // the worst hours first
};
// One line an hour, in words: the printer's proportional type aligns no columns.
QStringList PrintLines(const Report& report);
// Prints it through the programs' print routine; shownText is the window's
// text, and an empty one has nothing to print.
void PrintReport(Session& session, const Report& report, const QString& shownText);

}  // namespace sonavel::hours
