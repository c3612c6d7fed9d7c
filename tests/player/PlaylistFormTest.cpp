#include "FakeMediaPlayer.h"
#include "PlayerForm.h"
#include "PlaylistForm.h"
#include "PrintedPages.h"
#include "QtTextPrinter.h"
#include "QtWindows.h"
#include "TempFolder.h"
#include "TextFile.h"
#include "Twips.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

using namespace sonavel;

namespace {

// Player on air on two fake players, with the viewer reached as the operator
// reaches it and a printer that writes a PDF file.
class PlaylistFormTest : public TempFolderTest {
  protected:
    PlaylistFormTest()
        : session(MakeSession(Product::Player)),
          m_pdf(Path("out.pdf")),
          m_printer(PdfPrinter(m_pdf)),
          m_windows(session, nullptr, &m_printer),
          form(std::make_unique<PlayerForm>(session, &player1, &player2)),
          engine(session, player1, player2, *form) {
        session.SetWindows(&m_windows);
        UseStationFolders(session);
        engine.MaxPolls = 20;
        form->SetEngine(&engine);
        // The test moves the programme on; the display's own ticks do not.
        form->findChild<QTimer*>("timerDisplay")->stop();
        m_clock.Set(QDateTime(QDate(2026, 12, 7), QTime(10, 59, 58)));  // a Monday
        WriteList("Mon1000.lst", {"/snd/a.wav", "; a note", "/snd/b.wav", ":timecheck"});
        WriteList("Mon1100.lst", {"/snd/x.wav", "/snd/y.wav"});
        WriteList("Breakfast Show.lst", {"/snd/m.wav"});
    }
    ~PlaylistFormTest() override { form->SetEngine(nullptr); }

    void WriteList(const QString& name, const QStringList& lines) {
        textfile::WriteLines(session.Player.PlaylistFolder + '/' + name, lines);
    }
    void StartHour() {
        ASSERT_TRUE(engine.GetCurrentHourPlaylist());
        engine.StartPlaylist();
    }
    void StartManual(const QString& name) {
        engine.ManualMode = true;
        engine.AutomaticMode = false;
        engine.LoadRecentPlaylist(session.Player.PlaylistFolder + '/' + name);
    }
    QAction* Action(QWidget* window, const char* name) {
        auto* action = window->findChild<QAction*>(name);
        EXPECT_NE(action, nullptr) << name;
        return action;
    }
    // The open viewer; there is never more than one.
    PlaylistForm* Viewer() {
        PlaylistForm* open = nullptr;
        for (PlaylistForm* viewer : form->findChildren<PlaylistForm*>()) {
            if (viewer->isHidden()) continue;
            EXPECT_EQ(open, nullptr) << "a second viewer";
            open = viewer;
        }
        return open;
    }
    QTextEdit* ViewerText() { return Viewer()->findChild<QTextEdit*>("textPlaylist"); }
    QStringList Shown() {
        const QString text = ViewerText()->toPlainText();
        return text.isEmpty() ? QStringList() : text.split('\n');
    }
    // The name the main window's playlist pane gives the list.
    QLabel* PrintingLabel() {
        return dynamic_cast<QWidget*>(&m_windows.PrintingForm())
            ->findChild<QLabel*>("labelPrinting");
    }
    QString MainWindowName() {
        engine.ShowPlaylistStatus();
        const QString pane = form->findChild<QLineEdit*>("textPlaylist")->text();
        return pane.mid(pane.indexOf(": ") + 2);
    }

