#include "AsRunLog.h"
#include "CommonModule.h"
#include "ErrorModule.h"
#include "Events.h"
#include "FakeMediaPlayer.h"
#include "PlayerForm.h"
#include "ProgramStart.h"
#include "TempFolder.h"
#include "TextFile.h"
#include "Twips.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <memory>

using namespace sonavel;

namespace {

class PlayerFormTest : public TempFolderTest {
  protected:
    PlayerFormTest()
        : session(MakeSession(Product::Player)),
          form(std::make_unique<PlayerForm>(session, &player1, &player2)),
          engine(session, player1, player2, *form) {
        form->SetEngine(&engine);
    }
    ~PlayerFormTest() override {
        if (form) form->SetEngine(nullptr);
        // A signal's end abandons every wait of the process; the tests after
        // this one wait again.
        ResumeWaits();
    }

    template <class T>
    T* Find(const QString& name) {
        T* found = form->findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name.toStdString();
        return found;
    }
    QAction* Action(const QString& name) { return Find<QAction>(name); }
    // The captions and names of a menu's entries, separators as "-name".
    QStringList Entries(const QString& menu) {
        QStringList entries;
        for (QAction* action : Find<QMenu>(menu)->actions()) {
            entries << (action->isSeparator()
                            ? QStringLiteral("-") + action->objectName()
                            : action->text() + QLatin1Char('|') + action->objectName());
        }
        return entries;
    }
    static QColor Color(Rgb rgb) { return QColor(QRgb(rgb)); }
    static QColor Foreground(QWidget* widget) {
        return widget->palette().color(QPalette::WindowText);
    }
    static QColor Background(QWidget* widget) { return widget->palette().color(QPalette::Base); }
    // The colour of line `line` of the element list.
    QColor ElementColor(int line) {
        auto* list = Find<QTextEdit>("textCurrentPlaylist");
        QTextCursor cursor(list->document()->findBlockByNumber(line));
        cursor.movePosition(QTextCursor::Right);
        return cursor.charFormat().foreground().color();
    }
    void Key(QWidget* target, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QKeyEvent press(QEvent::KeyPress, key, modifiers);
        QCoreApplication::sendEvent(target, &press);
    }
    void ShowAt(int widthTwips, int heightTwips) {
        form->show();
        form->resize(TwipsToPixels(widthTwips, heightTwips, form.get()));
        QCoreApplication::processEvents();
    }

