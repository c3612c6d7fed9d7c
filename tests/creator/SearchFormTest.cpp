#include "AudioEngine.h"
#include "ClockModule.h"
#include "CreatorForm.h"
#include "KeywordModule.h"
#include "SearchForm.h"
#include "SearchModule.h"
#include "TempFolder.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>
#include <memory>

using namespace sonavel;

namespace {

TEST(SearchModuleTest, FindTextKeepsToTheRangeAndTheOptions) {
    const QString text = "News\nnewsflash\nNEWS";
    EXPECT_EQ(SearchModule::FindText(text, "news", 0, text.size(), 0), 0);
    EXPECT_EQ(SearchModule::FindText(text, "news", 1, text.size(), 0), 5);
    EXPECT_EQ(SearchModule::FindText(text, "news", 1, text.size(), searchflag::kWholeWord), 15);
    EXPECT_EQ(SearchModule::FindText(text, "news", 0, text.size(), searchflag::kMatchCase), 5);
    EXPECT_EQ(SearchModule::FindText(text, "NEWS", 0, text.size(), 6), 15);
    // A match must end inside the range; nothing wraps; an empty text finds nothing.
    EXPECT_EQ(SearchModule::FindText(text, "NEWS", 15, 18, 0), -1);
    EXPECT_EQ(SearchModule::FindText(text, "news", 16, text.size(), 0), -1);
    EXPECT_EQ(SearchModule::FindText(text, "news", text.size() + 1, text.size(), 0), -1);
    EXPECT_EQ(SearchModule::FindText(text, "", 0, text.size(), 0), -1);
    EXPECT_EQ(SearchModule::SearchTextFromSelection(QString("Music") + QChar(0x2029) + "News"),
              "Music");
}

class SearchFormTest : public TempFolderTest {
  protected:
    SearchFormTest() : keywords(MakeSession(Product::Creator)), clocks(*m_session, keywords) {
        form = std::make_unique<CreatorForm>(*m_session, keywords, clocks, audio);
        form->resize(1000, 700);
        form->show();
        edit = form->findChild<QTextEdit*>("textEdit");
    }

    // A shortcut of the main window, pressed while it is the active window.
    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QApplication::setActiveWindow(form.get());
        QTest::keyClick(edit, key, modifiers);
    }

    template <class T>
    T* Find(const QString& name) {
        T* found = form->findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name.toStdString();
        return found;
    }
    SearchForm* Window() { return form->findChild<SearchForm*>("SearchForm"); }
    template <class T>
    T* InWindow(const QString& name) {
        T* found = Window() ? Window()->findChild<T*>(name) : nullptr;
        EXPECT_NE(found, nullptr) << name.toStdString();
        return found;
    }
    void Click(const QString& name) {
        QTest::mouseClick(InWindow<QPushButton>(name), Qt::LeftButton);
    }
    void Caret(int position, int length = 0) {
        QTextCursor cursor(edit->document());
        cursor.setPosition(position);
        cursor.setPosition(position + length, QTextCursor::KeepAnchor);
        edit->setTextCursor(cursor);
    }
    QString Selected() { return edit->textCursor().selectedText(); }

    KeywordModule keywords;
    ClockModule clocks;
    AudioEngine audio{EngineConfig{OutputKind::Virtual, 300, {}}};
    std::unique_ptr<CreatorForm> form;
    QTextEdit* edit = nullptr;
};

