#include "../loudness/LoudnessSounds.h"
#include "CapturedConsole.h"
#include "CommonModule.h"
#include "ConsoleDialogs.h"
#include "KeywordModule.h"
#include "LoudnessSettings.h"
#include "Session.h"
#include "SettingsStore.h"
#include "TextFile.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace sonavel;
namespace ts = sonavel::testsounds;

namespace {

class LoudnessCommandTest : public ::testing::Test {
  protected:
    QString Path(const QString& name) const { return m_dir.filePath(name); }
    QString Sound(const QString& name, double dbfs, double seconds = 2) {
        QDir().mkpath(QFileInfo(Path(name)).absolutePath());
        EXPECT_TRUE(ts::Write(Path(name), ts::Sine(seconds, 48000, dbfs), 2, 48000,
                              SF_FORMAT_WAV | SF_FORMAT_PCM_24));
        return Path(name);
    }

    QTemporaryDir m_dir;
    StationPaths station{m_dir.filePath("config/Sonavel/settings.db"),
                         m_dir.filePath("data/Sonavel"), m_dir.filePath("creator.lock")};
};

// Named folders: each sound file in them measured once, a line for each on
// standard output and what it is doing on standard error; the next run finds
// them known. A folder that is not there is said and fails the run, and the
// others are measured all the same.
TEST_F(LoudnessCommandTest, MeasuresTheFoldersGivenAndKnowsThemTheNextTime) {
    const QString one = Sound("a/one.wav", -20);
    const QString silent = Path("a/silent.wav");
    ASSERT_TRUE(ts::Write(silent, std::vector<float>(96000, 0.0f), 2, 48000,
                          SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    textfile::WriteAll(Path("a/readme.txt"), "not a sound file");
    const QString three = Sound("b/three.wav", -14);

    CapturedConsole first;
    EXPECT_EQ(first.Run({"loudness", Path("a"), Path("b"), Path("gone")}, station), 1);
    EXPECT_EQ(first.errText, "sonavel: loudness: cannot read the folder " + Path("gone") +
                                 "\nMeasuring the loudness of 3 files\n  1 of 3: " + one +
                                 "\n  2 of 3: " + silent + "\n  3 of 3: " + three + "\n");
    const QStringList lines = first.outText.split('\n');
    ASSERT_EQ(lines.size(), 5) << first.outText.toStdString();
    // The gate's histogram reads a sine within a few hundredths of its level.
    const auto level = [](const QString& line) { return line.left(6).toDouble(); };
    EXPECT_NEAR(level(lines[0]), -20.0, 0.11);
    EXPECT_EQ(lines[0].mid(6), " LUFS  -20.0 dBTP  " + one);
    EXPECT_EQ(lines[1], "   not measured  " + silent + ": it is silent");
    EXPECT_NEAR(level(lines[2]), -14.0, 0.11);
    EXPECT_EQ(lines[2].mid(6), " LUFS  -14.0 dBTP  " + three);
    EXPECT_TRUE(QRegularExpression(
                    "^3 files: 3 measured now, 0 known already, 1 without a measure; 5.0 s of "
                    "sound in [0-9.]+ s \\([0-9]+ times real time\\). Kept in " +
                    QRegularExpression::escape(station.programFolder + "/Loudness.db") + "$")
                    .match(lines[3])
                    .hasMatch())
        << lines[3].toStdString();

    CapturedConsole second;
    EXPECT_EQ(second.Run({"loudness", Path("a")}, station), 0);
    EXPECT_EQ(second.errText, "");
    EXPECT_TRUE(
        second.outText.endsWith("2 files: 0 measured now, 2 known already, 1 without a "
                                "measure. Kept in " +
                                station.programFolder + "/Loudness.db\n"))
        << second.outText.toStdString();
}

// Without folders: the station's own, as Creator and Player know them. The
// creation run, evening loudness out, measures the week's files first and
// prints how far it is.
TEST_F(LoudnessCommandTest, TheStationsFoldersAreMeasuredByTheCreationRunAndOnDemand) {
    {
        SettingsStore store(station.settingsFile);
        QString none;
        QTextStream in(&none), err(&none);
        ConsoleDialogs dialogs(in, err, ConsoleDialogs::Answering::Refuse);
        SystemClock clock;
        Session session(Product::Creator, station.programFolder, store, dialogs, clock);
        SetRegistryDefaults(session);
        for (const QString& folder : WorkingFolders(session))
            QDir().mkpath(folder);
        KeywordModule keywords(session);
        keywords.RefreshKeywordList();
        ASSERT_TRUE(keywords.AddKeywordEntry("Music"));
        store.SaveSetting(kKeywordApp, "Music", "Folder", Path("music"));
        LoudnessSettings loudness;
        loudness.Enabled = true;
        WriteLoudnessSettings(session, loudness);
        store.SaveSetting(kAppName, kPlayerSection, "Time Check Folder", Path("time"));
    }
    textfile::WriteAll(station.programFolder + "/Default.clk", "Music\r\n");
    Sound("music/first.wav", -18);
    Sound("music/second.wav", -26);
    const QString announcement = Sound("time/1200.wav", -20, 1);

    CapturedConsole create;
    ASSERT_EQ(create.Run({"create-playlists", "--yes"}, station), 0)
        << create.errText.toStdString();
    EXPECT_TRUE(
        create.errText.endsWith("(168 of 168)\n"
                                "  Measuring Loudness: 0 of 2 Files\n"
                                "  Measuring Loudness: 1 of 2 Files\n"
                                "  Measuring Loudness: 2 of 2 Files\n"
                                "  Loudness Measured: 2 Files\n"
                                "All Playlists Have Been Created.\n"))
        << create.errText.toStdString();

    // No hour announces the time, so the run left the time checks alone.
    CapturedConsole measure;
    EXPECT_EQ(measure.Run({"loudness"}, station), 0);
    EXPECT_EQ(measure.errText,
              "Measuring the loudness of 1 file\n  1 of 1: " + announcement + "\n");
    EXPECT_TRUE(measure.outText.contains("3 files: 1 measured now, 2 known already; "))
        << measure.outText.toStdString();
}

}  // namespace