    Session& session;
    FakeMediaPlayer player1;
    FakeMediaPlayer player2;
    std::unique_ptr<PlayerForm> form;
    PlayerEngine engine;
};

TEST_F(PlayerFormTest, WindowCarriesEveryControlWithItsCaptionTipAndName) {
    EXPECT_EQ(form->windowTitle(), "Sonavel Player");
    EXPECT_EQ(&form->MediaPlayer1(), &player1);
    EXPECT_EQ(player1.objectName(), "MediaPlayer1");
    EXPECT_EQ(player2.objectName(), "MediaPlayer2");

    // Toolbar: caption, key, tip, in order.
    QStringList buttons;
    for (QAction* action : Find<QToolBar>("Toolbar")->actions())
        buttons << action->text() + '|' + action->objectName() + '|' + action->toolTip();
    EXPECT_EQ(buttons,
              QStringList({
                  "Hide|Hide|Hide program from view and minimize to tray icon.",
                  "Exit Now|ExitNow|Exit program immediately.",
                  "Exit Next|ExitNext|Exit program at end of current element.",
                  " Pause Now |PauseNow|Pause the current program element immediately.",
                  " Pause Next |PauseNext|Pause at the end of the current program element.",
                  "Resume|Resume|Resume play after pause.",
                  "Skip Now|SkipNow|Skip to the next program element immediately.",
                  "Skip Next|SkipNext|Skip the next program element.",
              }));

    QStringList bar;
    for (QAction* action : form->menuBar()->actions())
        bar << action->text() + '|' + action->objectName();
    EXPECT_EQ(bar,
              QStringList({"&File|", "&Control|", "&Logs|", "&Options|menuOptions", "&Help|"}));
    EXPECT_TRUE(Action("menuOptions")->isEnabled());

    QStringList file = {"&Open Playlist|menuOpenPlaylist", "&View Playlist|menuViewPlaylist",
                        "-menuRecentFile_0"};
    for (int k = 1; k <= 9; ++k)
        file << QStringLiteral("Recent File %1|menuRecentFile_%1").arg(k);
    file << "-menuSeparatorClearRecentFiles"
         << "&Clear Recent Files|menuClearRecentFiles"
         << "-menuSeparator3"
         << "E&xit|menuExit";
    EXPECT_EQ(Entries("menuFile"), file);
    EXPECT_FALSE(Action("menuRecentFile_1")->isVisible()) << "shown once the list is read";

    EXPECT_EQ(
        Entries("menuControl").mid(0, 9),
        QStringList({"&Hide Player|menuHide", "&Show Player|menuShow", "E&xit Now|menuExitNow",
                     "Exit &Next|menuExitNext", "&Pause Now|menuPauseNow",
                     "Pause N&ext|menuPauseNext", "&Resume Play|menuResumePlay",
                     "&Skip Now|menuSkipNow", "Skip Nex&t|menuSkipNext"}));
    EXPECT_EQ(Entries("menuLogs"), QStringList({"Display &Program Log|menuDisplayProgramLog",
                                                "Display &Error Log|menuDisplayErrorLog"}));
    EXPECT_EQ(Entries("menuHelp"),
              QStringList({"&Help Topics|menuHelpTopics", "-menuSeparator12", "&About|menuAbout",
                           "About &Media Player Control|menuAboutMediaPlayerControl"}));

    auto* application = Find<QLabel>("labelApplication");
    EXPECT_EQ(application->text(), "Player");
    EXPECT_EQ(application->toolTip(), "Application product name.");
    EXPECT_EQ(application->font().family(), "Arial");
    EXPECT_EQ(Find<QLabel>("labelMode")->text(), "Automatic Playlist Selection Mode");
    EXPECT_EQ(Find<QLabel>("labelMode")->toolTip(), "Displays playlist selection mode.");
    EXPECT_EQ(Find<QGroupBox>("framePlaylist")->title(), "Playlist Time / Playlist Time Remaining");
    EXPECT_EQ(Find<QGroupBox>("framePlaylist")->toolTip(),
              "Time remaining in the current playlist.");
    EXPECT_EQ(Find<QLabel>("labelPlaylistTime")->text(), "60:00");
    EXPECT_EQ(Find<QLabel>("labelPlaylistTimeRemaining")->toolTip(),
              "Time remaining for the current playlist.");
    EXPECT_EQ(Find<QProgressBar>("barPlaylist")->toolTip(), "Displays relative time of playlist");
    EXPECT_EQ(Find<QLineEdit>("textPlaylist")->text(), "No Playlist is Loaded");
    EXPECT_TRUE(Find<QTextEdit>("textCurrentPlaylist")->isReadOnly());
    for (int i = 0; i < 2; ++i) {
        const QString n = QString::number(i);
        const QString number = QString::number(i + 1);
        EXPECT_EQ(Find<QGroupBox>("framePlayer_" + n)->title(),
                  "Player " + number + " Time / Player " + number + " Time Remaining");
        EXPECT_EQ(Find<QGroupBox>("framePlayer_" + n)->toolTip(),
                  "Time remaining for the current element");
        Find<QLineEdit>("textPlayer_" + n);
        Find<QLabel>("labelPlayerTime_" + n);
        EXPECT_EQ(Find<QLabel>("labelPlayerTimeRemaining_" + n)->toolTip(),
                  "Time remaining for the current element.");
        EXPECT_EQ(Find<QProgressBar>("barPlayer_" + n)->toolTip(),
                  "Displays relative time of element");
    }
    Find<QStatusBar>("StatusBar");
    EXPECT_EQ(Find<QLabel>("Element")->toolTip(), "Path of current element.");
    EXPECT_EQ(Find<QLabel>("Time")->toolTip(), "Time of day.");
    EXPECT_EQ(Find<QTimer>("timerDisplay")->interval(), 250);
    EXPECT_TRUE(Find<QTimer>("timerDisplay")->isActive());
    EXPECT_EQ(Find<QSystemTrayIcon>("cSysTray1")->isVisible(), false);
    // The tray shows the program's own icon, as its desktop entry does.
    const auto face = [](const QIcon& icon) { return icon.pixmap(32, 32).toImage(); };
    EXPECT_EQ(face(Find<QSystemTrayIcon>("cSysTray1")->icon()), face(ProgramIcon(Product::Player)));
    EXPECT_NE(face(Find<QSystemTrayIcon>("cSysTray1")->icon()),
              face(form->style()->standardIcon(QStyle::SP_MediaVolume)));

    // The maintenance entries are there but out of sight.
    for (const char* name : {"menuDisplayCurrentSettings", "menuLoadSettings", "menuSeparator9",
                             "menuDeleteRegistry", "menuSeparator10", "menuSuppressErrorReporting"})
        EXPECT_FALSE(Action(name)->isVisible()) << name;
    EXPECT_TRUE(m_dialogs.Shown().empty());
}

TEST_F(PlayerFormTest, RenderShowsTheEngineDisplayAndLeavesUnchangedControlsAlone) {
    PlayerDisplay display;
    display.mode = "Manual Playlist Selection Mode";
    display.playlist = "Tue1400.lst";
    display.playlistBack = playercolor::kGrey;
    display.playlistPaneEnabled = false;
    display.playlistTime = "59:12";
    display.playlistRemaining = "00:48";
    display.playlistRemainingColor = playercolor::kYellow;
    display.playlistBarMax = 3600;
    display.playlistBarValue = 3552;
    PanelLook& first = display.panels[0];
    first.frameEnabled = true;
    first.text = "Song A";
    first.textEnabled = true;
    first.textBack = playercolor::kWhite;
    first.time = "03:30";
    first.timeColor = playercolor::kDarkGrey;
    first.remaining = "00:05";
    first.remainingColor = playercolor::kLightRed;
    first.barMax = 210;
    first.barValue = 205;
    display.elementNames = QStringList({"Jingle", "Song A", "News"});
    display.highlighted = 2;
    display.statusElement = "/music/Song A.wav";
    display.statusTime = "14:37:05";
    display.trayTip = "Song A";
    display.Command(PlayerCommand::PauseNext).checked = true;
    display.Command(PlayerCommand::Resume).enabled = false;
    display.openPlaylistEnabled = true;
    form->Render(display);

    EXPECT_EQ(Find<QLabel>("labelMode")->text(), "Manual Playlist Selection Mode");
    auto* playlist = Find<QLineEdit>("textPlaylist");
    EXPECT_EQ(playlist->text(), "Tue1400.lst");
    EXPECT_EQ(Background(playlist), Color(0xC0C0C0));
    EXPECT_FALSE(Find<QGroupBox>("framePlaylist")->isEnabled());
    EXPECT_EQ(Find<QLabel>("labelPlaylistTime")->text(), "59:12");
    EXPECT_EQ(Foreground(Find<QLabel>("labelPlaylistTimeRemaining")), Color(0xFFFF00));
    EXPECT_EQ(Find<QProgressBar>("barPlaylist")->value(), 3552);

    EXPECT_TRUE(Find<QGroupBox>("framePlayer_0")->isEnabled());
    EXPECT_FALSE(Find<QGroupBox>("framePlayer_1")->isEnabled());
    EXPECT_EQ(Find<QLineEdit>("textPlayer_0")->text(), "Song A");
    EXPECT_EQ(Background(Find<QLineEdit>("textPlayer_0")), Color(0xFFFFFF));
    EXPECT_EQ(Background(Find<QLineEdit>("textPlayer_1")), Color(0xC0C0C0));
    EXPECT_EQ(Foreground(Find<QLabel>("labelPlayerTime_0")), Color(0x808080));
    EXPECT_EQ(Find<QLabel>("labelPlayerTimeRemaining_0")->text(), "00:05");
    EXPECT_EQ(Foreground(Find<QLabel>("labelPlayerTimeRemaining_0")), Color(0xFF0000));
    EXPECT_EQ(Find<QProgressBar>("barPlayer_0")->maximum(), 210);
    EXPECT_EQ(Find<QProgressBar>("barPlayer_0")->value(), 205);
    EXPECT_EQ(Find<QLabel>("Element")->text(), "/music/Song A.wav");
    EXPECT_EQ(Find<QLabel>("Time")->text(), "14:37:05");
    EXPECT_EQ(Find<QSystemTrayIcon>("cSysTray1")->toolTip(), "Song A");
    EXPECT_TRUE(Action("menuOpenPlaylist")->isEnabled());

    // A command's menu entry and toolbar button show one state.
    for (const char* name : {"menuPauseNext", "PauseNext"})
        EXPECT_TRUE(Action(name)->isChecked()) << name;
    for (const char* name : {"menuResumePlay", "Resume"})
        EXPECT_FALSE(Action(name)->isEnabled()) << name;
    for (const char* name : {"menuSkipNow", "SkipNow"}) {
        EXPECT_TRUE(Action(name)->isEnabled()) << name;
        EXPECT_FALSE(Action(name)->isChecked()) << name;
    }
    // A click flips a checkable button by itself; the engine's word stands.
    // Without an engine nothing is decided, so the last display holds.
    form->SetEngine(nullptr);
    Action("SkipNext")->trigger();
    Action("menuPauseNext")->trigger();
    EXPECT_FALSE(Action("SkipNext")->isChecked());
    EXPECT_FALSE(Action("menuSkipNext")->isChecked());
    EXPECT_TRUE(Action("menuPauseNext")->isChecked());
    form->SetEngine(&engine);

    // Played elements grey, the one on air dark red, the rest black; one line each.
    auto* list = Find<QTextEdit>("textCurrentPlaylist");
    EXPECT_EQ(list->toPlainText(), "Jingle\nSong A\nNews\n");
    EXPECT_EQ(ElementColor(0), Color(0x808080));
    EXPECT_EQ(ElementColor(1), Color(0x800000));
    EXPECT_EQ(ElementColor(2), Color(0x000000));

    // A tick that changes nothing writes nothing; moving on only recolours.
    int listChanges = 0;
    QObject::connect(list->document(), &QTextDocument::contentsChange,
                     [&](int, int removed, int added) { listChanges += removed + added; });
    int barChanges = 0;
    QObject::connect(Find<QProgressBar>("barPlayer_0"), &QProgressBar::valueChanged,
                     [&] { ++barChanges; });
    form->Render(display);
    EXPECT_EQ(listChanges, 0);
    EXPECT_EQ(barChanges, 0);

    display.highlighted = 3;
    form->Render(display);
    EXPECT_EQ(list->toPlainText(), "Jingle\nSong A\nNews\n");
    EXPECT_EQ(ElementColor(1), Color(0x808080));
    EXPECT_EQ(ElementColor(2), Color(0x800000));

    // A new list replaces the old one whole.
    display.elementNames = QStringList({"Intro"});
    display.highlighted = 0;
    form->Render(display);
    EXPECT_EQ(list->toPlainText(), "Intro\n");
    EXPECT_EQ(ElementColor(0), Color(0x000000));
    display.elementNames.clear();
    form->Render(display);
    EXPECT_TRUE(list->toPlainText().isEmpty());
}

TEST_F(PlayerFormTest, NormalWindowKeepsItsMinimumAndRecordsItsPlacement) {
    ShowAt(5000, 5000);
    const QSize minimum = TwipsToPixels(9375, 6825, form.get());
    EXPECT_EQ(form->size(), minimum);

    ShowAt(12000, 9000);
    const WindowPlacement placement = ReadWindowPlacement(*form);
    EXPECT_EQ(session.Player.Window.Width, placement.Width);
    EXPECT_EQ(session.Player.Window.Height, placement.Height);
    EXPECT_NEAR(session.Player.Window.Width, 12000, 15);
    EXPECT_EQ(session.Player.Window.PositionLeft, placement.PositionLeft);

    // The element list fills the inner area right of the panels.
    auto* list = Find<QTextEdit>("textCurrentPlaylist");
    QWidget* inner = form->centralWidget();
    EXPECT_EQ(list->x(), TwipsToPixels(3840, form.get()));
    EXPECT_EQ(list->x() + list->width(), inner->width() - TwipsToPixels(120, form.get()));
    EXPECT_EQ(list->y() + list->height(), inner->height() - TwipsToPixels(120, form.get()));
    EXPECT_EQ(list->mapTo(form.get(), QPoint(0, 0)).y(),
              std::max(inner->y(), form->menuBar()->height() + TwipsToPixels(720, form.get())));

    form->showMaximized();
    QCoreApplication::processEvents();
    if (form->isMaximized()) {
        EXPECT_EQ(form->frameGeometry().size(), form->screen()->availableGeometry().size());
        EXPECT_EQ(list->x() + list->width(), inner->width() - TwipsToPixels(120, form.get()));
    }
}

TEST_F(PlayerFormTest, HidingGoesToTheTrayOrMinimisesAndExitNowFollowsTheWindow) {
    ShowAt(10000, 8000);
    auto* exitNow = Action("menuExitNow");
    auto* tray = Find<QSystemTrayIcon>("cSysTray1");
    EXPECT_TRUE(exitNow->isVisible());

    // Escape in the element list is the operator's quick way out of sight.
    Key(Find<QTextEdit>("textCurrentPlaylist"), Qt::Key_Escape);
    QCoreApplication::processEvents();
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        EXPECT_FALSE(form->isVisible());
        EXPECT_TRUE(tray->isVisible());
        EXPECT_FALSE(exitNow->isVisible()) << "the tray's popup offers no Exit Now";
    } else {
        // Without a tray the taskbar is the way back, so the window stays.
        EXPECT_TRUE(form->isMinimized());
        EXPECT_TRUE(form->isVisible());
        EXPECT_TRUE(exitNow->isVisible());
        EXPECT_FALSE(tray->isVisible());
    }

