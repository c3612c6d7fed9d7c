#include "../media/TestSounds.h"
#include "CapturedConsole.h"
#include "CommonModule.h"
#include "HourEstimate.h"
#include "RenderCommand.h"
#include "TempFolder.h"
#include "TextFile.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <cmath>

using namespace sonavel;
namespace ts = sonavel::testsounds;

namespace {

constexpr std::int64_t R = hours::kRate;
constexpr std::int64_t H = hours::kHourFrames;

// A station whose every sound has a length known to the frame.
class RenderTest : public TempFolderTest {
  protected:
    RenderTest() {
        Session& session = MakeSession(Product::Player);
        SetRegistryDefaults(session);
        QDir().mkpath(Lists());
        QDir().mkpath(Times());
        QDir().mkpath(Path("snd"));
        m_station = {m_store->Path(), ProgramFolder(), {}};
    }

    QString Lists() const { return ProgramFolder() + QStringLiteral("/Playlists"); }
    QString Times() const { return ProgramFolder() + QStringLiteral("/Time"); }

    // Silence of exactly this many frames.
    QString Hollow(const QString& name, std::int64_t frames) const {
        return HollowAt(Path("snd/" + name + ".wav"), frames);
    }
    static QString HollowAt(const QString& path, std::int64_t frames) {
        EXPECT_TRUE(ts::WriteHollow(path, frames)) << path.toStdString();
        return path;
    }
    // A float WAV whose every sample is level k: the mix tells its frames apart.
    static float Level(int k) { return 0.125f * static_cast<float>(k); }
    QString Sounding(const QString& path, int k, std::int64_t frames) const {
        EXPECT_TRUE(ts::Write(path,
                              std::vector<float>(static_cast<std::size_t>(frames) * 2, Level(k)), 2,
                              static_cast<int>(R), SF_FORMAT_WAV | SF_FORMAT_FLOAT));
        return path;
    }
    void List(const QString& name, const QStringList& lines) const {
        textfile::WriteLines(Lists() + u'/' + name, lines);
    }

    RenderOutcome Render(const QDateTime& from, int count, const QString& to = {}) {
        RenderOptions options;
        options.station = m_station;
        options.from = from;
        options.hours = count;
        options.to = to;
        options.folder = Path("render");
        QString errors;
        QTextStream err(&errors);
        RenderOutcome outcome = RenderStation(options, err);
        EXPECT_TRUE(outcome.problem.isEmpty()) << outcome.problem.toStdString();
        EXPECT_TRUE(errors.isEmpty()) << errors.toStdString();
        return outcome;
    }

    static QDateTime Monday(int hour, int minute = 0, int second = 0) {
        return hours::Fixed(QDateTime(QDate(2026, 12, 7), QTime(hour, minute, second)));
    }

