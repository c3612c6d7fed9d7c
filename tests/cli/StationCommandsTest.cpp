#include "CapturedConsole.h"
#include "ClockEstimate.h"
#include "ClockModule.h"
#include "CommonModule.h"
#include "ConsoleDialogs.h"
#include "DemoSounds.h"
#include "DemoStation.h"
#include "KeywordModule.h"
#include "LoudnessSettings.h"
#include "RunningCopy.h"
#include "Session.h"
#include "SettingsStore.h"
#include "TextFile.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QIODevice>
#include <QSet>
#include <QTemporaryDir>
#include <cmath>
#include <iterator>

using namespace sonavel;

namespace {

struct SoundInfo {
    int rate = 0;
    int channels = 0;
    double seconds = 0.0;
};

SoundInfo ReadInfo(const QString& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file) return {};
    sf_close(file);
    return {info.samplerate, info.channels, double(info.frames) / info.samplerate};
}

QStringList Files(const QString& folder) {
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

class StationCommandsTest : public ::testing::Test {
  protected:
    // A demo station in tones: the same with or without espeak-ng installed.
    StationPaths MakeDemo() {
        CapturedConsole console;
        EXPECT_EQ(console.Run({"demo-station", "--tones", stationDir}), kExitSuccess)
            << console.errText.toStdString();
        StationPaths paths = DemoStationPaths(stationDir);
        paths.creatorLock = m_dir.filePath(QStringLiteral("creator.lock"));
        return paths;
    }

    // A session on the station as Creator and Player would open it.
    struct Opened {
        explicit Opened(const StationPaths& paths)
            : store(paths.settingsFile),
              dialogs(in, err, ConsoleDialogs::Answering::Refuse),
              session(Product::Creator, paths.programFolder, store, dialogs, clock) {}
        SettingsStore store;
        QString inText, errText;
        QTextStream in{&inText, QIODevice::ReadOnly};
        QTextStream err{&errText, QIODevice::WriteOnly};
        ConsoleDialogs dialogs;
        SystemClock clock;
        Session session;
    };

    // Creator's clock estimate works on every clock of the station as it
    // comes, and each clock fills its hour.
    static void ExpectEstimatesFillTheHour(Session& session, KeywordModule& keywords) {
        ASSERT_TRUE(keywords.GetKeywordDefinitions());
        QStringList clockFiles = {ClockModule(session, keywords).DefaultClockPath()};
        for (const QString& name : Files(session.Creator.ClockFolder))
            clockFiles << session.Creator.ClockFolder + '/' + name;
        for (const QString& path : clockFiles) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
            const ClockTimeEstimate estimate = ClockEstimate::Estimate(
                QString::fromUtf8(file.readAll()), keywords.KeywordDefinitions, true);
            EXPECT_EQ(estimate.problem, ClockTimeEstimate::Problem::None)
                << path.toStdString() << ": " << estimate.invalidKeyword.toStdString();
            EXPECT_GT(estimate.total, 3600) << path.toStdString();
            EXPECT_LT(estimate.total, 3600 + 300) << path.toStdString();
        }
    }

    QTemporaryDir m_dir;
    // Not there yet: the command makes it.
    QString stationDir = m_dir.filePath(QStringLiteral("station"));
};

