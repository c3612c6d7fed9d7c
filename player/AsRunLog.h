#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>
#include <utility>
#include <vector>

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
// A time as ISO 8601 to the millisecond with its offset from UTC,
// "2026-12-07T14:03:09.250+01:00": lines meet to the millisecond.
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
// comes off. With a control that tells its output frames (the real one),
// every line is what the output did: the start and end are the wall-clock
// times of the element's first and last frame, and the seconds are the
// frames it sounded, so pauses and stalls of the process are left out and a
// line's start is the previous line's end. With a control that cannot (a
// test's), times come from the session's clock as the control reports. A line
// that cannot be written costs the line, never the programme; the first
// failure of a run of them is written to the program log.
class Recorder {
  public:
    static constexpr int kRate = 48000;  // the output's frames per second

    explicit Recorder(Session& session) : m_session(session) {}
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // The player has started the element id (its Play was accepted).
    // outputFrame is the control's OutputFrame(): negative when it has no
    // frame clock.
    void Started(int player, quint32 id, const QString& element, const QString& file,
                 const QString& playlist, qint64 outputFrame);
    // Its first frame sounded at frame; the output is at outputNow. Returns
    // the element's name, empty when it was not started.
    QString Sounding(int player, quint32 id, qint64 frame, qint64 outputNow);
    // It fell quiet at frame after frames in all: paused, or off for good.
    void Quiet(int player, quint32 id, qint64 frame, qint64 frames, bool over, qint64 outputNow);
    void Paused(int player);
    void Resumed(int player);
    // How the element will have ended when it goes off: skipped, or failed
    // (an error about it, or its sound stopped short). The first mark holds;
    // a mark for an element not yet started is kept for it.
    void Mark(int player, quint32 id, Ending ending);
    // The player reports its element stopped (its own end report).
    void Ended(int player);
    // Every element on air is cut off: the list was dropped or the program
    // ends. Lines close when their last frame is known.
    void StopAll();
    bool OnAir(int player) const;

  private:
    struct Record {
        int player = 0;
        quint32 id = 0;
        bool framed = false;  // the control tells frames
        Line line;
        bool sounded = false;
        qint64 pausedFrame = -1;  // the frame it paused at; -1 while sounding
        qint64 pausedFrames = 0;
        QDateTime pausedTime;
        QDateTime pausedSince;  // by the clock, for a control without frames
        qint64 pausedMs = 0;
        bool resumed = false;
        bool stopped = false;
        std::optional<Ending> mark;
    };
    Record* Find(int player, quint32 id);
    // The latest element the player started.
    Record* Latest(int player);
    // The wall-clock time a frame sounded at; a boundary between elements
    // is kept, so the element starting there starts at the same time.
    QDateTime WallTime(qint64 frame, qint64 outputNow, bool boundary);
    void CloseFramed(std::size_t index, const QDateTime& end, qint64 frames);
    void CloseByClock(std::size_t index, std::optional<Ending> ending);
    void Write(Record& record);

    Session& m_session;
    std::vector<Record> m_records;
    std::vector<std::pair<quint32, Ending>> m_pendingMarks;  // by element id
    // The last element boundary placed in time: the next element starts on
    // the same frame and so at the same time.
    qint64 m_boundaryFrame = -1;
    QDateTime m_boundaryTime;
    bool m_failing = false;
};

}  // namespace asrun
}  // namespace sonavel
