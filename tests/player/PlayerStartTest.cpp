#include "CommonModule.h"
#include "FakeMainWindow.h"
#include "PlayerEngineTest.h"
#include "PlayerStart.h"
#include "ProgramOpen.h"
#include "RecentFiles.h"
#include "TextFile.h"

#include <QFile>
#include <QTimer>

using namespace sonavel;

namespace {

class FakeStartWindow final : public FakeMainWindow<PlayerMainWindow> {
  public:
    void SetApplicationLabel(const QString& text) override { journal << "Label " + text; }
    void HidePlayer() override { journal << QStringLiteral("Hide"); }
    void SetTrayTip(const QString& tip) override { journal << "Tip " + tip; }
};

// Player started on a station whose settings are in the store.
class PlayerStartTest : public PlayerEngineTest {
  protected:
    PlayerStartTest() { m_clock.Set(QDateTime(QDate(2026, 12, 7), QTime(10, 15, 0))); }
    void Station() {
        SetRegistryDefaults(session);
        Set("Automatic", "True");
        Set("Manual", "False");
        Set("Program Logging Enabled", "True");
        Set("Program Log File Name", Path("program.log"));
        Set("Playlist Folder", Path("Playlists"));
        Set("Window State", "2");
        Set("Position Left", "1200");
        Set("Position Top", "900");
        Set("Width", "9000");
        Set("Height", "7000");
        textfile::WriteLines(Path("Playlists/Mon1000.lst"), {"/snd/a.wav", "/snd/b.wav"});
    }
    void Set(const char* key, const QString& value) {
        m_store->SaveSetting(kAppName, kPlayerSection, QString::fromLatin1(key), value);
    }
    bool Start() { return StartPlayer(session, engine, start, exitCode); }
    QStringList Log() const {
        QStringList lines;
        if (QFile::exists(Path("program.log"))) {
            for (const QString& line : textfile::ReadLines(Path("program.log")))
                lines << line.section(QStringLiteral("  "), 1);
        }
        return lines;
    }

    FakeStartWindow start;
    int exitCode = -1;
};

TEST_F(PlayerStartTest, ASecondCopyIsToldToLookInTheTray) {
    const QString lockPath = Path("run/player.lock");
    RunningCopyLock running(lockPath);
    int code = -1;
    m_dialogs.ExpectMessage("Sonavel Player");
    EXPECT_FALSE(OpenProgram(Product::Player, lockPath, Path("other.db"), m_dialogs, code));
    EXPECT_EQ(code, 0);
    EXPECT_EQ(m_dialogs.LastMessage().prompt,
              "Sonavel Player is already running.\r\nCheck the tray icon.");
    EXPECT_EQ(m_dialogs.LastMessage().icon, MsgIcon::Information);
    EXPECT_FALSE(QFile::exists(Path("other.db")));
}

TEST_F(PlayerStartTest, AFreshSystemOrAFailingStoreEndsBeforeAnythingIsShownOrLogged) {
    m_dialogs.ExpectMessage("First Time Use").ExpectMessage("Player");
    EXPECT_FALSE(Start());
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(start.journal, QStringList{"Label Sonavel Player"});
    EXPECT_EQ(m_store->GetSetting(kAppName, kPlayerSection, "Window State"), "0");

    ReshapeStoreTable();
    m_dialogs.Clear();
    start.journal.clear();
    m_dialogs.ExpectMessage("Sonavel Player");
    EXPECT_FALSE(Start());
    EXPECT_EQ(exitCode, 1);
    EXPECT_TRUE(m_dialogs.LastMessage().prompt.startsWith("The settings file cannot be read:"));
    EXPECT_EQ(start.journal, QStringList{"Label Sonavel Player"});
    EXPECT_TRUE(Log().isEmpty());
    EXPECT_FALSE(engine.PlayerRunning);
}

TEST_F(PlayerStartTest, AutomaticModeGoesOnAirWithTheHourAndTheWindowComesBackNormal) {
    Station();
    ASSERT_TRUE(Start());
    EXPECT_EQ(exitCode, 0);
    // Stored maximised, the window comes back normal at its stored place.
    EXPECT_EQ(start.journal,
              (QStringList{"Label Sonavel Player", "Splash", "Place 0 1200 900 9000 7000", "Show",
                           "Tip Sonavel Player", "Show"}));
    EXPECT_TRUE(engine.PlayerRunning);
    EXPECT_EQ(player1.FileName(), "/snd/a.wav");
    EXPECT_EQ(Log(), (QStringList{"Program Loaded", "Program Element: a"}));
    EXPECT_TRUE(m_dialogs.Shown().empty());
}

TEST_F(PlayerStartTest, StartedHiddenInManualModeItWaitsInTheTrayWithTheRecentLists) {
    Station();
    Set("Automatic", "False");
    Set("Manual", "True");
    Set("Start Hidden", "True");
    Set("Display Splash", "False");
    Set("Width", "0");
    AddRecentFile(session, Path("Playlists/Mon1000.lst"), "Player", window.entries);
    HideRecentFiles(window.entries);

    ASSERT_TRUE(Start());
    // No stored size: the window keeps its own; hidden, it is never shown.
    EXPECT_EQ(start.journal, (QStringList{"Label Sonavel Player", "Hide", "Tip Sonavel Player"}));
    EXPECT_TRUE(engine.ManualMode);
    EXPECT_FALSE(engine.PlayerRunning);
    EXPECT_TRUE(player1.FileName().isEmpty());
    EXPECT_EQ(window.shown.playlist, "No Playlist is Loaded");
    EXPECT_TRUE(window.shown.openPlaylistEnabled);
    EXPECT_TRUE(window.entries.IsVisible(RecentFileEntry(1)));
    EXPECT_TRUE(window.entries.Caption(RecentFileEntry(1)).endsWith("Mon1000.lst"));
    EXPECT_EQ(Log(), QStringList{"Program Loaded"});
}

TEST_F(PlayerStartTest, AnExitConfirmedWhileTheFirstElementLoadsStopsTheStartUp) {
    Station();
    Set("Display Splash", "False");
    player1.SetReadyAfterPolls(5);
    // The exit comes from the events the load serves, as from the window.
    QTimer::singleShot(0, [this] {
        ASSERT_TRUE(engine.ElementChanging);
        engine.StopForExit();
    });
    EXPECT_FALSE(Start());
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(start.journal, (QStringList{"Label Sonavel Player", "Place 0 1200 900 9000 7000",
                                          "Show", "Tip Sonavel Player"}))
        << "nothing is shown after the exit";
    EXPECT_NE(player1.PlayState(), media::kPlaying);
}

}  // namespace