TEST_F(StationCommandsTest, DemoStationHoldsWhatBothProgramsNeedToPlayByThemselves) {
    const StationPaths paths = MakeDemo();
    EXPECT_EQ(paths.settingsFile, stationDir + "/config/Sonavel/settings.db");
    EXPECT_EQ(paths.programFolder, stationDir + "/data/Sonavel");
    Opened opened(paths);
    Session& session = opened.session;

    ASSERT_TRUE(ReadPlayerSettings(session));
    EXPECT_TRUE(session.Player.Automatic);
    EXPECT_FALSE(session.Player.Manual);
    EXPECT_FALSE(session.Player.DisplaySplash);
    EXPECT_TRUE(session.ProgramLoggingEnabled);
    EXPECT_TRUE(session.ErrorLoggingEnabled);
    const QString folder = paths.programFolder;
    EXPECT_EQ(session.Player.PlaylistFolder, folder + "/Playlists");
    EXPECT_EQ(session.Player.TimeCheckFolder, folder + "/Time");
    // Its sounds come at different levels, and air evened out.
    const LoudnessSettings loudness = ReadLoudnessSettings(session);
    EXPECT_TRUE(loudness.Enabled);
    EXPECT_EQ(loudness.Target, -23.0);
    ASSERT_TRUE(ReadCreatorSettings(session));
    EXPECT_FALSE(session.Creator.DisplaySplash);
    EXPECT_EQ(session.Creator.PlaylistFolder, folder + "/Playlists");
    EXPECT_EQ(session.Creator.ClockFolder, folder + "/Clocks");
    EXPECT_EQ(session.Creator.PlaylistExtension, ".lst");

    // Five keywords of sounds, each its own colour, and the time checks'.
    KeywordModule keywords(session);
    ASSERT_TRUE(keywords.GetKeywordDefinitions());
    QStringList names;
    QSet<std::int32_t> colors;
    for (const KeywordDefinition& keyword : keywords.KeywordDefinitions) {
        names << keyword.Keyword;
        colors << keyword.Color;
    }
    EXPECT_EQ(names, (QStringList{"Music Bed A", "Music Bed B", "Jingle", "Station ID", "Promo",
                                  ":TimeCheck"}));
    EXPECT_EQ(colors.size(), 6);

    // Every keyword's sounds as long as a station's, and its stored time what
    // Keyword Maintenance would calculate from them: the average of whole
    // seconds (halves to even), rounded down.
    const struct {
        const char* keyword;
        double shortest, longest;
    } lengths[] = {{"Music Bed A", 20, 40}, {"Music Bed B", 20, 40}, {"Jingle", 3, 6},
                   {"Station ID", 2, 4},    {"Promo", 8, 15},        {":TimeCheck", 2, 3}};
    ASSERT_EQ(std::size(lengths), keywords.KeywordDefinitions.size());
    for (const auto& expected : lengths) {
        const KeywordDefinition* keyword = keywords.FindKeyword(expected.keyword);
        ASSERT_NE(keyword, nullptr);
        const QStringList files = Files(keyword->Folder);
        EXPECT_GE(files.size(), 3) << expected.keyword;
        qint64 whole = 0;
        for (const QString& name : files) {
            const SoundInfo sound = ReadInfo(keyword->Folder + '/' + name);
            EXPECT_GE(sound.seconds, expected.shortest - 0.01) << name.toStdString();
            EXPECT_LE(sound.seconds, expected.longest + 0.01) << name.toStdString();
            whole += static_cast<qint64>(std::nearbyint(sound.seconds));
        }
        EXPECT_EQ(keyword->EstimatedTime, whole / files.size()) << expected.keyword;
    }

    // One announcement for every minute of the day, small ones.
    const KeywordDefinition* timeCheck = keywords.FindKeyword(":timecheck");
    ASSERT_NE(timeCheck, nullptr);
    EXPECT_EQ(timeCheck->Folder, session.Player.TimeCheckFolder);
    QStringList expectedNames;
    for (int h = 0; h < 24; ++h) {
        for (int m = 0; m < 60; ++m)
            expectedNames
                << QStringLiteral("%1%2.wav").arg(h, 2, 10, QChar('0')).arg(m, 2, 10, QChar('0'));
    }
    EXPECT_EQ(Files(timeCheck->Folder), expectedNames);
    const SoundInfo announcement = ReadInfo(timeCheck->Folder + "/0905.wav");
    EXPECT_EQ(announcement.rate, 8000);
    EXPECT_EQ(announcement.channels, 1);

    // Clocks that name only defined keywords; the mornings have their own.
    ClockModule clocks(session, keywords);
    ASSERT_TRUE(clocks.ReadDefaultClockLines());
    EXPECT_FALSE(clocks.InvalidKeywordFound);
    EXPECT_EQ(clocks.DefaultClockLines.front(), ":TimeCheck");
    EXPECT_FALSE(clocks.DefaultClockLines.contains(QString())) << "no empty entry at the end";
    QStringList mornings;
    for (const char* day : {"Mon", "Tue", "Wed", "Thu", "Fri"}) {
        for (const char* hour : {"06", "07", "08", "09"})
            mornings << QLatin1String(day) + QLatin1String(hour) + QStringLiteral("00.clk");
    }
    mornings.sort();
    EXPECT_EQ(Files(session.Creator.ClockFolder), mornings);
    EXPECT_TRUE(clocks.LoadHourlyClock(folder + "/Playlists/Wed0800.lst"));
    EXPECT_NE(clocks.HourlyClockLines, clocks.DefaultClockLines);
    EXPECT_FALSE(clocks.LoadHourlyClock(folder + "/Playlists/Sat0800.lst"));
    // Creator's preview estimates the demo's clocks: every keyword's time is
    // one the estimate accepts, and the default clock fills its hour.
    const ClockTimeEstimate estimate =
        ClockEstimate::Estimate(textfile::ReadLines(clocks.DefaultClockPath()).join(kCrLf),
                                keywords.KeywordDefinitions, true);
    EXPECT_EQ(estimate.problem, ClockTimeEstimate::Problem::None)
        << estimate.invalidKeyword.toStdString();
    EXPECT_GT(estimate.total, 3600);
    EXPECT_TRUE(opened.errText.isEmpty()) << opened.errText.toStdString();
    ExpectEstimatesFillTheHour(session, keywords);

    qint64 bytes = 0;
    QDirIterator all(stationDir, QDir::Files, QDirIterator::Subdirectories);
    while (all.hasNext())
        bytes += all.nextFileInfo().size();
    EXPECT_LT(bytes, 60'000'000);
}

