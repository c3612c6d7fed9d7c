#include "AudioEngine.h"
#include "ClockModule.h"
#include "CreatorForm.h"
#include "CreatorModule.h"
#include "Events.h"
#include "KeywordModule.h"
#include "MediaPlayer.h"
#include "RecentFiles.h"
#include "RunForms.h"
#include "SchedulerModule.h"
#include "SignalWatch.h"
#include "TempFolder.h"
#include "TextFile.h"
#include "Twips.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <csignal>
#include <memory>

using namespace sonavel;

namespace {

class CreatorFormTest : public TempFolderTest {
  protected:
    CreatorFormTest() : keywords(MakeSession(Product::Creator)), clocks(*m_session, keywords) {}

    void StoreKeyword(const QString& name, int color, int seconds) {
        keywords.RefreshKeywordList();
        ASSERT_TRUE(keywords.AddKeywordEntry(name));
        m_store->SaveSetting(kKeywordApp, name, "Color", QString::number(color));
        m_store->SaveSetting(kKeywordApp, name, "Estimated Time", QString::number(seconds));
    }

    CreatorForm& Form() {
        if (!form) form = std::make_unique<CreatorForm>(*m_session, keywords, clocks, audio);
        return *form;
    }

    template <class T>
    T* Find(const QString& name) {
        T* found = Form().findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name.toStdString();
        return found;
    }
    QAction* Action(const QString& name) { return Find<QAction>(name); }
    bool Enabled(const QString& name) {
        QAction* action = Action(name);
        return action != nullptr && action->isEnabled();
    }

    // Left button events on the keyword pane at the middle of line `line`.
    void Mouse(QEvent::Type type, int line) {
        auto* pane = Find<QTextEdit>("textKeyword");
        QTextCursor cursor(pane->document()->findBlockByNumber(line));
        cursor.movePosition(QTextCursor::EndOfBlock);
        const QPointF at = pane->cursorRect(cursor).center() - QPointF(4, 0);
        const Qt::MouseButtons held =
            type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, at, pane->viewport()->mapToGlobal(at), Qt::LeftButton, held,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(pane->viewport(), &event);
    }
    void DoubleClick(int line) {
        Mouse(QEvent::MouseButtonPress, line);
        Mouse(QEvent::MouseButtonRelease, line);
        Mouse(QEvent::MouseButtonDblClick, line);
        Mouse(QEvent::MouseButtonRelease, line);
    }

    KeywordModule keywords;
    ClockModule clocks;
    AudioEngine audio{EngineConfig{OutputKind::Virtual, 300, {}}};
    std::unique_ptr<CreatorForm> form;
};

TEST_F(CreatorFormTest, KeywordPaneListsByCharacterCodeWithBlackTimesAndColouredNames) {
    // Stored out of order; capitals sort before small letters.
    StoreKeyword("news", 0x0000FF, 185);
    StoreKeyword("Ads", 0xFF0000, 30);
    StoreKeyword("NEWS", 0x00FF00, 3600);

    auto* pane = Find<QTextEdit>("textKeyword");
    const QStringList lines = pane->toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], "00:30  Ads");
    EXPECT_EQ(lines[1], "01:00:00  NEWS");
    EXPECT_EQ(lines[2], "03:05  news");
    EXPECT_EQ(lines[3], "");

    // The stored colour is 0x00BBGGRR.
    auto colourAt = [&](int line, int column) {
        QTextCursor cursor(pane->document()->findBlockByNumber(line));
        cursor.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, column + 1);
        return cursor.charFormat().foreground().color();
    };
    EXPECT_EQ(colourAt(0, 0), QColor(Qt::black));
    EXPECT_EQ(colourAt(0, 6), QColor(Qt::black)) << "the two blanks go with the time";
    EXPECT_EQ(colourAt(0, 7), QColor(0, 0, 255));
    EXPECT_EQ(colourAt(1, 0), QColor(Qt::black)) << "each time starts black again";
    EXPECT_EQ(colourAt(1, 10), QColor(0, 255, 0));
    EXPECT_EQ(colourAt(2, 7), QColor(255, 0, 0));

    // Without keywords the pane refills to nothing.
    keywords.DeleteAllKeywordDefinitions();
    Form().DisplayKeywordPane();
    EXPECT_TRUE(pane->toPlainText().isEmpty());
    EXPECT_TRUE(m_dialogs.Shown().empty());
}