    Action("menuShow")->trigger();
    QCoreApplication::processEvents();
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->isMinimized());
    EXPECT_TRUE(exitNow->isVisible());
    EXPECT_FALSE(tray->isVisible());

    // Minimising by the window system ends the same way as Hide.
    form->showMinimized();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(form->isVisible(), !QSystemTrayIcon::isSystemTrayAvailable());
    form->ShowPlayer();

    // The maintenance key shows and hides the six entries together.
    const QStringList maintenance = {
        "menuDisplayCurrentSettings", "menuLoadSettings", "menuSeparator9",
        "menuDeleteRegistry",         "menuSeparator10",  "menuSuppressErrorReporting"};
    auto* list = Find<QTextEdit>("textCurrentPlaylist");
    Key(list, Qt::Key_F12, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_FALSE(Action("menuDeleteRegistry")->isVisible()) << "all three modifiers are needed";
    Key(list, Qt::Key_F12, Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier);
    for (const QString& name : maintenance)
        EXPECT_TRUE(Action(name)->isVisible()) << name.toStdString();
    Action("menuSuppressErrorReporting")->trigger();
    EXPECT_TRUE(session.SuppressErrorReporting);
    EXPECT_TRUE(Action("menuSuppressErrorReporting")->isChecked());
    Key(list, Qt::Key_F12, Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier);
    for (const QString& name : maintenance)
        EXPECT_FALSE(Action(name)->isVisible()) << name.toStdString();
}

