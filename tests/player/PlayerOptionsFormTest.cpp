#include "CommonModule.h"
#include "Events.h"
#include "FakeMediaPlayer.h"
#include "PlayerForm.h"
#include "PlayerOptionsForm.h"
#include "RecentFiles.h"
#include "TempFolder.h"
#include "TextFile.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <memory>

using namespace sonavel;

namespace {

// Player on air on two fake controls, a Monday at 10:15, with both logs on;
// the options window is opened from the menu bar as the operator does.
class PlayerOptionsFormTest : public TempFolderTest {
  protected:
    PlayerOptionsFormTest()
        : session(MakeSession(Product::Player)),
          form(std::make_unique<PlayerForm>(session, &player1, &player2)),
          engine(session, player1, player2, *form) {
        form->SetEngine(&engine);
        form->findChild<QTimer*>("timerDisplay")->stop();
        UseStationFolders(session);
        m_clock.Set(QDateTime(QDate(2026, 12, 7), QTime(10, 15)));
        List("Mon1000.lst", {"/snd/a.wav", "/snd/b.wav", "/snd/c.wav"});
    }
    ~PlayerOptionsFormTest() override { form->SetEngine(nullptr); }

    void List(const QString& name, const QStringList& lines) const {
        textfile::WriteLines(QDir(session.Player.PlaylistFolder).filePath(name), lines);
    }
    void RunIn(bool automatic) {
        session.Player.Automatic = automatic;
        session.Player.Manual = !automatic;
        engine.ApplySettings();
        if (automatic) {
            ASSERT_TRUE(engine.GetCurrentHourPlaylist());
        } else {
            List("hand.lst", {"/snd/m.wav"});
            AddRecentFile(session, Path("Playlists/hand.lst"), "Player", form->Entries());
            engine.LoadRecentPlaylist(Path("Playlists/hand.lst"));
            return Serve();
        }
        engine.StartPlaylist();
        Serve();
    }
    static void Serve() {
        for (int i = 0; i < 5; ++i)
            DoEvents();
    }
    PlayerOptionsForm* Open() {
        form->findChild<QAction*>("menuOptions")->trigger();
        options = form->findChild<PlayerOptionsForm*>();
        EXPECT_NE(options, nullptr);
        return options;
    }
    template <class T = QWidget>
    T* Get(const char* name) {
        T* found = options->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    void Click(const char* name) { Get<QAbstractButton>(name)->click(); }
    void Type(const char* name, const QString& text) {
        auto* edit = Get<QLineEdit>(name);
        edit->clear();
        QTest::keyClicks(edit, text);
    }
    QStringList ProgramLog() const {
        QStringList lines;
        for (const QString& line : textfile::ReadAll(session.ProgramLogFileName).split("\r\n")) {
            const int at = line.indexOf("  ");
            if (at >= 0) lines << line.mid(at + 2);
        }
        return lines;
    }
    QString Stored(const char* key) const {
        return m_store->GetSetting(kAppName, kPlayerSection, QString::fromLatin1(key));
    }
    QString Playing() const {
        for (const FakeMediaPlayer* p : {&player1, &player2}) {
            if (p->PlayState() == media::kPlaying) return p->FileName();
        }
        return {};
    }

    Session& session;
    FakeMediaPlayer player1;
    FakeMediaPlayer player2;
    std::unique_ptr<PlayerForm> form;
    PlayerEngine engine;
    PlayerOptionsForm* options = nullptr;
};

TEST_F(PlayerOptionsFormTest, WindowShowsItsPagesAndOpensOnce) {
    RunIn(true);
    Open();
    EXPECT_EQ(options->windowTitle(), "Sonavel Player Options");
    auto* tabs = Get<QTabWidget>("tapOptions");
    QStringList pages;
    for (int i = 0; i < tabs->count(); ++i)
        pages << tabs->tabText(i);
    EXPECT_EQ(pages, QStringList({"General", "Folder", "Log Files", "Media Player", "Advanced",
                                  "Sound Output", "Streaming"}));
    EXPECT_EQ(Get<QGroupBox>("Frame1")->title(), "Logging");
    EXPECT_EQ(Get<QGroupBox>("frameRegistry")->title(), "Advanced Registry Settings");
    EXPECT_EQ(Get<QAbstractButton>("checkMode")->text(), "&Automatic Playlist Selection");
    EXPECT_EQ(Get<QAbstractButton>("commandBrowsePlaylistFolder")->text(), "B&rowse");
    EXPECT_EQ(Get<QAbstractButton>("commandApply")->toolTip(),
              "Click this button to apply setting immediately without closing this screen.");
    EXPECT_EQ(Get<QLabel>("labelDeleteSettings")->text(),
              "Delete all settings for Sonavel in Registry. CAUTION: Permanent and Immediate!");

    // What memory holds, and nothing to apply yet.
    EXPECT_TRUE(Get<QCheckBox>("checkMode")->isChecked());
    EXPECT_TRUE(Get<QCheckBox>("checkEnableProgramLogging")->isChecked());
    EXPECT_EQ(Get<QLineEdit>("textPlaylistFolder")->text(), Path("Playlists"));
    EXPECT_FALSE(Get<QWidget>("commandApply")->isEnabled());
    // Opening stored what runs.
    EXPECT_EQ(Stored("Automatic"), "True");
    EXPECT_EQ(Stored("Program Log File Name"), Path("program.log"));

    PlayerOptionsForm* first = options;
    Open();
    EXPECT_EQ(options, first);
    EXPECT_EQ(form->findChildren<PlayerOptionsForm*>().size(), 1);
}

TEST_F(PlayerOptionsFormTest, ApplyLogsInOrderStoresAndKeepsItsFlags) {
    RunIn(true);
    Open();
    Click("checkDisplaySplash");
    Click("checkSynchronousOperation");
    Click("checkSynchronousOperation");
    Click("checkSynchronousOperation");
    EXPECT_TRUE(options->Options().TurnedOn(PlayerOptions::Box::Synchronous));
    EXPECT_FALSE(options->Options().TurnedOff(PlayerOptions::Box::Synchronous));
    const int before = ProgramLog().size();
    Click("commandApply");

    // Boxes that opened ticked count as ticked: their lines come again.
    EXPECT_EQ(ProgramLog().mid(before),
              QStringList({"Error Logging Enabled", "Program Logging Enabled"}));
    EXPECT_EQ(Stored("Display Splash"), "False");
    EXPECT_EQ(Stored("Synchronous Operation"), "True");
    EXPECT_TRUE(engine.SynchronousOperation);
    EXPECT_FALSE(Get<QWidget>("commandApply")->isEnabled());

    // Disabled, Apply does nothing.
    Get<QPushButton>("commandApply")->click();
    EXPECT_EQ(ProgramLog().size(), before + 2);

    // Off: the error line is still written; the program log's own is not.
    Click("checkEnableProgramLogging");
    Click("checkEnableErrorLogging");
    Click("commandApply");
    EXPECT_EQ(ProgramLog().mid(before + 2), QStringList({"Error Logging Disabled"}));
    EXPECT_EQ(Stored("Program Logging Enabled"), "False");

    // The next element loaded is opened synchronously; the one already
    // waiting in the other player stays as it was opened.
    player1.Finish();
    Serve();
    EXPECT_EQ(Playing(), "/snd/b.wav");
    EXPECT_TRUE(player2.calls.contains("Open /snd/b.wav"));
    EXPECT_TRUE(player1.calls.contains("SetFileName /snd/c.wav"));
}

TEST_F(PlayerOptionsFormTest, ModeSwitchesBothWaysAndIsKeptForTheNextStart) {
    RunIn(false);
    EXPECT_EQ(Playing(), "/snd/m.wav");
    Open();
    EXPECT_FALSE(Get<QCheckBox>("checkMode")->isChecked());
    Click("checkMode");
    Click("commandOK");
    Serve();
    // The hand-picked list stops and this hour's list starts at once.
    EXPECT_TRUE(engine.AutomaticMode);
    EXPECT_EQ(Playing(), "/snd/a.wav");
    EXPECT_EQ(ProgramLog().filter("mode set"),
              QStringList({"Automatic playlist selection mode set"}));
    EXPECT_FALSE(form->findChild<QAction*>("menuOpenPlaylist")->isEnabled());
    EXPECT_FALSE(form->findChild<QAction*>("menuRecentFile_1")->isVisible());
    EXPECT_EQ(engine.Display().mode, "Automatic Playlist Selection Mode");
    EXPECT_TRUE(form->isVisible()) << "leaving the window shows the main window";
    EXPECT_TRUE(session.Player.Automatic);
    EXPECT_EQ(Stored("Automatic"), "True");
    EXPECT_EQ(Stored("Manual"), "False");

    // Unticked and ticked again before Apply: the box is what counts.
    Open();
    Click("checkMode");
    Click("checkMode");
    Click("commandApply");
    EXPECT_TRUE(engine.AutomaticMode);
    EXPECT_EQ(Playing(), "/snd/a.wav") << "the list on air must not be dropped";

    // To manual: no question, the list is dropped, the recent files come back.
    Click("checkMode");
    Click("commandApply");
    EXPECT_TRUE(m_dialogs.Shown().empty());
    EXPECT_TRUE(engine.ManualMode);
    EXPECT_EQ(Playing(), "");
    EXPECT_TRUE(form->findChild<QAction*>("menuOpenPlaylist")->isEnabled());
    EXPECT_TRUE(form->findChild<QAction*>("menuRecentFile_1")->isVisible());
    EXPECT_EQ(ProgramLog().filter("mode set").last(), "Manual playlist selection mode set");
    EXPECT_EQ(Stored("Manual"), "True");
    EXPECT_TRUE(session.Player.Manual);
}

TEST_F(PlayerOptionsFormTest, ReloadAndResetKeepTheRunningMode) {
    RunIn(true);
    WriteRegistry(session);
    m_store->SaveSetting(kAppName, kPlayerSection, "Manual", "True");
    m_store->SaveSetting(kAppName, kPlayerSection, "Synchronous Operation", "True");
    RereadPlayerSettings(session, engine);
    EXPECT_TRUE(engine.AutomaticMode);
    EXPECT_TRUE(session.Player.Automatic && !session.Player.Manual);
    EXPECT_TRUE(engine.SynchronousOperation);

    Open();
    m_dialogs
        .ExpectMessage("WARNING: You are about to delete ALL settings for Sonavel!", MsgResult::Yes)
        .ExpectMessage("Delete All Registry Settings", MsgResult::Yes)
        .ExpectMessage("Delete All Keyword Settings", MsgResult::No)
        .ExpectMessage("Set Default Registry Settings", MsgResult::Yes);
    Click("commandDeleteSettings");
    const MessageRequest warning = m_dialogs.Messages().front();
    EXPECT_EQ(warning.icon, MsgIcon::Critical);
    EXPECT_EQ(warning.buttons, MsgButtons::YesNo);
    EXPECT_EQ(warning.defaultButton, 2);
    EXPECT_TRUE(warning.prompt.contains("stored in the Registry"));
    EXPECT_FALSE(warning.prompt.contains("Windows"));
    EXPECT_TRUE(warning.prompt.endsWith("Are you sure you want to do this?"));
    DoEvents();
    EXPECT_EQ(form->findChild<PlayerOptionsForm*>(), nullptr) << "the defaults close the window";
    EXPECT_TRUE(engine.AutomaticMode);
    EXPECT_TRUE(session.Player.Automatic);
    EXPECT_EQ(Playing(), "/snd/a.wav");
}

TEST_F(PlayerOptionsFormTest, LogNamesDecideWhetherLoggingCanBeOn) {
    session.ErrorLogFileName.clear();
    RunIn(true);
    Open();
    auto* error = Get<QCheckBox>("checkEnableErrorLogging");
    EXPECT_FALSE(error->isEnabled());
    EXPECT_FALSE(error->isChecked());
    EXPECT_FALSE(session.ErrorLoggingEnabled);

    const QString chosen = Path("Logs/error.log");
    QDir().mkpath(Path("Logs"));
    m_dialogs.ExpectFile(chosen).ExpectMessage("Error Log Created");
    Click("commandSetErrorLogFile");
    EXPECT_EQ(Get<QLineEdit>("textErrorLogFile")->text(), chosen);
    EXPECT_FALSE(error->isEnabled()) << "only Apply makes the box available";
    Click("commandApply");
    EXPECT_TRUE(error->isEnabled());

    // Emptying the program log's name while it logs switches it off.
    Type("textProgramLogFile", "");
    Click("commandApply");
    auto* program = Get<QCheckBox>("checkEnableProgramLogging");
    EXPECT_FALSE(session.ProgramLoggingEnabled);
    EXPECT_FALSE(program->isChecked());
    EXPECT_FALSE(program->isEnabled());
    EXPECT_EQ(Stored("Program Logging Enabled"), "False");
    EXPECT_EQ(Stored("Program Log File Name"), "");
}

TEST_F(PlayerOptionsFormTest, PlaylistFolderChangedOnAirTakesTheNextHour) {
    RunIn(true);
    Open();
    // A browse cancelled means the default, in memory at once, kept by Cancel.
    m_dialogs.ExpectFolder("");
    Click("commandBrowsePlaylistFolder");
    EXPECT_EQ(session.Player.PlaylistFolder, ProgramFolder() + "/Playlists");
    EXPECT_EQ(Get<QLineEdit>("textPlaylistFolder")->text(), ProgramFolder() + "/Playlists");
    Click("commandCancel");
    EXPECT_EQ(session.Player.PlaylistFolder, ProgramFolder() + "/Playlists");

    // A folder that does not exist is reported; the list on air plays on.
    Open();
    Type("textPlaylistFolder", Path("nowhere"));
    m_dialogs.ExpectMessage("Sonavel Player");
    Click("commandApply");
    EXPECT_TRUE(m_dialogs.LastMessage().prompt.contains(Path("nowhere")));
    EXPECT_EQ(Playing(), "/snd/a.wav");

    // The next hour comes from the folder applied.
    QDir().mkpath(Path("new"));
    textfile::WriteLines(Path("new/Mon1100.lst"), {"/snd/x.wav"});
    Type("textPlaylistFolder", Path("new"));
    Click("commandOK");
    m_clock.Set(QDateTime(QDate(2026, 12, 7), QTime(11, 0, 2)));
    player1.Finish();
    Serve();
    EXPECT_EQ(Playing(), "/snd/x.wav");
}

}  // namespace
