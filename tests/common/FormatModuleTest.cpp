#include "FormatModule.h"

#include <gtest/gtest.h>
#include "QtPrinters.h"

#include <limits>

using namespace sonavel;

TEST(FormatTime, DayAndHourBoundaries) {
    EXPECT_EQ(FormatTime(0), "00:00");
    EXPECT_EQ(FormatTime(59.9), "00:59");
    EXPECT_EQ(FormatTime(3599.99), "59:59");
    EXPECT_EQ(FormatTime(3600), "01:00:00");
    EXPECT_EQ(FormatTime(3725), "01:02:05");
    EXPECT_EQ(FormatTime(36000), "10:00:00");
    EXPECT_EQ(FormatTime(86399.5), "23:59:59");
    EXPECT_EQ(FormatTime(86400), "1 day ");
    EXPECT_EQ(FormatTime(90000), "1 day 01:00:00");
    EXPECT_EQ(FormatTime(90061), "1 day 01:01:01");
    EXPECT_EQ(FormatTime(172800), "2 days ");
    EXPECT_EQ(FormatTime(172800 + 65), "2 days 00:01:05");
}

// Lengths the player could not measure must not crash or print garbage.
TEST(FormatTime, UnmeasurableDurationsShowAsZero) {
    EXPECT_EQ(FormatTime(-5), "00:00");
    EXPECT_EQ(FormatTime(std::numeric_limits<double>::quiet_NaN()), "00:00");
    EXPECT_EQ(FormatTime(std::numeric_limits<double>::infinity()), "00:00");
    EXPECT_EQ(FormatEstTime(-90061), "00:00:00");
    EXPECT_FALSE(FormatTime(1e300).isEmpty());
}

TEST(FormatEstTime, AlwaysShowsHoursAndDropsDays) {
    EXPECT_EQ(FormatEstTime(65), "00:01:05");
    EXPECT_EQ(FormatEstTime(86400), "00:00:00");
    EXPECT_EQ(FormatEstTime(90061), "01:01:01");
}

TEST(FormatPlaylistName, WeekdayAndTwelveHourClock) {
    EXPECT_EQ(FormatPlaylistName("/x/Mon0900.lst"), "Monday 09:00 AM");
    EXPECT_EQ(FormatPlaylistName("/x/Sat1300.lst"), "Saturday 1:00 PM");
    EXPECT_EQ(FormatPlaylistName("/x/sun1200.m3u"), "Sunday 12:00 PM");
    EXPECT_EQ(FormatPlaylistName("/x/Fri2300.lst"), "Friday 11:00 PM");
    EXPECT_EQ(FormatPlaylistName("/x/THU0000.lst"), "Thursday 00:00 AM");
    EXPECT_EQ(FormatPlaylistName("/x/MoN0900.lst"), " 09:00 AM");
    EXPECT_EQ(FormatManualPlaylistName("/home/dj/Playlists/Mon0900.lst"), "Mon0900");

    EXPECT_EQ(FormatTimeCheck("0915"), "Time Check: 09:15 AM");
    EXPECT_EQ(FormatTimeCheck("1745"), "Time Check: 5:45 PM");
}

TEST(IsSoundFile, ContainmentAndPositionRules) {
    EXPECT_TRUE(IsSoundFile("JINGLE.WAV"));
    EXPECT_TRUE(IsSoundFile("xy.wav"));
    EXPECT_FALSE(IsSoundFile("x.wav"));
    EXPECT_FALSE(IsSoundFile(".wav"));
    EXPECT_TRUE(IsSoundFile("ab.wav.txt"));
    EXPECT_TRUE(IsSoundFile("c:/x.rmfiles/notes"));
    // Only the first occurrence of an extension is judged.
    EXPECT_FALSE(IsSoundFile("a.wav.wav"));
    // Positions count in the line as written: lower-casing "İ" makes two
    // characters of it, which must not carry ".wav" into range.
    EXPECT_FALSE(IsSoundFile(u8"İ.wav.txt"));
    EXPECT_TRUE(IsSoundFile(u8"Çİ.WAV"));

    EXPECT_TRUE(IsSoundFile(":TIMECHECK"));
    EXPECT_TRUE(IsSoundFile("x:timecheck"));

    EXPECT_FALSE(IsSoundFile(""));
    EXPECT_FALSE(IsSoundFile("; jingle.wav"));
    EXPECT_FALSE(IsSoundFile("#jingle.wav"));
    EXPECT_FALSE(IsSoundFile(" jingle.wav"));
    EXPECT_FALSE(IsSoundFile(" :timecheck"));
}

TEST(PathFunctions, SplitAtLastSeparatorFromThirdCharacter) {
    EXPECT_EQ(GetFilePath("C:/Logs/Error.log"), "C:/Logs/");
    EXPECT_EQ(GetFilePath("C:/a"), "C:/");
    EXPECT_EQ(GetFilePath("a/b"), "");

    EXPECT_EQ(GetFileName("C:/Logs/"), "");

    EXPECT_EQ(RemoveExtension("Mon0900.lst"), "Mon0900");
    EXPECT_EQ(RemoveExtension("/a/song.live.mp3"), "/a/song.live");
    EXPECT_EQ(RemoveExtension("a.b"), "a.b");
    // The program folder lives below a hidden folder: its dot is no extension.
    const QString folder = "/home/op/.local/share/Sonavel";
    EXPECT_EQ(RemoveExtension(folder + "/Playlists/Morning"), folder + "/Playlists/Morning");
    EXPECT_EQ(FormatManualPlaylistName(folder + "/Playlists/Morning"), "Morning");
    EXPECT_EQ(RemoveExtension(folder + "/Logs/errors"), folder + "/Logs/errors");
    EXPECT_EQ(RemoveExtension(folder + "/Logs/Error.log"), folder + "/Logs/Error");
    EXPECT_EQ(RemoveExtension("/home/op/.profile"), "/home/op/.profile");

    EXPECT_EQ(FormatElementName("/music/Jingles/Station ID.wav"), "Station ID");
    EXPECT_EQ(FormatElementName(":timecheck"), "timecheck");
}

TEST(NameTables, OutOfRangeGivesEmptyText) {
    EXPECT_EQ(HourName(0), "0000");
    EXPECT_EQ(HourName(23), "2300");
    EXPECT_EQ(HourName(24), "");
    EXPECT_EQ(HourName(-1), "");

    EXPECT_EQ(WeekdayToken(7), "Sat");
    EXPECT_EQ(WeekdayName(7), "Saturday");
    EXPECT_EQ(WeekdayToken(0), "");
    EXPECT_EQ(WeekdayName(8), "");
}