TEST_F(StationCommandsTest, DemoStationSpeaksWhenEspeakNgIsInstalled) {
    if (!demo::SpeechAvailable()) GTEST_SKIP() << "espeak-ng is not installed";
    CapturedConsole console;
    ASSERT_EQ(console.Run({"demo-station", stationDir}), kExitSuccess);
    EXPECT_TRUE(console.outText.contains(", spoken by espeak-ng, "));
    const QString folder = DemoStationPaths(stationDir).programFolder;
    // Every announcement is the station's name, the hour and the minute:
    // spoken, they take as long as a station's time check.
    const SoundInfo nine = ReadInfo(folder + "/Time/0905.wav");
    EXPECT_EQ(nine.rate, 8000);
    EXPECT_GT(nine.seconds, 2.0);
    EXPECT_LT(nine.seconds, 4.0);
    EXPECT_GT(ReadInfo(folder + "/Time/2359.wav").seconds, nine.seconds);
    for (const QString& name : Files(folder + "/Sounds/Station ID")) {
        const SoundInfo id = ReadInfo(folder + "/Sounds/Station ID/" + name);
        EXPECT_GE(id.seconds, 1.0);
        EXPECT_LE(id.seconds, 4.5);
    }
    Opened opened(DemoStationPaths(stationDir));
    KeywordModule keywords(opened.session);
    ASSERT_TRUE(ReadCreatorSettings(opened.session));
    ExpectEstimatesFillTheHour(opened.session, keywords);
}

