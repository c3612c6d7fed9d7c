#include "AsRunLog.h"

#include "PlayerSeqTest.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTimeZone>

namespace sonavel {
namespace {

// The records of a CSV text as a spreadsheet reads them (RFC 4180): quoted
// fields may hold commas, doubled quotes and line breaks.
QList<QStringList> ParseCsv(const QString& text) {
    QList<QStringList> records;
    QStringList record;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
                field += u'"';
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u',') {
            record << field;
            field.clear();
        } else if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            record << field;
            records << record;
            record.clear();
            field.clear();
            ++i;
        } else {
            field += c;
        }
    }
    EXPECT_TRUE(field.isEmpty() && record.isEmpty()) << "the last record has no line end";
    return records;
}

enum Column { kStart, kEnd, kSeconds, kEnded, kElement, kFile, kPlaylist };

class AsRunTest : public PlayerSeqTest {
  protected:
    QString DayFile(const QDate& day) const {
        return asrun::FileName(session.ProgramFolder(), day);
    }
    QString DayText(const QDate& day) const {
        QFile file(DayFile(day));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    // The day's records under its header.
    QList<QStringList> Records(const QDate& day) const {
        QList<QStringList> records = ParseCsv(DayText(day));
        EXPECT_FALSE(records.isEmpty());
        if (records.isEmpty()) return {};
        EXPECT_EQ(records.takeFirst().join(u','), asrun::Header());
        return records;
    }
    static QDateTime At(int day, int hour, int minute, int second) {
        return QDateTime(QDate(2026, 12, day), QTime(hour, minute, second));
    }
    static QDateTime Parsed(const QString& stamp) {
        return QDateTime::fromString(stamp, Qt::ISODate);
    }
};

const QDate kMonday(2026, 12, 7);

TEST_F(AsRunTest, EachElementOnAirGetsOneLineSayingHowItCameOff) {
    Manual();
    WriteAnnouncement(QStringLiteral("1015"));
    const QString awkward = QStringLiteral("/snd/Rock, \"Live\" at Zoë's.wav");
    StartList({QStringLiteral(":TimeCheck"), Snd("a"), awkward, Snd("c"), Snd("d"), Snd("e")});
    const QString timeCheck = session.Player.TimeCheckFolder + QStringLiteral("/1015.wav");

    m_clock.Advance(2000);
    FinishPlaying();  // the time check
    m_clock.Advance(30'000);
    engine.Operate(PlayerCommand::SkipNow);  // a
    Serve();
    // The awkward name sounds 10 s, is paused 20 s, then sounds 5 s more.
    m_clock.Advance(10'000);
    engine.Operate(PlayerCommand::PauseNow);
    m_clock.Advance(20'000);
    engine.Operate(PlayerCommand::Resume);
    m_clock.Advance(5000);
    FinishPlaying();
    // c: the control reports trouble with it while it sounds.
    m_clock.Advance(4000);
    Fake(Sounding()).RaiseError(media::kNotDecodable, QStringLiteral("damaged frame"));
    Serve();
    m_clock.Advance(1000);
    FinishPlaying();
    // d is paused and never resumed: the program ends over it.
    m_clock.Advance(7000);
    engine.Operate(PlayerCommand::PauseNow);
    m_clock.Advance(100'000);
    engine.StopForExit();
    Serve();

    const QList<QStringList> records = Records(kMonday);
    ASSERT_EQ(records.size(), 5) << DayText(kMonday).toStdString();
    const QString list = Path(QStringLiteral("hand.lst"));
    const QList<QStringList> expected = {
        {"Time Check", timeCheck, "complete", "2.000"},
        {"a", Snd("a"), "skipped", "30.000"},
        {"Rock, \"Live\" at Zoë's", awkward, "paused then resumed", "15.000"},
        {"c", Snd("c"), "failed", "5.000"},
        {"d", Snd("d"), "stopped", "7.000"},
    };
    QDateTime start = At(7, 10, 15, 0);
    const qint64 lengths[] = {2, 30, 35, 5, 107};
    for (qsizetype i = 0; i < records.size(); ++i) {
        const QStringList& r = records[i];
        ASSERT_EQ(r.size(), 7) << i;
        EXPECT_EQ((QStringList{r[kElement], r[kFile], r[kEnded], r[kSeconds]}), expected[i]);
        EXPECT_EQ(r[kPlaylist], list);
        // Each starts as the one before comes off: the report has no gaps.
        EXPECT_EQ(Parsed(r[kStart]), start) << r[kStart].toStdString();
        start = start.addSecs(lengths[i]);
        EXPECT_EQ(Parsed(r[kEnd]), start) << r[kEnd].toStdString();
    }
    // Written as a spreadsheet expects it: CR LF, the awkward name quoted
    // with its quotes doubled, UTF-8.
    const QByteArray bytes = [&] {
        QFile file(DayFile(kMonday));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    EXPECT_EQ(bytes.count("\r\n"), 6);
    EXPECT_TRUE(bytes.contains("\"Rock, \"\"Live\"\" at Zo\xc3\xab's\""));
    // The program log stays as it was: the as-run log is a file of its own.
    EXPECT_FALSE(ProgramLog().join(u'\n').contains(QStringLiteral("As-run")));
}

TEST_F(AsRunTest, ElementCrossingMidnightIsReportedOnTheDayItEnded) {
    Manual();
    m_clock.Set(At(6, 23, 59, 30));
    StartList({Snd("late"), Snd("early")});
    m_clock.Set(At(7, 0, 0, 20));
    FinishPlaying();
    m_clock.Advance(3000);
    engine.StopForExit();

    EXPECT_FALSE(QFile::exists(DayFile(QDate(2026, 12, 6))));
    const QList<QStringList> records = Records(kMonday);
    ASSERT_EQ(records.size(), 2);
    EXPECT_EQ(Parsed(records[0][kStart]), At(6, 23, 59, 30));
    EXPECT_EQ(records[0][kSeconds], QStringLiteral("50.000"));
    EXPECT_EQ(records[1][kElement], QStringLiteral("early"));

    // A period is read by the files' days, oldest first, one header for all.
    const QString folder = session.ProgramFolder();
    EXPECT_TRUE(asrun::Read(folder, QDate(2026, 12, 6), QDate(2026, 12, 6)).isEmpty());
    const QByteArray both = asrun::Read(folder, QDate(2026, 12, 1), QDate(2026, 12, 31));
    EXPECT_EQ(both.count("\r\n"), 2);
    EXPECT_FALSE(both.contains(asrun::Header().toUtf8()));
}

TEST_F(AsRunTest, LogThatCannotBeWrittenCostsItsLinesButNeverTheProgramme) {
    Manual();
    // A folder where the day's file should be: every write fails.
    ASSERT_TRUE(QDir().mkpath(DayFile(kMonday)));
    StartList({Snd("a"), Snd("b"), Snd("c"), Snd("d")});
    FinishPlaying();
    FinishPlaying();
    EXPECT_EQ(Sounding(), 1) << "the list must go on";
    EXPECT_EQ(engine.CurrentElement, 3);
    const QString failed = QStringLiteral("As-run log could not be written: ") + DayFile(kMonday);
    EXPECT_EQ(ProgramLog().count(failed), 1) << "one line for a run of failures";

    ASSERT_TRUE(QDir(DayFile(kMonday)).removeRecursively());
    FinishPlaying();
    EXPECT_EQ(Records(kMonday).size(), 1);
    ASSERT_TRUE(QFile::remove(DayFile(kMonday)));
    ASSERT_TRUE(QDir().mkpath(DayFile(kMonday)));
    engine.StopForExit();
    EXPECT_EQ(ProgramLog().count(failed), 2) << "a new run of failures is logged again";
}

TEST_F(AsRunTest, ListReplacedOnAirCutsItsElementOnce) {
    Manual();
    WritePlaylist(QStringLiteral("other.lst"), {Snd("o1"), Snd("o2")});
    StartList({Snd("a"), Snd("b")});
    m_clock.Advance(12'000);
    engine.LoadRecentPlaylist(session.Player.PlaylistFolder + QStringLiteral("/other.lst"));
    Serve();
    m_clock.Advance(3000);
    FinishPlaying();

    const QList<QStringList> records = Records(kMonday);
    ASSERT_EQ(records.size(), 2) << "the cut element's late report adds no line";
    EXPECT_EQ((QStringList{records[0][kElement], records[0][kEnded], records[0][kSeconds]}),
              (QStringList{"a", "stopped", "12.000"}));
    EXPECT_EQ((QStringList{records[1][kElement], records[1][kEnded], records[1][kPlaylist]}),
              (QStringList{"o1", "complete", session.Player.PlaylistFolder + "/other.lst"}));
}

// The program ends, or its list is dropped, just after the output has begun
// an element, before the report of its first frames has arrived: that
// element was on the air and has its line. One that never sounded has none.
TEST_F(AsRunTest, AStopAheadOfTheFirstFramesReportKeepsTheirLine) {
    {
        asrun::Recorder recorder(session);
        recorder.Started(1, 7, "a", Snd("a"), "list.lst", 48000);
        recorder.Started(2, 8, "b", Snd("b"), "list.lst", 48000);
        recorder.StopAll();
        EXPECT_EQ(recorder.Sounding(1, 7, 48000, 48480), "a");
        recorder.Quiet(1, 7, 48480, 480, true, 48480);
    }
    const QList<QStringList> records = Records(kMonday);
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ((QStringList{records[0][kElement], records[0][kEnded], records[0][kSeconds]}),
              (QStringList{"a", "stopped", "0.010"}));
}

TEST(AsRunRecordTest, FieldsAndTimesReadTheSameInEverySpreadsheetAndZone) {
    asrun::Line line;
    const QTimeZone newfoundland(-(3 * 3600 + 30 * 60));
    line.start = QDateTime(QDate(2026, 3, 8), QTime(1, 59, 58, 7), newfoundland);
    line.end = QDateTime(QDate(2026, 3, 8), QTime(2, 0, 1), QTimeZone::utc());
    line.seconds = 2.9996;
    line.ended = asrun::Ending::Skipped;
    line.element = QStringLiteral("two\r\nlines");
    line.file = QStringLiteral("/plain/path.wav");
    line.playlist = QStringLiteral("\"quoted\"");
    EXPECT_EQ(asrun::Record(line),
              QStringLiteral("2026-03-08T01:59:58.007-03:30,2026-03-08T02:00:01.000+00:00,3.000,"
                             "skipped,"
                             "\"two\r\nlines\",/plain/path.wav,\"\"\"quoted\"\"\""));
}

}  // namespace
}  // namespace sonavel