TEST_F(PlayerFormTest, LoadSettingsOnAnEmptyStoreKeepsPlayerOnItsOwn) {
    SetRegistryDefaults(session);
    ASSERT_TRUE(ReadPlayerSettings(session));
    session.Player.PlaylistFolder = "/air/lists";
    session.ProgramLogFileName = "/air/program.log";
    ShowAt(10000, 8000);
    auto* list = Find<QTextEdit>("textCurrentPlaylist");
    Key(list, Qt::Key_F12, Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier);
    ASSERT_TRUE(Action("menuLoadSettings")->isVisible());

    // A reset answered No at its last question left the store empty.
    m_store->DeleteApplication(kAppName);
    m_dialogs.ExpectMessage("Sonavel Player");
    Action("menuLoadSettings")->trigger();
    EXPECT_NE(m_dialogs.LastMessage().title, "First Time Use");
    EXPECT_TRUE(m_dialogs.LastMessage().prompt.contains("were not loaded"));
    EXPECT_TRUE(form->isVisible());

    // Leaving writes back what Player ran on, not blanks.
    m_dialogs.ExpectMessage("Sonavel Player", MsgResult::Yes);
    EXPECT_TRUE(form->close());
    EXPECT_EQ(m_store->GetSetting(kAppName, kPlayerSection, "Playlist Folder"), "/air/lists");
    EXPECT_EQ(m_store->GetSetting(kAppName, kPlayerSection, "Program Log File Name"),
              "/air/program.log");
    EXPECT_EQ(m_store->GetSetting(kAppName, kPlayerSection, "Error Log File Name"),
              ProgramFolder() + "/Logs/Error.log");
}

