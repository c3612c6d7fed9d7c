#include "AirStation.h"
#include "PlayerSoundOutput.h"
#include "SoundOutputSettings.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QFileInfo>

namespace sonavel {
namespace {

constexpr double kFrame = 1.0 / AirStation::kRate;

// Where element k's own level first aired.
long FirstFrameOf(const std::vector<int>& aired, int k) {
    const auto at = std::find(aired.begin(), aired.end(), k);
    return at == aired.end() ? -1 : static_cast<long>(at - aired.begin());
}

long SilentBetween(const std::vector<int>& aired, long from, long to) {
    return static_cast<long>(std::count(aired.begin() + from, aired.begin() + to, 0));
}

// The milliseconds between two as-run times.
qint64 Ms(const QString& from, const QString& to) {
    return QDateTime::fromString(from, Qt::ISODateWithMs)
        .msecsTo(QDateTime::fromString(to, Qt::ISODateWithMs));
}

// Every line of the as-run log is what the output did with its element: the
// frames it sounded, from its first frame to its last, whatever came in
// between (a time check, silence inside a file, a pause, a skip, a file cut
// short, the end of the run).
TEST(AsRunFramesTest, EachLineIsTheFramesItsElementSounded) {
    AirStation s;
    s.Announcement("1015", 2, 0.75);
    // A file that opens on half a second of digital silence.
    const QString quiet = s.Path("snd/s.wav");
    {
        std::vector<float> samples(static_cast<std::size_t>(1.5 * AirStation::kRate) * 2, 0.0f);
        for (std::size_t f = AirStation::kRate / 2; f < samples.size() / 2; ++f)
            samples[2 * f] = samples[2 * f + 1] = (f % 2 ? -1.0f : 1.0f) * AirStation::LevelOf(3);
        ASSERT_TRUE(testsounds::Write(quiet, samples, 2, AirStation::kRate,
                                      SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    }
    // A file whose header promises 3 s and holds 1 s.
    const QString cut = s.Sound("t", 5, 3.0);
    ASSERT_TRUE(QFile::resize(cut, QFileInfo(cut).size() - qint64{2} * 8 * AirStation::kRate));
    s.Playlist("Mon1000", {s.Sound("a", 1, 1.0), ":TimeCheck", quiet, s.Sound("b", 4, 2.0), cut,
                           s.Sound("c", 6, 5.0), s.Sound("d", 7, 5.0)});
    s.Start();
    s.Play(1.0 + 0.75 + 1.5 + 0.5);
    s.engine->PauseNow();
    s.Play(1.0);
    s.engine->Resume();
    s.Play(1.5 + 1.0 + 1.0);
    s.engine->SkipNow();
    AirStation::Serve();  // its report reaches the engine before the fade has sounded
    s.Play(1.5);
    const std::vector<int> aired = s.Aired();  // the run ends with d on air
    const std::vector<QStringList> lines = s.AsRun();

    QStringList shown;
    for (const QStringList& line : lines)
        shown << line.join(u',');
    SCOPED_TRACE(shown.join(u'\n').toStdString());
    ASSERT_EQ(lines.size(), 7u);
    const QStringList names{"a", "Time Check", "s", "b", "t", "c", "d"};
    const QStringList endings{"complete", "complete", "complete", "paused then resumed",
                              "failed",   "skipped",  "stopped"};
    // Each element from its first frame to the next one's.
    const std::vector<long> starts{FirstFrameOf(aired, 1),
                                   FirstFrameOf(aired, 2),
                                   FirstFrameOf(aired, 3) - AirStation::kRate / 2,
                                   FirstFrameOf(aired, 4),
                                   FirstFrameOf(aired, 5),
                                   FirstFrameOf(aired, 6),
                                   FirstFrameOf(aired, 7),
                                   static_cast<long>(aired.size())};
    double total = 0;
    for (std::size_t k = 0; k < lines.size(); ++k) {
        SCOPED_TRACE(names[static_cast<int>(k)].toStdString());
        const QStringList& line = lines[k];
        EXPECT_EQ(line[4], names[static_cast<int>(k)]);
        EXPECT_EQ(line[3], endings[static_cast<int>(k)]);
        // The pause is not sounding; silence inside the file is.
        const long paused = k == 3 ? SilentBetween(aired, starts[k], starts[k + 1]) : 0;
        const double seconds = line[2].toDouble();
        EXPECT_NEAR(seconds, (starts[k + 1] - starts[k] - paused) * kFrame, 0.0005 + kFrame);
        EXPECT_NEAR(Ms(line[0], line[1]) / 1000.0, seconds + paused * kFrame, 0.0015);
        if (k > 0) {
            EXPECT_EQ(line[0], lines[k - 1][1]) << "starts where the one before ended";
        }
        total += seconds;
    }
    EXPECT_NEAR(lines[0][2].toDouble(), 1.0, 0.0005);
    EXPECT_NEAR(lines[1][2].toDouble(), 0.75, 0.0005);
    EXPECT_NEAR(lines[4][2].toDouble(), 1.0, 0.0005) << "what the cut file really sounded";
    const long pause = SilentBetween(aired, starts[3], starts[4]);
    EXPECT_NEAR(total, (static_cast<long>(aired.size()) - pause) * kFrame, 0.001 * 7);
    const QString errors = s.ErrorLog();
    EXPECT_TRUE(errors.contains(cut + " stops at 1.000 s of its 3.000 s")) << errors.toStdString();
}

// Silence on air is found in what the output sends, whatever its cause: one
// error-log entry when it has lasted the alarm's time, the station's command
// run once for it, and a line when sound is back.
TEST(AsRunFramesTest, SilenceOnAirRaisesTheAlarmOnce) {
    AirStation s;
    const QString ran = s.Path("alarm.txt");
    WriteSilenceAlarm(*s.session, {2, "echo \"$SONAVEL_SILENCE_SECONDS $SONAVEL_ELEMENT\" >> '" +
                                          ran + "'; exit 3"});
    // A file of digital silence, as a dead feed recorded would be.
    const QString dead = s.Path("snd/dead.wav");
    ASSERT_TRUE(testsounds::Write(dead,
                                  std::vector<float>(std::size_t{3} * 2 * AirStation::kRate, 0.0f),
                                  2, AirStation::kRate, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    s.Playlist("Mon1000", {s.Sound("a", 1, 1.0), dead, s.Sound("b", 2, 1.0), s.Sound("c", 3, 1.5)});
    s.Start();
    ReportOutput(*s.session, *s.audio, *s.engine);
    s.Play(1.0 + 1.9);
    EXPECT_FALSE(s.ErrorLog().contains("Silence on air")) << "raised before its time";
    s.Play(2.0);
    const QString errors = s.ErrorLog();
    EXPECT_EQ(errors.count("Silence on air"), 1);
    EXPECT_TRUE(errors.contains("    Error Description: Silence on air for 2 s: dead from " +
                                s.session->Player.PlaylistFolder + "/Mon1000.lst"))
        << errors.toStdString();
    const QStringList log = s.ProgramLog();
    EXPECT_EQ(log.filter("Sound back on air after 3.0 s of silence").size(), 1)
        << log.join('\n').toStdString();
    // The command runs on its own; its failure is logged when it ends.
    for (int i = 0; i < 500 && !s.ProgramLog().join('\n').contains("Silence Alarm Command"); ++i)
        WaitUntil([] { return false; }, 10);
    QFile file(ran);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "2 dead\n");
    EXPECT_EQ(s.ProgramLog().filter("Silence Alarm Command failed: exit status 3").size(), 1);
}

}  // namespace
}  // namespace sonavel
