#include "AudioEngine.h"
#include "ClockEditor.h"
#include "ClockEstimate.h"
#include "CreatorForm.h"
#include "FakeEditorWindow.h"
#include "TempFolder.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>

using namespace sonavel;

namespace {

constexpr std::int32_t kBlue = 0xFF0000;  // 0x00BBGGRR
constexpr std::int32_t kRed = 0x0000FF;

class ClockEstimateTest : public TempFolderTest {
  protected:
    ClockEstimateTest()
        : keywords(MakeSession(Product::Creator)),
          clocks(*m_session, keywords),
          editor(*m_session, keywords, clocks, window),
          estimate(*m_session, keywords, window) {
        window.editor = &editor;
        window.estimate = [this](EstimateStart start) { estimate.EstimateClockTime(start); };
        window.editHeader = "Edit: Monday 07:00";
    }

    void StoreKeyword(const QString& name, std::int32_t color, std::int32_t seconds) {
        keywords.RefreshKeywordList();
        ASSERT_TRUE(keywords.AddKeywordEntry(name));
        m_store->SaveSetting(kKeywordApp, name, "Color", QString::number(color));
        m_store->SaveSetting(kKeywordApp, name, "Estimated Time", QString::number(seconds));
    }

    void Estimate(const QString& text, EstimateStart start = EstimateStart::Command) {
        window.text = text;
        estimate.EstimateClockTime(start);
    }