TEST_F(PlayerFormTest, ExitQuestionNoKeepsPlayerOnAirYesLogsTheEndAndKeepsTheStoredPlace) {
    session.ProgramLoggingEnabled = true;
    session.ProgramLogFileName = Path("program.log");
    m_store->SaveSetting(kAppName, kPlayerSection, "Position Left", "1234");
    session.Player.SaveSettingsOnExit = false;
    ShowAt(10000, 8000);
    form->move(200, 150);
    QCoreApplication::processEvents();
    int unloaded = 0;
    QObject::connect(form.get(), &PlayerForm::Unloaded, [&] { ++unloaded; });

    engine.ExitNextPending = true;
    m_dialogs.ExpectMessage("Sonavel Player", MsgResult::No);
    Action("ExitNow")->trigger();
    EXPECT_EQ(m_dialogs.LastMessage().prompt, "Exit Sonavel Player?");
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(unloaded, 0);
    EXPECT_FALSE(engine.ExitNextPending) << "No withdraws the exit at the end of the element";

    m_dialogs.ExpectMessage("Sonavel Player", MsgResult::Yes);
    EXPECT_TRUE(form->close());
    EXPECT_EQ(unloaded, 1);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(m_store->GetSetting(kAppName, kPlayerSection, "Position Left"), "1234");
    QFile log(Path("program.log"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QString::fromUtf8(log.readAll()).trimmed().endsWith("Program Ended"));

    // Asked to, the shut-down keeps where the window was.
    auto second = std::make_unique<PlayerForm>(session, &player1, &player2);
    session.Player.SaveSettingsOnExit = true;
    second->show();
    second->resize(TwipsToPixels(10000, 8000, second.get()));
    second->move(300, 100);
    QCoreApplication::processEvents();
    const WindowPlacement placement = ReadWindowPlacement(*second);
    m_dialogs.ExpectMessage("Sonavel Player", MsgResult::Yes);
    EXPECT_TRUE(second->close());
    EXPECT_EQ(m_store->GetSetting(kAppName, kPlayerSection, "Position Left"),
              QString::number(placement.PositionLeft));
}

// Player as it starts on a station: settings in the store, the hour's list
// on disk, and the program run through its own start-up and event loop.
class PlayerRunTest : public PlayerFormTest {
  protected:
    PlayerRunTest() {
        m_clock.Set(QDateTime(QDate(2026, 12, 7), QTime(10, 15, 0)));  // a Monday
        SetRegistryDefaults(session);
        const auto set = [this](const char* key, const QString& value) {
            m_store->SaveSetting(kAppName, kPlayerSection, QString::fromLatin1(key), value);
        };
        set("Automatic", "True");
        set("Manual", "False");
        set("Display Splash", "False");
        set("Save Settings On Exit", "False");
        set("Program Logging Enabled", "True");
        set("Program Log File Name", Path("program.log"));
        set("Playlist Folder", Path("Playlists"));
        QDir().mkpath(Path("Playlists"));
        QFile list(Path("Playlists/Mon1000.lst"));
        EXPECT_TRUE(list.open(QIODevice::WriteOnly));
        list.write("/snd/a.wav\r\n/snd/b.wav\r\n/snd/c.wav\r\n");
    }

    // Runs Player until its event loop returns; a loop still running after
    // the guard's time has failed the test.
    int Run() {
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [this] {
            ADD_FAILURE() << "the event loop did not return";
            QCoreApplication::quit();
        });
        guard.start(20000);
        return RunPlayer(session, *form, engine);
    }

    QStringList ProgramLog() const {
        QFile file(Path("program.log"));
        if (!file.open(QIODevice::ReadOnly)) return {};
        QStringList lines;
        for (const QString& line : QString::fromUtf8(file.readAll()).split("\r\n")) {
            const int at = line.indexOf("  ");
            if (at >= 0) lines << line.mid(at + 2);
        }
        return lines;
    }

    // Runs Player to its end and checks it ended as a program must, whatever
    // ended it: the loop returned, the window went, "Program Ended" is the
    // log's last line and its only one, and neither player sounds.
    void RunToTheEnd() {
        EXPECT_EQ(Run(), 0);
        EXPECT_TRUE(form->IsUnloaded());
        EXPECT_FALSE(form->isVisible());
        const QStringList log = ProgramLog();
        EXPECT_EQ(log.filter("Program Ended").size(), 1);
        EXPECT_EQ(log.value(log.size() - 1), "Program Ended");
        EXPECT_NE(player1.PlayState(), media::kPlaying);
        EXPECT_NE(player2.PlayState(), media::kPlaying);
    }
};

