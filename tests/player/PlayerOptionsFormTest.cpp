#include "AsRunLog.h"
#include "CommonModule.h"
#include "Events.h"
#include "FakeMediaPlayer.h"
#include "FlushDeletes.h"
#include "PlayerForm.h"
#include "PlayerOptionsForm.h"
#include "RecentFiles.h"
#include "TempFolder.h"
#include "TextFile.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
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
    // The operator's hands: a box or button is pressed with the space bar
    // once it has the focus, a button also with the mouse.
    void Tick(const char* name) {
        auto* box = Get<QAbstractButton>(name);
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Space);
    }
    void Press(const char* name) { QTest::mouseClick(Get<QAbstractButton>(name), Qt::LeftButton); }
    void Key(const char* name, Qt::Key key) { QTest::keyClick(Get(name), key); }
    void Type(const char* name, const QString& text) {
        auto* edit = Get<QLineEdit>(name);
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }
    // A closed window is gone once the event loop comes round.
    bool Closed() {
        FlushDeletes();
        return form->findChild<PlayerOptionsForm*>() == nullptr;
    }
    bool ModeTicked() { return Get<QCheckBox>("checkMode")->isChecked(); }
    int AsRunStopped() const {
        const QDate day(2026, 12, 7);
        return QString::fromUtf8(asrun::Read(session.ProgramFolder(), day, day)).count(",stopped,");
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
    // The texts that read differently here than the platform words would have them.
    EXPECT_EQ(Get<QGroupBox>("frameRegistry")->title(), "Advanced Registry Settings");
    EXPECT_EQ(Get<QLabel>("labelDeleteSettings")->text(),
              "Delete all settings for Sonavel in Registry. CAUTION: Permanent and Immediate!");
    EXPECT_TRUE(Get<QPushButton>("commandOK")->isDefault());

    // What memory holds, and nothing to apply yet.
    EXPECT_TRUE(ModeTicked());
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

// Return is OK and Escape is Cancel, from wherever the focus is; a button
// with the focus takes Return itself.
TEST_F(PlayerOptionsFormTest, ReturnAndEscapeWorkAsInADialog) {
    RunIn(true);
    const struct {
        const char* focus;
        Qt::Key key;
        bool applied;
    } cases[] = {{"textTimeCheckFolder", Qt::Key_Escape, false},
                 {"textTimeCheckFolder", Qt::Key_Return, true},
                 {"checkSaveSettingsOnExit", Qt::Key_Enter, true},
                 {"commandCancel", Qt::Key_Return, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.focus) + (c.key == Qt::Key_Escape ? " Escape" : " Return"));
        session.Player.DisplaySplash = true;
        session.Player.TimeCheckFolder = Path("Time");
        Open();
        Tick("checkDisplaySplash");
        Type("textTimeCheckFolder", Path("other"));
        Get(c.focus)->setFocus();
        Key(c.focus, c.key);
        EXPECT_TRUE(Closed());
        EXPECT_TRUE(form->isVisible()) << "leaving the window shows the main window";
        EXPECT_EQ(session.Player.DisplaySplash, !c.applied);
        EXPECT_EQ(session.Player.TimeCheckFolder, c.applied ? Path("other") : Path("Time"));
    }
    EXPECT_TRUE(m_dialogs.Shown().empty());
}

TEST_F(PlayerOptionsFormTest, ApplyActsOnlyOnTheClicksSinceTheLastApply) {
    RunIn(true);
    Open();
    Tick("checkDisplaySplash");
    for (int i = 0; i < 3; ++i)
        Tick("checkSynchronousOperation");
    const int before = ProgramLog().size();
    Press("commandApply");

    // The logging boxes opened ticked and were left alone: nothing to log.
    EXPECT_EQ(ProgramLog().size(), before);
    EXPECT_EQ(Stored("Display Splash"), "False");
    EXPECT_EQ(Stored("Synchronous Operation"), "True");
    EXPECT_TRUE(engine.SynchronousOperation);
    EXPECT_FALSE(Get<QWidget>("commandApply")->isEnabled());

    // Off: the error line is still written; the program log's own is not.
    Tick("checkEnableProgramLogging");
    Tick("checkEnableErrorLogging");
    Press("commandApply");
    EXPECT_EQ(ProgramLog().mid(before), QStringList({"Error Logging Disabled"}));
    EXPECT_EQ(Stored("Program Logging Enabled"), "False");
    // Disabled, Apply does nothing.
    Press("commandApply");
    EXPECT_EQ(ProgramLog().size(), before + 1);

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
    EXPECT_FALSE(ModeTicked());
    Tick("checkMode");
    Press("commandOK");
    Serve();
    // The hand-picked list stops and this hour's list starts at once.
    EXPECT_TRUE(engine.AutomaticMode);
    EXPECT_EQ(Playing(), "/snd/a.wav");
    EXPECT_EQ(ProgramLog().filter("mode set"),
              QStringList({"Automatic playlist selection mode set"}));
    EXPECT_FALSE(form->findChild<QAction*>("menuOpenPlaylist")->isEnabled());
    EXPECT_FALSE(form->findChild<QAction*>("menuRecentFile_1")->isVisible());
    EXPECT_EQ(engine.Display().mode, "Automatic Playlist Selection Mode");
    EXPECT_TRUE(session.Player.Automatic);
    EXPECT_EQ(Stored("Automatic"), "True");
    EXPECT_EQ(Stored("Manual"), "False");

    // Unticked and ticked again before Apply: the box is what counts.
    ASSERT_TRUE(Closed());
    Open();
    Tick("checkMode");
    Tick("checkMode");
    Press("commandApply");
    EXPECT_TRUE(engine.AutomaticMode);
    EXPECT_EQ(Playing(), "/snd/a.wav") << "the list on air must not be dropped";

    // To manual: no question, the list is dropped, the recent files come back.
    Tick("checkMode");
    Press("commandApply");
    EXPECT_TRUE(m_dialogs.Shown().empty());
    EXPECT_TRUE(engine.ManualMode);
    EXPECT_FALSE(ModeTicked());
    EXPECT_EQ(Playing(), "");
    EXPECT_TRUE(form->findChild<QAction*>("menuOpenPlaylist")->isEnabled());
    EXPECT_TRUE(form->findChild<QAction*>("menuRecentFile_1")->isVisible());
    EXPECT_EQ(ProgramLog().filter("mode set").last(), "Manual playlist selection mode set");
    EXPECT_EQ(Stored("Manual"), "True");
    EXPECT_TRUE(session.Player.Manual);
}