    KeywordModule keywords;
    ClockModule clocks;
    FakeEditorWindow window;
    ClockEditor editor;
    ClockEstimate estimate;
};

TEST_F(ClockEstimateTest, PreviewShowsRunningStartTimesAndKeywordsInTheirColours) {
    StoreKeyword("Music", kBlue, 180);
    StoreKeyword("News", kRed, 120);
    StoreKeyword("NEWS", 0x00FF00, 30);

    Estimate("Music\r\nNews\r\nMusic\r\n");
    const std::vector<PreviewRun> expected = {
        {"00:00:00  ", 0}, {"Music\r\n", kBlue}, {"00:03:00  ", 0}, {"News\r\n", kRed},
        {"00:05:00  ", 0}, {"Music\r\n", kBlue}, {"00:08:00  ", 0}};
    ASSERT_EQ(window.previewRuns.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(window.previewRuns[i].text, expected[i].text) << i;
        EXPECT_EQ(window.previewRuns[i].color, expected[i].color) << i;
    }
    EXPECT_EQ(window.estimatePanel, "08:00");
    EXPECT_TRUE(window.estimatePanelEnabled);
    EXPECT_EQ(window.previewHeader, "Preview: Monday 07:00");

    // Lines match trimmed and in any case, the first keyword of the table
    // winning and showing as stored; a single blank, comments, empty lines and
    // misspellings are skipped; ":timecheck" counts only as a defined keyword;
    // the last line counts without its line break.
    Estimate(" \r\n  news  \r\n' a comment\r\n\r\nMusik\r\n:timecheck\r\nmUSIC");
    EXPECT_EQ(window.preview, "00:00:00  News\r\n00:02:00  Music\r\n00:05:00  ");
    EXPECT_EQ(window.estimatePanel, "05:00");

    StoreKeyword(":TimeCheck", 0, 10);
    Estimate(":timecheck");
    EXPECT_EQ(window.preview, "00:00:00  :TimeCheck\r\n00:00:10  ");

    // A clock naming no keyword plays for nothing, which is no problem.
    Estimate("; only a comment\r\n");
    EXPECT_EQ(window.preview, "00:00:00  ");
    EXPECT_EQ(window.estimatePanel, "00:00");
    EXPECT_TRUE(window.estimatePanelEnabled);
    EXPECT_TRUE(m_dialogs.Shown().empty());
}

TEST_F(ClockEstimateTest, ProblemsAreReportedOnRequestButNeverWhileTyping) {
    // No keywords at all.
    m_dialogs.ExpectMessage("Unable to Estimate Time");
    Estimate("Music\r\n");
    MessageRequest shown = m_dialogs.LastMessage();
    EXPECT_EQ(shown.prompt,
              "Unable to estimate time since there are no Keyword definitions.\r\n"
              "Please run Keyword Maintenance to create keyword definitions.");
    EXPECT_EQ(shown.icon, MsgIcon::Information);
    EXPECT_EQ(window.preview, "");
    EXPECT_EQ(window.estimatePanel, "00:00");
    EXPECT_FALSE(window.estimatePanelEnabled);

    // An empty pane.
    StoreKeyword("Music", kBlue, 180);
    m_dialogs.ExpectMessage("Unable to Estimate Time");
    Estimate("");
    EXPECT_EQ(m_dialogs.LastMessage().prompt,
              "Unable to estimate time since no Clock is loaded.\r\nPlease load a Clock.");
    EXPECT_EQ(window.previewHeader, "Preview: Monday 07:00");

    // A keyword whose time was never calculated blocks the estimate even
    // when the clock does not use it; so does one of a full hour.
    for (std::int32_t seconds : {1, 3600}) {
        m_store->SaveSetting(kKeywordApp, "Music", "Estimated Time", QString::number(seconds));
        StoreKeyword("Unused" + QString::number(seconds), 0, 1);
        m_store->SaveSetting(kKeywordApp, "Unused" + QString::number(seconds), "Estimated Time",
                             "60");
        m_dialogs.ExpectMessage("Unable to Estimate Time");
        Estimate("Unused1\r\n");
        EXPECT_EQ(m_dialogs.LastMessage().prompt,
                  "Unable to estimate time since Keyword\r\n'Music' has an invalid estimated "
                  "time.\r\n\r\nPlease run Keyword Maintenance.");
        EXPECT_EQ(window.preview, "");
        EXPECT_FALSE(window.estimatePanelEnabled);
    }

    // The same three started by typing: no box, an empty preview, a greyed panel.
    const std::size_t boxes = m_dialogs.Shown().size();
    window.preview = "stale";
    Estimate("Music\r\n", EstimateStart::Typing);
    Estimate("", EstimateStart::Typing);
    keywords.DeleteAllKeywordDefinitions();
    Estimate("Music\r\n", EstimateStart::Typing);
    EXPECT_EQ(m_dialogs.Shown().size(), boxes);
    EXPECT_EQ(window.preview, "");
    EXPECT_EQ(window.estimatePanel, "00:00");
    EXPECT_FALSE(window.estimatePanelEnabled);
}

// A new keyword has the estimated time 1, so every keystroke used to raise
// the box, and the box took the key.
TEST_F(ClockEstimateTest, TypingWithANewKeywordStaysQuietWhileLoadingStillReports) {
    StoreKeyword("Music", kBlue, 180);
    keywords.RefreshKeywordList();
    ASSERT_TRUE(keywords.AddKeywordEntry("Brand New"));
    m_session->Creator.EstimateTime = true;

    for (const QChar c : QStringLiteral("Music\r\n"))
        window.Type(c);
    EXPECT_EQ(window.typedEstimates, 7);
    EXPECT_TRUE(m_dialogs.Shown().empty());
    EXPECT_FALSE(window.estimatePanelEnabled);

    QDir().mkpath(Path("Clocks"));
    QFile file(Path("Clocks/Mon0700.clk"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("Music\r\n");
    file.close();
    m_dialogs.ExpectMessage("Unable to Estimate Time");
    editor.LoadClockFile(file.fileName());
    EXPECT_EQ(window.typedEstimates, 7) << "the half-loaded text is not estimated";
    EXPECT_NE(m_dialogs.LastMessage().prompt.indexOf("'Brand New'"), -1);

    // Once the new keyword has a time, typing estimates again.
    m_store->SaveSetting(kKeywordApp, "Brand New", "Estimated Time", "30");
    window.Type("brand new\r\n");
    EXPECT_EQ(window.preview, "00:00:00  Music\r\n00:03:00  Brand New\r\n00:03:30  ");
    EXPECT_EQ(window.estimatePanel, "03:30");
}

// The same in the window: typing into the edit pane as an operator does.
TEST_F(ClockEstimateTest, WindowPreviewFollowsTypingWithoutEverRaisingABox) {
    StoreKeyword("Music", kBlue, 180);
    keywords.RefreshKeywordList();
    ASSERT_TRUE(keywords.AddKeywordEntry("Brand New"));
    m_session->Creator.EstimateTime = true;
    AudioEngine audio{EngineConfig{OutputKind::Virtual, 300, {}}};
    CreatorForm form(*m_session, keywords, clocks, audio);
    form.show();
    QApplication::setActiveWindow(&form);
    auto* edit = form.findChild<QTextEdit*>("textEdit");
    auto* preview = form.findChild<QTextEdit*>("textPreview");
    auto* panel = form.findChild<QLabel*>("Estimated Time");

    QTest::keyClicks(edit, "Music");
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(edit->toPlainText(), "Music\n") << "no box took a key";
    EXPECT_TRUE(m_dialogs.Shown().empty());
    EXPECT_TRUE(preview->toPlainText().isEmpty());
    EXPECT_EQ(panel->text(), "00:00");
    EXPECT_FALSE(panel->isEnabled());

    // The toolbar button asks for the estimate, so it says what is wrong.
    m_dialogs.ExpectMessage("Unable to Estimate Time");
    form.findChild<QAction*>("Estimate Time")->trigger();
    EXPECT_NE(m_dialogs.LastMessage().prompt.indexOf("'Brand New'"), -1);

    m_store->SaveSetting(kKeywordApp, "Brand New", "Estimated Time", "45");
    QTest::keyClicks(edit, "brand new");
    EXPECT_EQ(preview->toPlainText(), "00:00:00  Music\n00:03:00  Brand New\n00:03:45  ");
    EXPECT_EQ(panel->text(), "03:45");
    EXPECT_TRUE(panel->isEnabled());
    EXPECT_EQ(form.findChild<QLineEdit*>("textPreviewHeader")->text(),
              "Preview: No File is Loaded");
    auto colourAt = [&](int line, int column) {
        QTextCursor cursor(preview->document()->findBlockByNumber(line));
        cursor.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, column + 1);
        return cursor.charFormat().foreground().color();
    };
    EXPECT_EQ(colourAt(0, 0), QColor(Qt::black));
    EXPECT_EQ(colourAt(0, 10), QColor(0, 0, 255));
    EXPECT_EQ(colourAt(1, 10), QColor(0, 0, 0)) << "Brand New keeps the colour it was given";
    EXPECT_EQ(colourAt(2, 3), QColor(Qt::black));
}

}  // namespace