TEST_F(SearchFormTest, FindAndFindNextWalkForwardOverDocumentPositions) {
    // Loaded with CR LF: a position counted in the file text would land two
    // lines later by the third line.
    form->SetEditText("Music\r\nNews\r\nJingle\r\nnews\r\nNEWS\r\n");
    EXPECT_TRUE(Find<QAction>("menuFind")->isEnabled());
    Caret(0, 6);  // "Music" and the line break: only the first line is offered
    Key(Qt::Key_F, Qt::ControlModifier);
    ASSERT_NE(Window(), nullptr);
    EXPECT_TRUE(Window()->isVisible());
    EXPECT_EQ(Window()->windowTitle(), "Find");
    EXPECT_TRUE(Window()->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(InWindow<QLineEdit>("textFind")->text(), "Music");
    EXPECT_FALSE(InWindow<QLineEdit>("textReplace")->isVisible());
    EXPECT_FALSE(InWindow<QPushButton>("commandReplaceAll")->isVisible());
    EXPECT_EQ(InWindow<QLabel>("labelFind")->text(), "Fi&nd what:");

    // Return in the field is Find, and once Find has found, Find Next.
    auto* field = InWindow<QLineEdit>("textFind");
    field->clear();
    QTest::keyClicks(field, "news");
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(edit->textCursor().selectionStart(), 6);
    EXPECT_EQ(Selected(), "News");
    EXPECT_FALSE(InWindow<QPushButton>("commandFind")->isEnabled());
    EXPECT_TRUE(InWindow<QPushButton>("commandFindNext")->isDefault());

    QTest::keyClick(field, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(edit->textCursor().selectionStart(), 18);
    EXPECT_EQ(Selected(), "news");

    // Match case: only the capitals remain ahead; F3 repeats from the menu.
    InWindow<QCheckBox>("checkMatchCase")->setChecked(true);
    InWindow<QLineEdit>("textFind")->setText("NEWS");
    Click("commandFindNext");
    EXPECT_EQ(edit->textCursor().selectionStart(), 23);
    m_dialogs.ExpectMessage("Find Next");
    Key(Qt::Key_F3);
    EXPECT_EQ(m_dialogs.LastMessage().prompt, "Text Not Found");
    EXPECT_EQ(edit->textCursor().selectionStart(), 23) << "nothing wraps to the start";

    // A caret at the very end finds nothing and does not fail.
    Caret(edit->document()->characterCount() - 1);
    m_dialogs.ExpectMessage("Find Next");
    Click("commandFindNext");

    // Whole words: "New" is no word of this clock.
    InWindow<QCheckBox>("checkMatchCase")->setChecked(false);
    InWindow<QCheckBox>("checkWholeWord")->setChecked(true);
    InWindow<QLineEdit>("textFind")->setText("New");
    Caret(0);
    m_dialogs.ExpectMessage("Find");
    Key(Qt::Key_F, Qt::ControlModifier);
    InWindow<QLineEdit>("textFind")->setText("New");
    Click("commandFind");
    EXPECT_TRUE(InWindow<QPushButton>("commandFind")->isEnabled());

    // Escape is Cancel, wherever the focus is; the toolbar button opens the
    // same window, with Find the default again.
    QTest::keyClick(InWindow<QCheckBox>("checkWholeWord"), Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_EQ(Window(), nullptr);
    Find<QAction>("Find")->trigger();
    ASSERT_NE(Window(), nullptr);
    EXPECT_EQ(Window()->windowTitle(), "Find");
    EXPECT_TRUE(InWindow<QPushButton>("commandFind")->isDefault());
    EXPECT_FALSE(InWindow<QPushButton>("commandFindNext")->isDefault());
    Click("commandCancel");
    QApplication::processEvents();
    EXPECT_EQ(Window(), nullptr);
}

TEST_F(SearchFormTest, ReplaceAllIsOneEditThatReachesTheEndAndNeverLoops) {
    form->SetEditText("a News\r\nNews b\r\nnews\r\n");
    Caret(0);
    Key(Qt::Key_H, Qt::ControlModifier);
    ASSERT_NE(Window(), nullptr);
    EXPECT_EQ(Window()->windowTitle(), "Replace");
    EXPECT_TRUE(InWindow<QLineEdit>("textReplace")->isVisible());
    EXPECT_TRUE(InWindow<QPushButton>("commandReplaceAll")->isEnabled());
    auto* find = InWindow<QLineEdit>("textFind");
    auto* with = InWindow<QLineEdit>("textReplace");

    // A longer replacement that contains the search text: every occurrence
    // once, the last one near the end included, as one change and one undo.
    find->setText("news");
    with->setText("Late News");
    QSignalSpy changes(edit, &QTextEdit::textChanged);
    m_dialogs.ExpectMessage("Replace All");
    Click("commandReplaceAll");
    EXPECT_EQ(m_dialogs.LastMessage().prompt, "3 items were replaced.");
    EXPECT_EQ(form->EditText(), "a Late News\r\nLate News b\r\nLate News\r\n");
    EXPECT_EQ(changes.count(), 1);
    EXPECT_FALSE(form->Editor().Saved);
    edit->undo();
    EXPECT_EQ(form->EditText(), "a News\r\nNews b\r\nnews\r\n");

    // From the caret on only; one match; none.
    Caret(7);
    m_dialogs.ExpectMessage("Replace All");
    Click("commandReplaceAll");
    EXPECT_EQ(m_dialogs.LastMessage().prompt, "2 items were replaced.");
    Caret(0);
    find->setText("b");
    with->setText("");
    m_dialogs.ExpectMessage("Replace All");
    Click("commandReplaceAll");
    EXPECT_EQ(m_dialogs.LastMessage().prompt, "1 item was replaced.");
    find->clear();
    m_dialogs.ExpectMessage("Replace All");
    Click("commandReplaceAll");
    EXPECT_EQ(m_dialogs.LastMessage().prompt, "No items were replaced.");

    // Replace: the match after the caret, the caret behind the new text.
    form->SetEditText("Music\r\nNews\r\nNews\r\n");
    Caret(0);
    find->setText("News");
    with->setText("Weather");
    Click("commandReplace");
    EXPECT_EQ(form->EditText(), "Music\r\nWeather\r\nNews\r\n");
    EXPECT_EQ(edit->textCursor().position(), 13);
    Click("commandReplace");
    EXPECT_EQ(form->EditText(), "Music\r\nWeather\r\nWeather\r\n");
    m_dialogs.ExpectMessage("Replace");
    Click("commandReplace");
    EXPECT_EQ(m_dialogs.LastMessage().prompt, "Text Not Found");
}

}  // namespace