    Session& session;
    QString m_pdf;
    QtTextPrinter m_printer;
    QtWindows m_windows;
    FakeMediaPlayer player1;
    FakeMediaPlayer player2;
    std::unique_ptr<PlayerForm> form;
    PlayerEngine engine;
};

TEST_F(PlaylistFormTest, ViewerFollowsTheListOnAirUnderTheNameTheMainWindowGivesIt) {
    Action(form.get(), "menuViewPlaylist")->trigger();
    ASSERT_NE(Viewer(), nullptr);
    EXPECT_EQ(Viewer()->windowTitle(), "Current Playlist");
    EXPECT_EQ(ViewerText()->font().family(), "Arial");
    EXPECT_TRUE(Shown().isEmpty()) << "nothing on air yet";

    StartHour();
    EXPECT_EQ(Shown(), QStringList({"Monday 10:00 AM", "/snd/a.wav", "/snd/b.wav", ":timecheck"}));
    EXPECT_EQ(Shown().first(), MainWindowName());

    // The first element ends in the new hour: the next hour's list goes on
    // air, and the viewer with it.
    m_clock.Set(QDateTime(QDate(2026, 12, 7), QTime(11, 0, 1)));
    player1.Finish();
    QCoreApplication::processEvents();
    ASSERT_TRUE(engine.PlaylistFileName.endsWith("Mon1100.lst"));
    EXPECT_EQ(Shown(), QStringList({"Monday 11:00 AM", "/snd/x.wav", "/snd/y.wav"}));

    // A list chosen by hand goes by its file name, as on the main window.
    StartManual("Breakfast Show.lst");
    EXPECT_EQ(Shown(), QStringList({"Breakfast Show", "/snd/m.wav"}));
    EXPECT_EQ(Shown().first(), MainWindowName());
    // Played through, it is gone from both windows.
    player1.Finish();
    QCoreApplication::processEvents();
    ASSERT_FALSE(engine.PlaylistLoaded);
    EXPECT_TRUE(Shown().isEmpty());
}

TEST_F(PlaylistFormTest, OneViewerFromTheMenuOrTheListClosedByEscapeExitAndShutDown) {
    StartHour();
    form->show();
    QWidget* list = form->findChild<QTextEdit*>("textCurrentPlaylist")->viewport();
    QTest::mouseDClick(list, Qt::LeftButton);
    PlaylistForm* first = Viewer();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(Shown().size(), 4) << "opened on the list already on air";
    Action(form.get(), "menuViewPlaylist")->trigger();
    QTest::mouseDClick(list, Qt::LeftButton);
    EXPECT_EQ(Viewer(), first);

    first->resize(10, 10);
    EXPECT_EQ(first->size(), TwipsToPixels(6495, 6585, first)) << "the smallest it goes";

    QTest::keyClick(ViewerText(), Qt::Key_Escape);
    EXPECT_EQ(Viewer(), nullptr);
    Action(form.get(), "menuViewPlaylist")->trigger();
    Action(Viewer(), "menuExit")->trigger();
    EXPECT_EQ(Viewer(), nullptr);

    Action(form.get(), "menuViewPlaylist")->trigger();
    m_dialogs.ExpectMessage("Sonavel Player", MsgResult::Yes);
    EXPECT_TRUE(form->close());
    EXPECT_EQ(Viewer(), nullptr) << "the viewer goes with the main window";
}

TEST_F(PlaylistFormTest, PrintsTheListShownWhileTheProgrammeMovesOn) {
    StartHour();
    Action(form.get(), "menuViewPlaylist")->trigger();
    const QStringList shown = Shown();

    // The hour changes while the printer dialog is open; the operator asked
    // for the list then shown, and it is printed whole under its own name.
    m_dialogs.ExpectPrinter().WhileOpen([&] {
        m_clock.Set(QDateTime(QDate(2026, 12, 7), QTime(11, 0, 1)));
        player1.Finish();
        QCoreApplication::processEvents();
        EXPECT_EQ(Shown().first(), "Monday 11:00 AM");
    });
    // And an element ends while the job runs.
    QStringList captions;
    bool ended = false;
    ClockTicker ticker(m_clock, 100, [&] {
        const QLabel* label = PrintingLabel();
        if (!label->isVisible()) return;
        if (!captions.contains(label->text())) captions << label->text();
        if (!ended) {
            ended = true;
            player1.Finish();
        }
    });
    Action(Viewer(), "menuPrintPlaylist")->trigger();
    ASSERT_TRUE(m_dialogs.AllAnswered());
    EXPECT_EQ(m_dialogs.Shown().back().printerFlags, 1835020);
    EXPECT_TRUE(m_dialogs.Messages().empty());
    EXPECT_EQ(captions, QStringList({"Now Printing Playlist"}));

    const std::vector<QStringList> pages = PrintedPages(m_pdf);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0],
              QStringList({"Sonavel Playlist", "Monday 10:00 AM", "Page 1"}) + shown.mid(1));
    // The programme went on through the job.
    EXPECT_TRUE(engine.PlaylistFileName.endsWith("Mon1100.lst"));
    EXPECT_EQ(engine.CurrentElement, 2);
    EXPECT_EQ(player2.PlayState(), media::kPlaying);
    EXPECT_EQ(player2.FileName(), "/snd/y.wav");

    // A list chosen by hand is printed under its file name.
    StartManual("Breakfast Show.lst");
    m_dialogs.ExpectPrinter();
    Action(Viewer(), "menuPrintPlaylist")->trigger();
    EXPECT_EQ(
        PrintedPages(m_pdf),
        std::vector<QStringList>({{"Sonavel Playlist", "Breakfast Show", "Page 1", "/snd/m.wav"}}));
}

TEST_F(PlaylistFormTest, NothingOnAirOrACancelledDialogPrintsNothing) {
    Action(form.get(), "menuViewPlaylist")->trigger();
    m_dialogs.ExpectMessage("Sonavel Player");
    Action(Viewer(), "menuPrintPlaylist")->trigger();
    ASSERT_EQ(m_dialogs.Shown().size(), 1u) << "no printer dialog";
    EXPECT_EQ(m_dialogs.LastMessage().prompt, "There is nothing to print.");
    EXPECT_EQ(m_dialogs.LastMessage().icon, MsgIcon::Information);

    StartHour();
    m_dialogs.Clear();
    m_dialogs.ExpectPrinter(false).ExpectPrintSetup(false);
    Action(Viewer(), "menuPrintPlaylist")->trigger();
    Action(Viewer(), "menuPrintSetup")->trigger();
    ASSERT_TRUE(m_dialogs.AllAnswered());
    EXPECT_TRUE(m_dialogs.Messages().empty()) << "a cancel ends without a word";
    EXPECT_EQ(m_dialogs.Shown().back().printerFlags, 64);
    EXPECT_FALSE(QFile::exists(m_pdf));
    EXPECT_FALSE(PrintingLabel()->isVisible());
}

}  // namespace