TEST_F(CreatorFormTest, DoubleClickedKeywordReplacesTheEditSelectionWithItsLine) {
    StoreKeyword("Jingle", 0, 5);
    StoreKeyword("My Song", 0, 200);
    Form().resize(1200, 800);
    Form().show();

    auto* edit = Find<QTextEdit>("textEdit");
    Form().SetEditText("Top\r\nOld\r\n");
    Form().Editor().Saved = true;
    QTextCursor selection(edit->document()->findBlockByNumber(1));
    selection.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    edit->setTextCursor(selection);

    // A keyword with a blank in its name keeps it: only the first two blanks divide.
    DoubleClick(1);
    EXPECT_EQ(Form().PickedKeyword, "My Song\r\n");
    EXPECT_EQ(Form().EditText(), "Top\r\nMy Song\r\n\r\n");
    EXPECT_FALSE(Form().Editor().Saved) << "an insertion is an edit like typing";
    EXPECT_FALSE(Find<QTextEdit>("textKeyword")->textCursor().hasSelection());

    // The next pick starts from nothing: the empty line below the list inserts nothing.
    const QString before = Form().EditText();
    DoubleClick(2);
    EXPECT_EQ(Form().PickedKeyword, "");
    EXPECT_EQ(Form().EditText(), before);

    DoubleClick(0);
    EXPECT_EQ(Form().EditText(), "Top\r\nMy Song\r\nJingle\r\n\r\n");
}

// The stored default width is below the minimum, so a first start opens
// the window at its minimum: every toolbar button must fit there.
TEST_F(CreatorFormTest, WindowKeepsItsMinimumSizeWithTheWholeToolbarInSight) {
    Form().show();
    const QSize minimum = TwipsToPixels(8490, 6405, &Form());
    Form().resize(100, 100);
    EXPECT_EQ(Form().size(), minimum);
    QCoreApplication::processEvents();

    auto* toolbar = Find<QToolBar>("Toolbar1");
    int buttons = 0;
    for (QAction* action : toolbar->actions()) {
        if (action->isSeparator()) continue;
        ++buttons;
        QWidget* button = toolbar->widgetForAction(action);
        ASSERT_NE(button, nullptr) << action->objectName().toStdString();
        EXPECT_TRUE(button->isVisible()) << action->objectName().toStdString();
        EXPECT_LE(button->geometry().right(), toolbar->contentsRect().right())
            << action->objectName().toStdString();
    }
    EXPECT_EQ(buttons, 16);
}

TEST_F(CreatorFormTest, CommandsStartAsTabledAndUnbuiltOnesStayGreyed) {
    EXPECT_EQ(Form().windowTitle(), "Sonavel Creator");
    EXPECT_EQ(Find<QLineEdit>("textEditHeader")->text(), "Edit: No File is Loaded");
    EXPECT_EQ(Find<QLineEdit>("textPreviewHeader")->text(), "Preview: No File is Loaded");
    EXPECT_EQ(Find<QLabel>("Estimated Time")->text(), "00:00");
    EXPECT_FALSE(Find<QToolButton>("commandPrevious")->isEnabled());
    EXPECT_FALSE(Find<QToolButton>("commandNext")->isEnabled());
    EXPECT_EQ(Action("menuAboutMediaPlayerControl")->text(), "About &Media Player Control");
    EXPECT_EQ(Action("menuClear")->shortcut(), QKeySequence(Qt::Key_Delete));
    EXPECT_EQ(Action("Save as Default Clock")->toolTip(), "Save as Default Clock");
    EXPECT_FALSE(Action(RecentFileEntry(1))->isVisible());

    for (const char* on : {"menuNew",
                           "menuOpen",
                           "menuOpenDefaultClock",
                           "menuPrint",
                           "menuPrintSetup",
                           "menuPaste",
                           "menuSetFont",
                           "New",
                           "Open",
                           "Print",
                           "Paste",
                           "menuCreatePlaylists",
                           "Create Playlists",
                           "menuKeywordMaintenance",
                           "Keyword Maintenance",
                           "menuOpenHourlyClock",
                           "Open Hourly Clock",
                           "Estimate Time",
                           "menuOptions",
                           "menuBackup",
                           "Backup"}) {
        EXPECT_TRUE(Enabled(on)) << on;
    }
    const QStringList fileCommands = {"menuSave",
                                      "menuSaveAs",
                                      "menuSaveAsDefaultClock",
                                      "menuSelectAll",
                                      "menuFind",
                                      "menuFindNext",
                                      "menuReplace",
                                      "menuSaveAsHourlyClock",
                                      "Save",
                                      "Find",
                                      "Save as Default Clock",
                                      "Save as Hourly Clock"};
    for (const QString& name : fileCommands)
        EXPECT_FALSE(Enabled(name)) << name.toStdString();
    for (const char* off : {"menuCut", "menuCopy", "menuClear", "Cut", "Copy"}) {
        EXPECT_FALSE(Enabled(off)) << off;
    }

    // An open file enables the file commands.
    Form().SetFileCommandsEnabled(true);
    for (const QString& name : fileCommands)
        EXPECT_TRUE(Enabled(name)) << name.toStdString();
    Form().SetFileCommandsEnabled(false);
    Form().SetSaveEnabled(true);
    EXPECT_TRUE(Enabled("menuSave"));
    EXPECT_TRUE(Enabled("Save"));
    EXPECT_FALSE(Enabled("menuSaveAs"));
}