TEST_F(PlayerRunTest, ExitConfirmedWhileTheFirstElementLoadsEndsTheProgram) {
    player1.SetReadyAfterPolls(5);
    bool duringLoad = false;
    QTimer::singleShot(0, form.get(), [&] {
        duringLoad = engine.ElementChanging;
        Action("menuExit")->trigger();
    });
    m_dialogs.ExpectMessage("Sonavel Player", MsgResult::Yes);

    RunToTheEnd();
    EXPECT_TRUE(duringLoad) << "the exit must come while start-up loads the first element";
    EXPECT_EQ(m_dialogs.Messages().size(), 1u);
    EXPECT_EQ(ProgramLog().filter("Program Element: ").size(), 1);
}

TEST_F(PlayerRunTest, ExitConfirmedDuringASwitchEndsTheProgramOnceTheSwitchIsOver) {
    // Stopped from outside the loop's work: the test's own ticks run nothing.
    form->findChild<QTimer*>("timerDisplay")->stop();
    bool duringSwitch = false;
    QTimer::singleShot(0, form.get(), [&] {
        // a ends; c is slow to load into player 1 behind b.
        player1.SetReadyAfterPolls(5);
        player1.Finish();
        QTimer::singleShot(0, form.get(), [&] {
            duringSwitch = engine.ElementChanging;
            Action("menuExit")->trigger();
            // A second way out while the first waits changes nothing.
            Action("ExitNow")->trigger();
        });
    });
    m_dialogs.ExpectMessage("Sonavel Player", MsgResult::Yes);

    RunToTheEnd();
    EXPECT_TRUE(duringSwitch);
    EXPECT_EQ(m_dialogs.Messages().size(), 1u);
    EXPECT_EQ(ProgramLog().filter("Program Element: "),
              (QStringList{"Program Element: a", "Program Element: b"}));
    EXPECT_EQ(player1.FileName(), "/snd/c.wav") << "the switch finished its preload first";
}

