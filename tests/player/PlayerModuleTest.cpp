#include "ErrorModule.h"
#include "Events.h"
#include "FakeMediaPlayer.h"
#include "PlayerEngineTest.h"
#include "PlayerModule.h"
#include "TempFolder.h"
#include "TextFile.h"

#include <sys/stat.h>
#include <QDir>
#include <QFile>
#include <QTimer>

using namespace sonavel;

namespace {

class PlayerModuleTest : public PlayerEngineTest {
  protected:
    PlayerModuleTest() {
        session.Player.Manual = false;
        engine.ApplySettings();
    }

    QString Folder(const QString& name) {
        QDir(m_dir.path()).mkpath(name);
        return Path(name);
    }
    QString List(const QString& folder, const QString& name, const QStringList& lines) {
        QString path = QDir(folder).filePath(name);
        textfile::WriteLines(path, lines);
        return path;
    }
    void At(int year, int month, int day, int hour, int minute, int second = 0) {
        m_clock.Set(QDateTime(QDate(year, month, day), QTime(hour, minute, second)));
    }
    QString Log(const char* name) {
        return textfile::Exists(Path(name)) ? textfile::ReadAll(Path(name)) : QString();
    }
};

TEST_F(PlayerModuleTest, HourPlaylistIsNamedByWeekdayAndHour) {
    const QString lists = m_session->Player.PlaylistFolder;
    const struct {
        QDateTime when;
        const char* file;
    } cases[] = {
        {QDateTime(QDate(2026, 12, 6), QTime(0, 30)), "Sun0000.lst"},   // a Sunday
        {QDateTime(QDate(2026, 12, 9), QTime(10, 0)), "Wed1000.lst"},   // no extra zero
        {QDateTime(QDate(2026, 12, 7), QTime(9, 41)), "Mon0900.lst"},   // minutes dropped
        {QDateTime(QDate(2026, 12, 12), QTime(23, 5)), "Sat2300.lst"},  // last hour
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        List(lists, c.file, {"/sounds/" + QString(c.file) + ".wav"});
        m_clock.Set(c.when);
        ASSERT_TRUE(engine.GetCurrentHourPlaylist());
        EXPECT_EQ(engine.PlaylistFileName, lists + "/" + c.file);
        EXPECT_EQ(engine.LastElement, 1);
        EXPECT_TRUE(engine.PlaylistLoaded);
    }
}

TEST_F(PlayerModuleTest, OnlySoundLinesBecomeElementsAndStayAsWritten) {
    At(2026, 12, 7, 9, 0);
    List(m_session->Player.PlaylistFolder, "Mon0900.lst",
         {"; a comment", "' another", "# and one more", "", " /sounds/lead.wav",
          "/Sounds/jingle.WAV", ":timecheck", "x.wav", "  :TimeCheck", "/music/song.mp3 -- live",
          ":TimeCheck"});
    ASSERT_TRUE(engine.GetCurrentHourPlaylist());
    EXPECT_EQ(engine.LastElement, 4);
    EXPECT_EQ(engine.ProgramElements, (QStringList{"/Sounds/jingle.WAV", ":timecheck",
                                                   "/music/song.mp3 -- live", ":TimeCheck"}));
    EXPECT_EQ(engine.Element(4), ":TimeCheck");
    EXPECT_EQ(engine.Element(5), "");

    // Comments, blanks and space-led lines only: read, but nothing to play.
    List(m_session->Player.PlaylistFolder, "Mon0900.lst",
         {"; only", "' notes", "", " /sounds/indented.wav", "# here"});
    ASSERT_TRUE(engine.GetCurrentHourPlaylist());
    EXPECT_EQ(engine.LastElement, 0);
    EXPECT_TRUE(engine.ProgramElements.isEmpty());
}

TEST_F(PlayerModuleTest, MissingHourPlaylistOffersTheFolderOrManualMode) {
    At(2026, 12, 7, 9, 15);
    const QString lists = m_session->Player.PlaylistFolder;
    // Written with the other extension: never found by the hour rule.
    List(lists, "Mon0900.m3u", {"/sounds/a.wav"});
    const QString elsewhere = Folder("elsewhere");
    List(elsewhere, "Mon0900.lst", {"/sounds/found.wav"});

    m_dialogs.ExpectMessage("Sonavel Player", MsgResult::OK)
        .ExpectFolder(elsewhere)
        .ExpectMessage("Sonavel Player");
    ASSERT_TRUE(engine.GetCurrentHourPlaylist());
    const MessageRequest asked = m_dialogs.Messages().front();
    EXPECT_EQ(asked.prompt, "The playlist file for the current hour cannot be located in " + lists +
                                ".\r\nClick 'OK' to set the Playlist Folder, Click 'Cancel' to "
                                "exit Automatic Mode.");
    EXPECT_EQ(asked.icon, MsgIcon::Critical);
    EXPECT_EQ(asked.buttons, MsgButtons::OKCancel);
    EXPECT_EQ(engine.ProgramElements, QStringList{"/sounds/found.wav"});
    EXPECT_EQ(m_session->Player.PlaylistFolder, elsewhere);

    // A blank file, then Cancel: manual mode, told and logged.
    List(elsewhere, "Mon0900.lst", {});
    m_dialogs.Clear();
    m_dialogs.ExpectMessage("Sonavel Player", MsgResult::Cancel).ExpectMessage("Sonavel Player");
    EXPECT_FALSE(engine.GetCurrentHourPlaylist());
    EXPECT_TRUE(m_dialogs.Messages().front().prompt.startsWith(
        "The playlist file for the current hour is blank.\r\nClick 'OK'"));
    EXPECT_EQ(m_dialogs.LastMessage().prompt, "Click 'OK' to set Manual Playlist Selection mode.");
    EXPECT_EQ(m_dialogs.LastMessage().icon, MsgIcon::None);
    EXPECT_TRUE(engine.ManualMode);
    EXPECT_FALSE(engine.AutomaticMode);
    EXPECT_TRUE(window.shown.openPlaylistEnabled);
    EXPECT_EQ(window.shown.mode, "Manual Playlist Selection Mode");
    EXPECT_EQ(window.shown.playlist, "No Playlist is Loaded");
    EXPECT_FALSE(window.shown.playlistPaneEnabled);
    EXPECT_TRUE(Log("program.log").contains("Manual playlist selection mode set"));

    // The program ends while the box is open (a signal closes it): neither
    // answer was given, and nothing of either runs after "Program Ended".
    engine.AutomaticMode = true;
    engine.ManualMode = false;
    m_dialogs.Clear();
    m_dialogs.ExpectMessage("Sonavel Player", MsgResult::Cancel).WhileOpen([this] {
        engine.EndComing();
        QTimer::singleShot(0, [this] {
            LogEvent(session, QStringLiteral("Program Ended"));
            engine.StopForExit();
        });
    });
    EXPECT_FALSE(engine.GetCurrentHourPlaylist());
    DoEvents();
    EXPECT_EQ(m_dialogs.Messages().size(), 1u) << "a box after the end";
    EXPECT_TRUE(Log("program.log").trimmed().endsWith("Program Ended"));
    EXPECT_TRUE(engine.AutomaticMode);
}

TEST_F(PlayerModuleTest, UnusablePlaylistPlacesEndClearlyWithoutACrash) {
    At(2026, 12, 7, 9, 0);
    // A folder where the hour's file should be: no box, an error-log entry.
    QDir(m_session->Player.PlaylistFolder).mkpath("Mon0900.lst");
    EXPECT_FALSE(engine.GetCurrentHourPlaylist());
    EXPECT_TRUE(Log("error.log").contains("Mon0900.lst"));

    // A Playlist Folder that is a file counts as a folder that is not there.
    textfile::WriteAll(Path("notafolder"), "x");
    m_session->Player.PlaylistFolder = Path("notafolder");
    m_dialogs.ExpectMessage("Sonavel Player", MsgResult::Cancel).ExpectMessage("Sonavel Player");
    EXPECT_FALSE(engine.GetCurrentHourPlaylist());
    EXPECT_TRUE(m_dialogs.Messages().front().prompt.contains("cannot be located"));

    // Damaged bytes load; a runaway file stops at what the element count holds.
    QFile damaged(Path("damaged.lst"));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write(QByteArray("/sounds/a\0b.wav\r\n/sounds/\xff\xfe.wav\r\n", 34));
    damaged.close();
    m_dialogs.ExpectFile(Path("damaged.lst"), "Load Playlist");
    ASSERT_TRUE(engine.LoadPlaylist());
    EXPECT_EQ(engine.LastElement, 2);

    QStringList many;
    for (int i = 0; i < 100000; ++i)
        many << QStringLiteral("/sounds/spot%1.wav").arg(i);
    const QString big = List(Path(""), "big.lst", many);
    m_dialogs.ExpectFile(big, "Load Playlist");
    ASSERT_TRUE(engine.LoadPlaylist());
    EXPECT_EQ(engine.LastElement, 32767);
    EXPECT_EQ(engine.Element(32767), "/sounds/spot32766.wav");
    EXPECT_TRUE(Log("error.log").contains("67233 were not loaded"));
}

TEST_F(PlayerModuleTest, PlaylistThatIsAPipeOrADeviceIsRefusedAtOnce) {
    At(2026, 12, 7, 9, 0);
    // The hour's playlist is a pipe nobody writes to: the open must not wait.
    ASSERT_TRUE(QDir().mkpath(m_session->Player.PlaylistFolder));
    const QString hour = m_session->Player.PlaylistFolder + "/Mon0900.lst";
    ASSERT_EQ(::mkfifo(QFile::encodeName(hour).constData(), 0600), 0);
    EXPECT_FALSE(engine.GetCurrentHourPlaylist());
    EXPECT_FALSE(engine.PlaylistLoaded);
    EXPECT_TRUE(Log("error.log").contains("Mon0900.lst"));

    // A recent playlist now linked to a device is not read without end, and
    // the list on air plays on.
    const QString playing = List(Path(""), "playing.lst", {"/sounds/one.wav"});
    m_dialogs.ExpectFile(playing, "Load Playlist");
    ASSERT_TRUE(engine.LoadPlaylist());
    const QString zero = Path("zero.lst");
    ASSERT_TRUE(QFile::link("/dev/zero", zero));
    engine.LoadRecentPlaylist(zero);
    EXPECT_EQ(engine.PlaylistFileName, playing);
    EXPECT_EQ(engine.LastElement, 1);
    EXPECT_TRUE(Log("error.log").contains("zero.lst"));
}

TEST_F(PlayerModuleTest, LoadPlaylistDialogStartsWhereTheOperatorLastWas) {
    const QString lists = m_session->Player.PlaylistFolder;
    const QString first = List(lists, "morning.lst", {"/sounds/one.wav", "/sounds/two.wav"});

    m_dialogs.ExpectFile(first, "Load Playlist");
    ASSERT_TRUE(engine.LoadPlaylist());
    const FileDialogRequest& asked = m_dialogs.Shown().back().file;
    EXPECT_EQ(asked.filter, "Sonavel Playlists (*.lst)|*.lst");
    EXPECT_EQ(asked.initialFolder, lists);
    EXPECT_EQ(engine.LastElement, 2);
    EXPECT_EQ(m_session->Player.LastFileOpened, first);
    EXPECT_EQ(window.entries.Shown(), QStringList{"&1 " + first});

    // Cancel and a file that vanished change nothing of the list in memory.
    engine.PlayerRunning = true;
    m_dialogs.ExpectFile(std::nullopt).ExpectFile(Path("gone/away.lst"));
    EXPECT_FALSE(engine.LoadPlaylist());
    EXPECT_FALSE(engine.LoadPlaylist());
    EXPECT_TRUE(engine.PlayerRunning);
    EXPECT_EQ(engine.PlaylistFileName, first);
    EXPECT_EQ(engine.LastElement, 2);
    // The last file's folder wins over the Playlist Folder.
    m_session->Player.PlaylistFolder = Path("other");
    m_dialogs.ExpectFile(std::nullopt);
    EXPECT_FALSE(engine.LoadPlaylist());
    EXPECT_EQ(m_dialogs.Shown().back().file.initialFolder, lists + "/");

    m_session->Player.LastFileOpened.clear();
    m_session->Player.PlaylistFolder.clear();
    m_dialogs.ExpectFile(std::nullopt);
    EXPECT_FALSE(engine.LoadPlaylist());
    EXPECT_EQ(m_dialogs.Shown().back().file.initialFolder, ProgramFolder() + "/Playlists");
}

TEST_F(PlayerModuleTest, HourCountdownChangesColourAtAMinuteAndTenSeconds) {
    At(2026, 12, 8, 14, 37);
    List(m_session->Player.PlaylistFolder, "Tue1400.lst", {"/sounds/a.wav"});
    ASSERT_TRUE(engine.GetCurrentHourPlaylist());
    engine.PlayerRunning = true;
    engine.PlaylistStartHour = 14;
    engine.HourEndSeconds = 15 * 3600;

    const struct {
        int minute, second;
        const char* shown;
        Rgb colour;
        int bar;
    } cases[] = {
        {58, 59, "01:01", playercolor::kGreen, 3539},
        {59, 0, "01:00", playercolor::kYellow, 3540},
        {59, 49, "00:11", playercolor::kYellow, 3589},
        {59, 50, "00:10", playercolor::kLightRed, 3590},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        At(2026, 12, 8, 14, c.minute, c.second);
        engine.ShowPlaylistStatus();
        EXPECT_EQ(window.shown.playlistRemaining, c.shown);
        EXPECT_EQ(window.shown.playlistRemainingColor, c.colour);
        EXPECT_EQ(window.shown.playlistBarValue, c.bar);
    }
    EXPECT_EQ(window.shown.mode, "Automatic Playlist Selection Mode");
    EXPECT_EQ(window.shown.playlist, "Current Playlist: Tuesday 2:00 PM");
    EXPECT_EQ(window.shown.playlistTime, "60:00");

    // Past the hour the old list's last element counts down instead.
    At(2026, 12, 8, 15, 0, 3);
    player1.SetDuration("/sounds/a.wav", 30);
    player1.SetFileName("/sounds/a.wav");
    player1.Play();
    player1.SetCurrentPosition(12);
    engine.ShowPlaylistStatus();
    EXPECT_EQ(window.shown.playlistRemaining, "00:18");
}

}  // namespace