TEST_F(CreatorFormTest, EditSelectionDrivesCutCopyAndClear) {
    auto* edit = Find<QTextEdit>("textEdit");
    // Text from files arrives with CR LF or LF; the pane gives CR LF back.
    Form().SetEditText("Alpha\r\nBeta\nGamma");
    EXPECT_EQ(Form().EditText(), "Alpha\r\nBeta\r\nGamma");

    QTextCursor cursor(edit->document());
    cursor.movePosition(QTextCursor::Down);
    cursor.movePosition(QTextCursor::Down, QTextCursor::KeepAnchor);
    edit->setTextCursor(cursor);
    for (const char* name : {"menuCut", "menuCopy", "menuClear", "Cut", "Copy"}) {
        EXPECT_TRUE(Enabled(name)) << name;
    }
}

TEST_F(CreatorFormTest, EscapeClosesUnlessTheShutDownRefuses) {
    Form().show();
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);

    int asked = 0;
    Form().onClose = [&] {
        ++asked;
        return false;
    };
    QCoreApplication::sendEvent(Find<QTextEdit>("textEdit"), &escape);
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(Form().isVisible());

    Form().onClose = nullptr;
    QCoreApplication::sendEvent(Find<QTextEdit>("textKeyword"), &escape);
    EXPECT_FALSE(Form().isVisible());
}

// A shut-down of the machine while a box is open and the clock has unsaved
// edits: the box goes, the window closes without a question, and the edits
// are in the recovery file.
TEST_F(CreatorFormTest, ASignalClosesTheOpenBoxAndTheWindowAndKeepsTheUnsavedClock) {
    Form().show();
    KeptClock kept;
    Form().onClose = [&] {
        if (!Form().EndedBySignal()) return false;
        kept = CreatorShutdownOnSignal(*m_session, Form().Editor(), Form(), ClosingWindow{});
        return true;
    };
    auto* edit = Find<QTextEdit>("textEdit");
    edit->setFocus();
    QTest::keyClicks(edit, "Music");
    QTest::keyClick(edit, Qt::Key_Return);
    QTest::keyClicks(edit, "News");

    SignalWatch watch([&] { Form().EndOnSignal(); });
    bool boxReturned = false;
    QTimer::singleShot(0, [&] {
        QMessageBox box(QMessageBox::Question, "Sonavel Creator", "Exit Sonavel Creator?",
                        QMessageBox::Yes | QMessageBox::No, &Form());
        QTimer::singleShot(0, [] { std::raise(SIGTERM); });
        box.exec();
        boxReturned = true;
    });
    // The ending abandons every wait; this one counts its own passes.
    for (int pass = 0; pass < 10000 && !(boxReturned && !Form().isVisible()); ++pass)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    ResumeWaits();
    EXPECT_TRUE(boxReturned);
    EXPECT_FALSE(Form().isVisible());
    EXPECT_TRUE(Form().EndedBySignal());
    ASSERT_FALSE(kept.file.isEmpty()) << kept.problem.toStdString();
    EXPECT_EQ(textfile::ReadBytes(kept.file), "Music\r\nNews\r\n");
    EXPECT_TRUE(m_dialogs.Shown().empty());
}