    StationPaths m_station;
};

// What the report must say of an hour, in frames.
struct Expected {
    const char* label;
    bool silent;
    std::int64_t late, length, overUnder;
    const char* across;
    std::int64_t delay;
    int restarts;
    std::int64_t silence;
};

void ExpectHours(const std::vector<hours::HourFacts>& facts, const std::vector<Expected>& expected,
                 const char* source) {
    ASSERT_EQ(facts.size(), expected.size()) << source;
    for (std::size_t h = 0; h < expected.size(); ++h) {
        const hours::HourFacts& f = facts[h];
        const Expected& e = expected[h];
        SCOPED_TRACE(std::string(source) + " " + e.label);
        EXPECT_EQ(f.label, QString::fromLatin1(e.label));
        EXPECT_EQ(f.silent, e.silent);
        EXPECT_EQ(f.late, e.late);
        EXPECT_EQ(f.length, e.length);
        EXPECT_EQ(f.overUnder, e.overUnder);
        EXPECT_EQ(f.across, QString::fromLatin1(e.across));
        EXPECT_EQ(f.delay, e.delay);
        EXPECT_EQ(f.restarts, e.restarts);
        EXPECT_EQ(f.silence, e.silence);
    }
}

// A short hour that starts its list again twice with a missing file in it, a
// long one that begins late with the time check for the minute it begins in,
// and an hour without a playlist: the rendered timeline, to the frame, is what
// the lengths make of them, the decoded-length estimate says the same, and
// the logs are the render's own, in rendered time.
TEST_F(RenderTest, ThreeHoursAreWhatTheirLengthsMakeOfThemToTheFrame) {
    const QString a = Hollow("A", 700 * R);
    const QString b = Hollow("B", 1000 * R);
    const QString gone = Path("snd/gone.wav");
    List("Mon0700.lst", {a, gone, b});
    HollowAt(Times() + "/0808.wav", 3 * R);
    const QString c = Hollow("C", 2400 * R);
    const QString d = Hollow("D", 1200 * R);
    const QString e = Hollow("E", 600 * R);
    List("Mon0800.lst", {":TimeCheck", c, d, e});

    const RenderOutcome outcome = Render(Monday(7), 3);
    const hours::Timeline& timeline = outcome.timeline;
    EXPECT_EQ(outcome.stats.gaps, 0u);
    EXPECT_EQ(outcome.stats.underrunFrames, 0u);
    // No element sounds at the last top: the render ends right there.
    EXPECT_EQ(timeline.begin, 0);
    EXPECT_EQ(timeline.end, 3 * H);
    EXPECT_EQ(static_cast<std::int64_t>(outcome.stats.framesRendered), 3 * H);

    // Each element where its length puts it: A, B, A, B, A across 08:00 in
    // the short hour; the announcement for 08:08, C and D across 09:00 in the
    // long one, whose E never airs.
    ASSERT_EQ(timeline.runs.size(), 2u);
    struct At {
        QString file;
        int pass;
        std::int64_t start, end;
    };
    const std::vector<std::vector<At>> aired = {{{a, 0, 0, 700 * R},
                                                 {b, 0, 700 * R, 1700 * R},
                                                 {a, 1, 1700 * R, 2400 * R},
                                                 {b, 1, 2400 * R, 3400 * R},
                                                 {a, 2, 3400 * R, 4100 * R}},
                                                {{Times() + "/0808.wav", 0, 4100 * R, 4103 * R},
                                                 {c, 0, 4103 * R, 6503 * R},
                                                 {d, 0, 6503 * R, 7703 * R}}};
    for (std::size_t r = 0; r < aired.size(); ++r) {
        const hours::ListRun& run = timeline.runs[r];
        EXPECT_EQ(run.hour, static_cast<int>(r));
        ASSERT_EQ(run.aired.size(), aired[r].size()) << r;
        for (std::size_t k = 0; k < aired[r].size(); ++k) {
            SCOPED_TRACE(aired[r][k].file.toStdString());
            EXPECT_EQ(timeline.files.value(run.aired[k].file), aired[r][k].file);
            EXPECT_EQ(run.aired[k].pass, aired[r][k].pass);
            EXPECT_EQ(run.aired[k].start, aired[r][k].start);
            EXPECT_EQ(run.aired[k].end, aired[r][k].end);
        }
    }

    const std::vector<Expected> expected = {
        {"Mon 07", false, 0, 1700 * R, -1900 * R, "A", 500 * R, 2, 0},
        {"Mon 08", false, 500 * R, 4203 * R, 1103 * R, "D", 503 * R, 0, 0},
        {"Mon 09", true, 0, 0, 0, "", 0, 0, 3097 * R}};
    hours::DecodedLengths lengths;
    const hours::LengthOf lengthOf = [&lengths](const QString& path) { return lengths(path); };
    const std::vector<hours::HourFacts> rendered = hours::Summarise(timeline, lengthOf);
    ExpectHours(rendered, expected, "rendered");
    ASSERT_EQ(rendered[0].passed.size(), 1);
    EXPECT_TRUE(rendered[0].passed[0].startsWith(gone + " ("))
        << rendered[0].passed[0].toStdString();
    EXPECT_EQ(rendered[2].why, "no playlist Mon0900.lst");
    ExpectHours(
        hours::Summarise(hours::Estimate(Lists(), Times(), Monday(7), 3, lengthOf), lengthOf),
        expected, "estimated");

    // The render's logs, in its own folder, in rendered time; none in the station's.
    const QString logs = Path("render/Logs");
    const QStringList program = textfile::ReadLines(logs + "/Program.log");
    // Logged as the element before reports its end, a tail ahead of its last frame.
    EXPECT_EQ(
        program.filter(QRegularExpression("08:08:(19|20)  Program Element: Time Check$")).size(), 1)
        << program.join('\n').toStdString();
    EXPECT_EQ(program.filter("Program Element: A").size(), 3);
    EXPECT_EQ(program.filter("cannot be located").size(), 1);
    EXPECT_TRUE(program.last().endsWith("10:00:00  Program Ended"));
    const QString asRun = textfile::ReadAll(logs + "/AsRun-2026-12-07.csv");
    EXPECT_TRUE(
        asRun.contains(QRegularExpression("\r\n2026-12-07T08:08:(19|20)[.][0-9]{3}[+-][0-9:]+,"
                                          "[^\r]*,Time Check,[^,]*/0808.wav,")))
        << asRun.toStdString();
    EXPECT_FALSE(QDir(ProgramFolder() + "/Logs").exists() &&
                 !QDir(ProgramFolder() + "/Logs").isEmpty());
}

// The last half minute of an hour: what the recording holds, frame by frame,
// is what the report says: the element before, then the time check for the
// rendered minute sounding across the top, by as much as the report's delay.
TEST_F(RenderTest, WhatWouldHaveAiredIsWhatTheReportSaysFrameByFrame) {
    const QString p = Sounding(Path("snd/P.wav"), 1, 20 * R);
    Sounding(Times() + "/0759.wav", 2, 15 * R);
    Sounding(Times() + "/0800.wav", 4, 2 * R);
    const QString q = Sounding(Path("snd/Q.wav"), 3, 10 * R);
    List("Mon0700.lst", {p, ":TimeCheck", q});

    const QString to = Path("aired.wav");
    const RenderOutcome outcome = Render(Monday(7, 59, 30), 1, to);
    const hours::Timeline& timeline = outcome.timeline;
    EXPECT_EQ(timeline.begin, 3570 * R);
    EXPECT_TRUE(outcome.stats.captureError.isEmpty()) << outcome.stats.captureError.toStdString();

    int channels = 0;
    const std::vector<float> stereo = ts::ReadAll(to, &channels);
    ASSERT_EQ(channels, 2);
    ASSERT_EQ(static_cast<std::int64_t>(stereo.size() / 2), timeline.end - timeline.begin);
    // Runs of one level: which element each frame came from.
    std::vector<std::pair<int, std::int64_t>> runs;
    for (std::size_t f = 0; f < stereo.size(); f += 2) {
        const int k =
            stereo[f] == stereo[f + 1] ? static_cast<int>(std::lround(stereo[f] / 0.125f)) : -1;
        if (runs.empty() || runs.back().first != k) runs.push_back({k, 0});
        ++runs.back().second;
    }
    const std::vector<std::pair<int, std::int64_t>> heard = {{1, 20 * R}, {2, 15 * R}};
    EXPECT_EQ(runs, heard);

    hours::DecodedLengths lengths;
    const std::vector<hours::HourFacts> facts =
        hours::Summarise(timeline, [&lengths](const QString& path) { return lengths(path); });
    ASSERT_EQ(facts.size(), 1u);
    const hours::HourFacts& hour = facts[0];
    // The top is 30 s into the recording; the announcement sounds on past it.
    const std::int64_t top = H - timeline.begin;
    const std::int64_t announcementEnds = heard[0].second + heard[1].second;
    EXPECT_EQ(hour.across, "Time Check");
    EXPECT_EQ(hour.acrossFile, Times() + "/0759.wav");
    EXPECT_EQ(hour.delay, announcementEnds - top);
    EXPECT_EQ(hour.late, timeline.begin);
    EXPECT_EQ(hour.length, heard[0].second + heard[1].second + 10 * R);
    EXPECT_EQ(hour.overUnder, timeline.begin + hour.length - H);
    EXPECT_EQ(hour.silence, 0);
    EXPECT_EQ(hour.restarts, 0);
}

// The render keeps its logs apart from the station's, however the folder is named.
TEST_F(RenderTest, RefusesToWriteIntoTheStationsOwnLogs) {
    const QString journal = Path("journal");
    m_store->SaveSetting(kAppName, kPlayerSection, "Program Log File Name",
                         journal + "/Program.log");
    QDir().mkpath(ProgramFolder() + "/Logs");
    ASSERT_EQ(symlink(QFile::encodeName(ProgramFolder()).constData(),
                      QFile::encodeName(Path("station")).constData()),
              0);
    for (const QString& folder :
         {ProgramFolder(), ProgramFolder() + "/Logs", ProgramFolder() + "/Logs/render", journal,
          Path("station"), Path("station/Logs/../")}) {
        SCOPED_TRACE(folder.toStdString());
        CapturedConsole console;
        EXPECT_EQ(
            console.Run({"render", "--from", "Mon 07", "--logs", folder, "--to", Path("aired.wav")},
                        m_station),
            1);
        EXPECT_TRUE(console.errText.startsWith("sonavel: render: "))
            << console.errText.toStdString();
        EXPECT_TRUE(console.errText.contains("is the station's own log folder") &&
                    console.errText.contains("a render writes its logs to a folder of its own"))
            << console.errText.toStdString();
        EXPECT_TRUE(console.outText.isEmpty());
    }
    // Nothing was written: no log, and no recording begun.
    EXPECT_TRUE(QDir(ProgramFolder() + "/Logs").isEmpty());
    EXPECT_FALSE(QDir(journal).exists());
    EXPECT_FALSE(QFile::exists(Path("aired.wav")));

    // Bad hours are the command line's fault.
    struct Bad {
        QStringList arguments;
        const char* says;
    };
    for (const Bad& bad :
         {Bad{{"render", "--from", "Mon 24"}, "invalid hour 'Mon 24'"},
          Bad{{"render", "--from", "Monday 07"}, "invalid hour 'Monday 07'"},
          Bad{{"render", "--hours", "0"}, "invalid number of hours '0'"},
          Bad{{"render", "--hours", "3", "--to", "x.wav"}, "--to holds at most 2 hours"},
          Bad{{"hour-report", "--week", "--hours", "3"}, "--week takes the whole week"}}) {
        CapturedConsole console;
        EXPECT_EQ(console.Run(bad.arguments, m_station), kExitUsage);
        EXPECT_TRUE(console.errText.contains(bad.says)) << console.errText.toStdString();
    }
}

}  // namespace
