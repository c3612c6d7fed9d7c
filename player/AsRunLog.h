#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>

namespace sonavel {

class Session;

// The as-run log: one CSV line for every element that went to air, for
// royalty and advertising reports. A day's file is
// <program folder>/Logs/AsRun-YYYY-MM-DD.csv, UTF-8 with CR LF line ends and
// RFC 4180 quoting, under a header line. A line is written when its element
// comes off the air, into the file of that day: an element that crosses
// midnight is reported on the day it ended.
namespace asrun {

// How an element came off the air. An element that was paused and later ran
// to its end is reported as such; a skip, a failure or a stop says more about
// how it ended, so it wins over an earlier pause.
enum class Ending { Complete, PausedThenResumed, Skipped, Failed, Stopped };

struct Line {
    QDateTime start;
    QDateTime end;
    double seconds = 0;  // sounding, to the millisecond: the pauses are left out
    Ending ended = Ending::Complete;
    QString element;  // the name the element list shows
    QString file;
    QString playlist;
};

QString EndingText(Ending ending);
// "start,end,seconds,ended,element,file,playlist"
QString Header();
// One record, without its line end.
QString Record(const Line& line);
// A field as RFC 4180 writes it: quoted when it holds a comma, a quote or a
// line break, with its quotes doubled.
QString Field(const QString& text);
// A time as ISO 8601 with its offset from UTC, "2026-12-07T14:03:09+01:00".
QString Timestamp(const QDateTime& when);

QString Folder(const QString& programFolder);
QString FileName(const QString& programFolder, const QDate& day);
// Appends the record to its day's file, which is given its header first when
// it is new; the folder is made when missing. False when it cannot be
// written.
bool Append(const QString& programFolder, const Line& line);

// The records of the days from .. to, both included, oldest day first, as
// their files hold them (each with its CR LF); the headers are left out. A
// day's file that cannot be read (or is not a file) is named in unreadable.
QByteArray Read(const QString& programFolder, const QDate& from, const QDate& to,
                QStringList* unreadable = nullptr);

// Follows what each of the two players has on air and writes a line when it
// comes off. Times come from the session's clock. A line that cannot be
// written costs the line, never the programme; the first failure of a run of
// them is written to the program log.
class Recorder {
  public:
    explicit Recorder(Session& session) : m_session(session) {}

    // The player has started sounding the element. Anything it was still
    // reported as holding is closed first as stopped.
    void Started(int player, const QString& element, const QString& file, const QString& playlist);
    void Paused(int player);
    void Resumed(int player);
    // How the element on air will have ended when it stops: skipped, or
    // failed when the control reported an error about it. The first mark
    // holds.
    void Mark(int player, Ending ending);
    // The player has stopped sounding.
    void Ended(int player);
    // Both players are cut off: the list was dropped or the program ends.
    void StopAll();
    bool OnAir(int player) const { return m_records.at(player - 1).has_value(); }

  private:
    struct Record {
        Line line;
        QDateTime pausedSince;  // null while sounding
        qint64 pausedMs = 0;
        bool resumed = false;
        std::optional<Ending> mark;
    };
    void Close(int player, std::optional<Ending> ending);

    Session& m_session;
    std::array<std::optional<Record>, 2> m_records;
    bool m_failing = false;
};

}  // namespace asrun
}  // namespace sonavel