// SIGTERM at a shut-down of the machine: nobody is there to answer, and the
// logs must still close the programme.
TEST_F(PlayerRunTest, SignalEndsTheProgramWithoutAskingInTheMiddleOfASwitch) {
    form->findChild<QTimer*>("timerDisplay")->stop();
    bool duringSwitch = false;
    QTimer::singleShot(0, form.get(), [&] {
        m_clock.Advance(4000);
        player1.SetNeverReady("/snd/c.wav");
        player1.Finish();
        QTimer::singleShot(0, form.get(), [&] {
            duringSwitch = engine.ElementChanging;
            m_clock.Advance(3000);
            form->EndOnSignal();
        });
    });

    RunToTheEnd();
    EXPECT_TRUE(duringSwitch);
    EXPECT_TRUE(form->EndedBySignal());
    EXPECT_TRUE(m_dialogs.Messages().empty());
    // The element the signal cut is accounted for: a, then b stopped.
    const QString asRun = QString::fromUtf8(
        asrun::Read(session.ProgramFolder(), QDate(2026, 12, 7), QDate(2026, 12, 7)));
    EXPECT_EQ(asRun.count("\r\n"), 2) << asRun.toStdString();
    EXPECT_TRUE(asRun.contains(",4.000,complete,a,/snd/a.wav,")) << asRun.toStdString();
    EXPECT_TRUE(asRun.contains(",3.000,stopped,b,/snd/b.wav,")) << asRun.toStdString();
}