TEST_F(CreatorFormTest, UnreadableSoundFileIsReportedWithItsNameAndTheReason) {
    const QString path = Path("broken.wav");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("not a sound file at all");
    }
    m_dialogs.ExpectMessage("Corrupt or Unrecognized Sound File");
    MediaPlayer& player = Form().MediaPlayer1();
    EXPECT_EQ(player.objectName(), "MediaPlayer1");
    player.SetFileName(path);
    for (int pass = 0; pass < 100 && m_dialogs.Shown().empty(); ++pass) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    ASSERT_EQ(m_dialogs.Shown().size(), 1u);
    const MessageRequest& shown = m_dialogs.LastMessage();
    ASSERT_FALSE(player.ErrorDescription().isEmpty());
    EXPECT_EQ(shown.prompt,
              "Sonavel Creator has encountered a corrupt or unrecognized sound file.\r\n\r\n"
              "Problem Description: " +
                  player.ErrorDescription() + "\r\n\r\nFileName: " + path +
                  "\r\n\r\nPlease delete or remove this file from it's folder.");
    EXPECT_EQ(shown.icon, MsgIcon::Exclamation);
}

// A clock saved under a name ending in .RTF keeps its colours and fonts; one
// ending in .clk is plain text.
TEST_F(CreatorFormTest, RichTextClocksKeepTheirColours) {
    auto* edit = Find<QTextEdit>("textEdit");
    edit->setPlainText("News\nMusic");
    QTextCursor cursor(edit->document());
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    QTextCharFormat red;
    red.setForeground(QColor(255, 0, 0));
    red.setFontWeight(QFont::Bold);
    cursor.mergeCharFormat(red);

    const QString rich = Path("Mon0700.RTF");
    const QString plain = Path("Mon0700.clk");
    m_dialogs.ExpectFile(rich).ExpectFile(plain);
    Form().Editor().SaveClockAs();
    Form().Editor().SaveClockAs();
    QFile richFile(rich), plainFile(plain);
    ASSERT_TRUE(richFile.open(QIODevice::ReadOnly));
    ASSERT_TRUE(plainFile.open(QIODevice::ReadOnly));
    EXPECT_TRUE(richFile.readAll().startsWith("{\\rtf1"));
    EXPECT_EQ(plainFile.readAll(), QByteArray("News\r\nMusic\r\n"));

    edit->clear();
    Form().Editor().LoadClockFile(rich);
    EXPECT_EQ(edit->toPlainText(), "News\nMusic");
    const QTextCharFormat first = edit->document()->firstBlock().begin().fragment().charFormat();
    EXPECT_EQ(first.foreground().color(), QColor(255, 0, 0));
    EXPECT_EQ(first.fontWeight(), QFont::Bold);
    EXPECT_EQ(Find<QLineEdit>("textEditHeader")->text(), "Edit: Monday 07:00");
}

TEST_F(CreatorFormTest, CreatePlaylistsAsksFirstAndShowsItsWindows) {
    SchedulerModule scheduler(*m_session, keywords, clocks);
    Form().SetScheduler(&scheduler);

    // No: nothing runs.
    m_dialogs.ExpectMessage("Create Playlists", MsgResult::No);
    Action("menuCreatePlaylists")->trigger();
    const MessageRequest asked = m_dialogs.LastMessage();
    EXPECT_EQ(asked.prompt, "Do you want to create Playlists?");
    EXPECT_EQ(asked.buttons, MsgButtons::YesNo);
    EXPECT_EQ(asked.icon, MsgIcon::Question);
    EXPECT_EQ(asked.defaultButton, 2);

    // Yes from the toolbar runs the checks, which find no keywords.
    m_dialogs.ExpectMessage("Create Playlists", MsgResult::Yes)
        .ExpectMessage("No Keyword Definitions Found")
        .ExpectMessage("Unable to Create Playlists");
    Action("Create Playlists")->trigger();
    EXPECT_EQ(Form().findChild<StatusForm*>(), nullptr) << "the status window is unloaded";

    Form().SetScheduler(nullptr);
}

}  // namespace