TEST_F(StationCommandsTest, DemoStationIsNeverWrittenOverExistingFiles) {
    QDir().mkpath(stationDir);
    QFile kept(stationDir + "/.settings");
    ASSERT_TRUE(kept.open(QIODevice::WriteOnly));
    kept.close();
    CapturedConsole occupied;
    EXPECT_EQ(occupied.Run({"demo-station", stationDir}), kExitFailure);
    EXPECT_TRUE(occupied.errText.contains(stationDir + " is not an empty folder"));
    EXPECT_EQ(QDir(stationDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{".settings"});

    CapturedConsole aFile;
    EXPECT_EQ(aFile.Run({"demo-station", kept.fileName()}), kExitFailure);
    EXPECT_EQ(QFile(kept.fileName()).size(), 0);
}

TEST_F(StationCommandsTest, CreatePlaylistsWritesTheDemoWeekHourByHour) {
    const StationPaths paths = MakeDemo();
    // The week alone: measuring its 1,458 files is the loudness tests' work.
    {
        Opened opened(paths);
        LoudnessSettings off;
        WriteLoudnessSettings(opened.session, off);
    }
    CapturedConsole console;
    ASSERT_EQ(console.Run({"create-playlists", "--yes"}, paths), kExitSuccess)
        << console.errText.toStdString();
    EXPECT_TRUE(
        console.errText.contains("Ready to Create Playlists: Creator is ready to create "
                                 "playlists in folder:\n" +
                                 paths.programFolder + "/Playlists\n"));
    EXPECT_TRUE(console.errText.endsWith("(168 of 168)\nAll Playlists Have Been Created.\n"));

    const QString playlists = paths.programFolder + "/Playlists";
    EXPECT_EQ(Files(playlists).size(), 168);
    EXPECT_TRUE(QFile::exists(playlists + "/Sun0000.lst"));
    EXPECT_TRUE(QFile::exists(playlists + "/Sat2300.lst"));
    auto lines = [&](const QString& name) {
        QFile file(playlists + '/' + name);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        QStringList read = QString::fromUtf8(file.readAll()).split("\r\n");
        EXPECT_EQ(read.takeLast(), QString()) << "every line ends with CR LF";
        return read;
    };
    // The morning clock opens with a jingle, the default clock with an ID.
    const QStringList monday = lines("Mon0700.lst");
    const QStringList saturday = lines("Sat0700.lst");
    ASSERT_GT(monday.size(), 100);
    ASSERT_GT(saturday.size(), 100);
    EXPECT_EQ(monday[0], ":TimeCheck");
    EXPECT_TRUE(monday[1].startsWith(paths.programFolder + "/Sounds/Jingle/"));
    EXPECT_TRUE(saturday[1].startsWith(paths.programFolder + "/Sounds/Station ID/"));
    for (const QString& line : monday + saturday) {
        if (line != ":TimeCheck") {
            EXPECT_TRUE(QFile::exists(line)) << line.toStdString();
        }
    }
}

TEST_F(StationCommandsTest, CreatePlaylistsFailingLeavesEveryPlaylistAsItWas) {
    const StationPaths paths = MakeDemo();
    const QString jingles = paths.programFolder + "/Sounds/Jingle";
    const QString playlists = paths.programFolder + "/Playlists";

    // Creator running: the command keeps off its files.
    {
        RunningCopyLock creator(paths.creatorLock);
        CapturedConsole console;
        EXPECT_EQ(console.Run({"create-playlists", "--yes"}, paths), kExitFailure);
        EXPECT_TRUE(console.errText.startsWith("sonavel: Sonavel Creator is running"));
    }

    // Without a terminal and without --yes the confirmation is answered No.
    {
        CapturedConsole console(QStringLiteral("y\n"), false);
        EXPECT_EQ(console.Run({"create-playlists"}, paths), kExitFailure);
        EXPECT_TRUE(console.errText.endsWith("Is this what you want to do?\n  -> No\n"));
    }

    // A keyword folder without files stops the run at the checks.
    const QStringList kept = Files(jingles);
    for (const QString& name : kept)
        ASSERT_TRUE(QFile::rename(jingles + '/' + name, m_dir.filePath(name)));
    {
        CapturedConsole console;
        EXPECT_EQ(console.Run({"create-playlists", "--yes"}, paths), kExitFailure);
        EXPECT_TRUE(console.errText.contains("Invalid Folder: Invalid folder: " + jingles +
                                             "\n\nKeyword: Jingle\n\nFolder not found or folder "
                                             "contains no valid files\n\nRun Keyword "
                                             "Maintenance\n"));
        EXPECT_TRUE(console.errText.contains(
            "Unable to Create Playlists: Creator has encountered an error and cannot create "
            "playlists.\n"));
        EXPECT_FALSE(console.errText.contains("Ready to Create Playlists"));
    }
    EXPECT_TRUE(Files(playlists).isEmpty());

    // A playlist that cannot be written ends the run with its path.
    for (const QString& name : kept)
        ASSERT_TRUE(QFile::rename(m_dir.filePath(name), jingles + '/' + name));
    ASSERT_TRUE(QDir(playlists).removeRecursively());
    QFile blocker(playlists);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    {
        CapturedConsole console;
        EXPECT_EQ(console.Run({"create-playlists", "--yes"}, paths), kExitFailure);
        EXPECT_TRUE(console.errText.contains(
            "Unable to Create Playlist: Creator has encountered an error creating playlist: "
            "\n\n" +
            playlists + "/Sun0000.lst\n"));
        EXPECT_FALSE(console.errText.contains("All Playlists Have Been Created."));
    }
}

TEST_F(StationCommandsTest, CreatePlaylistsOnAFreshAccountWritesTheDefaultsWithoutWelcome) {
    StationPaths paths = DemoStationPaths(stationDir);
    paths.creatorLock = m_dir.filePath("creator.lock");
    CapturedConsole console;
    EXPECT_EQ(console.Run({"create-playlists", "--yes"}, paths), kExitFailure);
    EXPECT_FALSE(console.errText.contains("First Time Use"));
    EXPECT_TRUE(
        console.errText.contains("No Keyword Definitions Found: Unable to find any "
                                 "Keyword definitions."));

    Opened opened(paths);
    EXPECT_TRUE(ReadCreatorSettings(opened.session));
    EXPECT_TRUE(ReadPlayerSettings(opened.session));
    EXPECT_EQ(opened.session.Creator.PlaylistFolder, paths.programFolder + "/Playlists");
    for (const QString& folder : WorkingFolders(opened.session))
        EXPECT_TRUE(QDir(folder).exists()) << folder.toStdString();
    EXPECT_TRUE(opened.errText.isEmpty());
}

}  // namespace