// The window shows the mode Player runs, whoever changed it: the hour
// change, or the fallback to manual when the operator's own switch finds no
// playlist. A later Apply acts on nothing the operator did not change.
TEST_F(PlayerOptionsFormTest, ModeBoxShowsTheModePlayerRunsAfterEveryFallback) {
    RunIn(true);
    Open();
    ASSERT_TRUE(ModeTicked());

    // The next hour has no playlist; the operator cancels at the hour change.
    m_clock.Set(QDateTime(QDate(2026, 12, 7), QTime(11, 0, 2)));
    m_dialogs.ExpectMessage("Sonavel Player", MsgResult::Cancel).ExpectMessage("Sonavel Player");
    player1.Finish();
    Serve();
    ASSERT_TRUE(m_dialogs.AllAnswered());
    EXPECT_TRUE(engine.ManualMode);
    EXPECT_FALSE(ModeTicked());

    // Automatic chosen here, in the same hour: the same question, the same answer.
    Tick("checkMode");
    m_dialogs.ExpectMessage("Sonavel Player", MsgResult::Cancel).ExpectMessage("Sonavel Player");
    Press("commandApply");
    ASSERT_TRUE(m_dialogs.AllAnswered());
    EXPECT_EQ(m_dialogs.LastMessage().prompt, "Click 'OK' to set Manual Playlist Selection mode.");
    EXPECT_TRUE(engine.ManualMode);
    EXPECT_FALSE(ModeTicked());
    EXPECT_EQ(Stored("Manual"), "True") << "what is stored is what runs";

    // A list picked by hand, then some other change applied: no question,
    // no mode line, and the list plays on.
    List("hand.lst", {"/snd/m.wav"});
    AddRecentFile(session, Path("Playlists/hand.lst"), "Player", form->Entries());
    form->findChild<QAction*>("menuRecentFile_1")->trigger();
    Serve();
    ASSERT_EQ(Playing(), "/snd/m.wav");
    const int logged = ProgramLog().size();
    const int stopped = AsRunStopped();
    const std::size_t boxes = m_dialogs.Shown().size();
    Tick("checkDisplaySplash");
    Press("commandApply");
    Serve();
    EXPECT_EQ(m_dialogs.Shown().size(), boxes);
    EXPECT_EQ(ProgramLog().mid(logged), QStringList());
    EXPECT_EQ(Playing(), "/snd/m.wav");
    EXPECT_EQ(AsRunStopped(), stopped);
    EXPECT_TRUE(engine.ManualMode);
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
    Press("commandDeleteSettings");
    ASSERT_TRUE(m_dialogs.AllAnswered());
    EXPECT_TRUE(Closed()) << "the defaults close the window";
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
    Press("commandSetErrorLogFile");
    EXPECT_EQ(Get<QLineEdit>("textErrorLogFile")->text(), chosen);
    EXPECT_FALSE(error->isEnabled()) << "only Apply makes the box available";
    Press("commandApply");
    EXPECT_TRUE(error->isEnabled());

    // Emptying the program log's name while it logs switches it off.
    Type("textProgramLogFile", "");
    Press("commandApply");
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
    Press("commandBrowsePlaylistFolder");
    EXPECT_EQ(session.Player.PlaylistFolder, ProgramFolder() + "/Playlists");
    EXPECT_EQ(Get<QLineEdit>("textPlaylistFolder")->text(), ProgramFolder() + "/Playlists");
    Press("commandCancel");
    ASSERT_TRUE(Closed());
    EXPECT_EQ(session.Player.PlaylistFolder, ProgramFolder() + "/Playlists");

    // A folder that does not exist is reported; the list on air plays on.
    Open();
    Type("textPlaylistFolder", Path("nowhere"));
    m_dialogs.ExpectMessage("Sonavel Player");
    Press("commandApply");
    EXPECT_TRUE(m_dialogs.LastMessage().prompt.contains(Path("nowhere")));
    EXPECT_EQ(Playing(), "/snd/a.wav");

    // The next hour comes from the folder applied.
    QDir().mkpath(Path("new"));
    textfile::WriteLines(Path("new/Mon1100.lst"), {"/snd/x.wav"});
    Type("textPlaylistFolder", Path("new"));
    Press("commandOK");
    m_clock.Set(QDateTime(QDate(2026, 12, 7), QTime(11, 0, 2)));
    player1.Finish();
    Serve();
    EXPECT_EQ(Playing(), "/snd/x.wav");
}

}  // namespace
