#include "CapturedConsole.h"
#include "CommonModule.h"
#include "HourEstimate.h"
#include "HourReport.h"
#include "TempFolder.h"
#include "TextFile.h"

#include <gtest/gtest.h>
#include <QDir>
#include <map>

using namespace sonavel;
using namespace sonavel::hours;

namespace {

constexpr std::int64_t R = kRate;
constexpr std::int64_t H = kHourFrames;

// Three hours as they aired: a short hour whose list starts again with the
// element across the top, a long one that starts late with a time check and
// leaves an element unplayed, and an hour without a playlist.
Timeline ThreeHours() {
    Timeline t;
    t.firstTop = Fixed(QDateTime(QDate(2026, 12, 7), QTime(7, 0)));
    t.hours = 3;
    t.playlistFolder = QStringLiteral("/nowhere/lists");
    t.timeCheckFolder = QStringLiteral("/nowhere/time");
    t.rendered = true;
    t.end = 3 * H;
    const int a = t.File("/snd/a.wav");
    const int b = t.File("/snd/b, the \"long\" one.wav");
    ListRun seven{0, t.File("/nowhere/lists/Mon0700.lst"), {a, b}, {}};
    seven.aired = {{1, 0, a, false, 0, 1500 * R},
                   {2, 0, b, false, 1500 * R, 3500 * R},
                   {1, 1, a, false, 3500 * R, 5000 * R}};
    const int c = t.File("/snd/c.wav");
    const int d = t.File("/snd/d.wav");
    const int e = t.File("/snd/e.wav");
    ListRun eight{1, t.File("/nowhere/lists/Mon0800.lst"), {Timeline::kTimeCheckLine, c, d, e}, {}};
    eight.aired = {{1, 0, t.File("/nowhere/time/0823.wav"), true, 5000 * R, 5003 * R},
                   {2, 0, c, false, 5003 * R, 6803 * R},
                   {3, 0, d, false, 6803 * R, 7403 * R}};
    t.runs = {seven, eight};
    t.passed = {{0, "/snd/gone, \"for good\".wav", "the file is missing"}};
    return t;
}

Length Known(const QString& path) {
    static const std::map<QString, std::int64_t> lengths = {{"/snd/e.wav", 900 * R}};
    const auto found = lengths.find(path);
    return found == lengths.end() ? Length{0, QStringLiteral("not known")}
                                  : Length{found->second, {}};
}

TEST(HourReportTest, TableAndCsvSayWhatEachHourComesToTheWorstFirst) {
    const std::vector<HourFacts> facts = WorstFirst(Summarise(ThreeHours(), Known));
    EXPECT_EQ(
        TableLines(facts, {"Hour report: three hours.", "From a render."}),
        QStringList({
            "Hour report: three hours.",
            "From a render.",
            "",
            "Hour    Length   Over/under  Late     Across the top  Delays next  Restarts  Silent",
            "Mon 09  -        silent      -        -               -            -         56:37.0",
            "Mon 08  55:03.0  +18:23.0    23:20.0  d               +3:23.0      0         0:00.0",
            "Mon 07  58:20.0  -1:40.0     0:00.0   a               +23:20.0     1         0:00.0",
            "",
            "1 hour over, 1 under, 1 silent; a list started again once.",
            "",
            "Mon 09: silent, no playlist Mon0900.lst",
            "Mon 07: passed over /snd/gone, \"for good\".wav (the file is missing)",
        }));
    EXPECT_EQ(
        Csv(facts),
        "hour,playlist,silent,late_s,length_s,over_under_s,across_top,across_file,delays_next_s,"
        "restarts,silence_s,passed_over\r\n"
        "Mon 09,/nowhere/lists/Mon0900.lst,no playlist Mon0900.lst,0.000,0.000,0.000,,,0.000,0,"
        "3397.000,\r\n"
        "Mon 08,/nowhere/lists/Mon0800.lst,,1400.000,3303.000,1103.000,d,/snd/d.wav,203.000,0,"
        "0.000,\r\n"
        "Mon 07,/nowhere/lists/Mon0700.lst,,0.000,3500.000,-100.000,a,/snd/a.wav,1400.000,1,0.000,"
        "\"/snd/gone, \"\"for good\"\".wav (the file is missing)\"\r\n");
    EXPECT_EQ(PrintLines({{"Three hours.", "From a render."}, facts}),
              QStringList({"From a render.", "",
                           "Mon 09: silent, no playlist Mon0900.lst; silence 56:37.0",
                           QString("Mon 08: length 55:03.0, +18:23.0, late 23:20.0, ") +
                               "restarts 0; across the top d, +3:23.0",
                           QString("Mon 07: length 58:20.0, -1:40.0, late 0:00.0, ") +
                               "restarts 1; across the top a, +23:20.0",
                           "    passed over /snd/gone, \"for good\".wav (the file is missing)"}));
}

TEST(HourReportTest, TimesAreMinutesAndTenthsWithTheirSign) {
    struct Case {
        std::int64_t frames;
        const char* minutes;
        const char* sign;
    };
    for (const Case& c :
         {Case{0, "0:00.0", "0:00.0"}, Case{R / 20 - 1, "0:00.0", "0:00.0"},
          Case{R / 20, "0:00.1", "+0:00.1"}, Case{-R / 10, "0:00.1", "-0:00.1"},
          Case{59 * R + R * 96 / 100, "1:00.0", "+1:00.0"}, Case{H, "60:00.0", "+60:00.0"},
          Case{-2 * H - R, "120:01.0", "-120:01.0"}}) {
        EXPECT_EQ(Minutes(c.frames), c.minutes) << c.frames;
        EXPECT_EQ(Signed(c.frames), c.sign) << c.frames;
    }
}

// Hours without a playlist, with a blank one and with nothing playable are
// silent, and said to be so.
class HourReportCommandTest : public TempFolderTest {};

TEST_F(HourReportCommandTest, EstimatesTheHoursAskedForWithTheSilentOnesFirst) {
    Session& session = MakeSession(Product::Player);
    SetRegistryDefaults(session);
    const QString lists = ProgramFolder() + "/Playlists";
    QDir().mkpath(lists);
    textfile::WriteLines(lists + "/Mon0700.lst", {Path("missing.wav")});
    textfile::WriteAll(lists + "/Mon0800.lst", "");
    CapturedConsole console;
    EXPECT_EQ(console.Run({"hour-report", "--estimate", "--from", "Mon 07", "--hours", "3"},
                          StationPaths{m_store->Path(), ProgramFolder(), {}}),
              kExitSuccess)
        << console.errText.toStdString();
    const QStringList lines = console.outText.split('\n');
    ASSERT_GE(lines.size(), 10);
    EXPECT_EQ(lines[0],
              "Hour report: Mon 07 to Mon 09 (3 hours) from the decoded lengths of their "
              "elements; the worst hours first.");
    EXPECT_TRUE(lines[3].startsWith("Mon 07  -       silent")) << lines[3].toStdString();
    EXPECT_TRUE(lines[4].startsWith("Mon 08  -       silent")) << lines[4].toStdString();
    EXPECT_TRUE(lines[5].startsWith("Mon 09  -       silent")) << lines[5].toStdString();
    EXPECT_TRUE(
        console.outText.contains("Mon 07: silent, none of its elements could play\n"
                                 "Mon 07: passed over " +
                                 Path("missing.wav")));
    EXPECT_TRUE(console.outText.contains("Mon 08: silent, blank playlist Mon0800.lst\n"));
    EXPECT_TRUE(console.outText.contains("Mon 09: silent, no playlist Mon0900.lst\n"));
}

}  // namespace