TEST_F(PlayerRunTest, SignalWhileTheExitQuestionIsOpenEndsTheProgramOnce) {
    QTimer::singleShot(0, form.get(), [&] { Action("menuExit")->trigger(); });
    // The operator would have said No; the signal came first.
    m_dialogs.ExpectMessage("Sonavel Player", MsgResult::No).WhileOpen([&] {
        form->EndOnSignal();
    });

    RunToTheEnd();
    EXPECT_EQ(m_dialogs.Messages().size(), 1u);
}

// A shut-down of the machine while the settings cannot be saved (a full
// disk): no box waits for an answer nobody gives; the failure goes to
// standard error, the journal of a session's service.
TEST_F(PlayerRunTest, SignalWithSettingsThatCannotBeSavedEndsWithoutABox) {
    QStringList told;
    const StandardErrorCatcher previous =
        CatchStandardError([&told](const QString& text) { told << text; });
    QTimer::singleShot(0, form.get(), [&] {
        session.Player.SaveSettingsOnExit = true;
        ReshapeStoreTable();
        form->EndOnSignal();
    });

    EXPECT_EQ(Run(), 0);
    CatchStandardError(previous);
    EXPECT_TRUE(form->IsUnloaded());
    EXPECT_TRUE(m_dialogs.Messages().empty());
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told[0].startsWith("Error 75 Settings store save failed: "))
        << told[0].toStdString();
    EXPECT_TRUE(told[0].endsWith("(" + m_store->Path() + ")")) << told[0].toStdString();
    EXPECT_EQ(ProgramLog().filter("Program Ended").size(), 1);
}

TEST_F(PlayerRunTest, SignalClosesABoxLeftOpenAndEndsTheProgram) {
    int boxResult = -1;
    QTimer::singleShot(0, form.get(), [&] {
        QDialog box(form.get());
        QTimer::singleShot(0, form.get(), [&] { form->EndOnSignal(); });
        boxResult = box.exec();
    });

    RunToTheEnd();
    EXPECT_EQ(boxResult, QDialog::Rejected);
}

}  // namespace
