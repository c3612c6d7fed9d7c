#include "AudioEngine.h"
#include "ClockModule.h"
#include "CreatorForm.h"
#include "FlushDeletes.h"
#include "HourReportForm.h"
#include "KeywordModule.h"
#include "PrintedPages.h"
#include "QtTextPrinter.h"
#include "QtWindows.h"
#include "RunForms.h"
#include "TempFolder.h"
#include "TestSounds.h"
#include "TextFile.h"

#include <QAction>
#include <QDir>
#include <QFontInfo>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTextEdit>
#include <memory>

using namespace sonavel;

namespace {

constexpr std::int64_t R = 48000;

// The end of a creation run as the operator meets it, with a printer that
// writes a PDF file.
class HourReportFormTest : public TempFolderTest {
  protected:
    HourReportFormTest()
        : keywords(MakeSession(Product::Creator)),
          clocks(*m_session, keywords),
          m_pdf(Path("out.pdf")),
          m_printer(PdfPrinter(m_pdf)),
          m_windows(*m_session, nullptr, &m_printer) {
        m_session->SetWindows(&m_windows);
        m_session->Creator.PlaylistFolder = Path("lists");
        // Player's announcements, where Creator finds them through Player's settings.
        m_store->SaveSetting(kAppName, kPlayerSection, "Time Check Folder", Path("time"));
        for (const char* folder : {"lists", "time", "snd"})
            QDir().mkpath(Path(folder));
        m_clock.Set(QDateTime(QDate(2026, 12, 5), QTime(18, 0)));  // the Saturday before
        form = std::make_unique<CreatorForm>(*m_session, keywords, clocks, audio);
    }
    ~HourReportFormTest() override { form.reset(); }

    QString Sound(const char* name, std::int64_t seconds) {
        QString path = Path(QStringLiteral("snd/%1.wav").arg(name));
        EXPECT_TRUE(testsounds::WriteHollow(path, seconds * R));
        return path;
    }

    KeywordModule keywords;
    ClockModule clocks;
    AudioEngine audio{EngineConfig{OutputKind::Virtual, 300, {}}};
    QString m_pdf;
    QtTextPrinter m_printer;
    QtWindows m_windows;
    std::unique_ptr<CreatorForm> form;
};

TEST_F(HourReportFormTest, RunsEndOffersTheWeeksReportReadOnlyAndPrintable) {
    const QString a = Sound("Morning A", 1500);
    const QString b = Sound("Morning B", 2000);
    textfile::WriteLines(Path("lists/Mon0700.lst"), {a, b});
    textfile::WriteLines(Path("lists/Mon0800.lst"), {":TimeCheck", b});
    testsounds::WriteHollow(Path("time/0823.wav"), 5 * R);

    // The run drives its progress window; the report is offered with OK at its end.
    RunDisplay& run = form->Display();
    run.ShowProgress("Creating Playlists", 168);
    auto* progress = form->findChild<ProgressForm*>();
    ASSERT_NE(progress, nullptr);
    QPushButton* report = progress->findChild<QPushButton*>("commandHourReport");
    ASSERT_NE(report, nullptr);
    EXPECT_EQ(report->text(), "Hour Report");
    EXPECT_FALSE(report->isEnabled()) << "not while the week is being written";
    run.EnableOk();
    EXPECT_TRUE(report->isEnabled());
    QTest::mouseClick(report, Qt::LeftButton);

    HourReportForm* window = form->HourReportWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), "Hour Report");
    auto* text = window->findChild<QTextEdit*>("textReport");
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(text->isReadOnly());
    EXPECT_TRUE(QFontInfo(text->font()).fixedPitch()) << text->font().family().toStdString();
    const QStringList lines = text->toPlainText().split('\n');
    EXPECT_EQ(lines.mid(0, 2),
              QStringList({"The week's 168 hours from the decoded lengths of their elements; the "
                           "worst hours first.",
                           "Playlists: " + Path("lists")}));
    // The short hour starts its list again and the first element sounds
    // 23:20 into the next hour, whose time check is the one for 08:23.
    EXPECT_EQ(lines
                  .filter(QRegularExpression("^Mon 07  58:20.0  -1:40.0 +0:00.0 +Morning A +"
                                             "\\+23:20.0 +1 +0:00.0$"))
                  .size(),
              1)
        << text->toPlainText().toStdString();
    EXPECT_EQ(lines.filter(QRegularExpression("^(Sun|Mon|Tue|Wed|Thu|Fri|Sat) \\d\\d +- +silent "))
                  .size(),
              166);
    EXPECT_TRUE(lines.contains("Tue 00: silent, no playlist Tue0000.lst"));
    // Typing changes nothing.
    QTest::keyClicks(text, "x");
    EXPECT_EQ(text->toPlainText().split('\n'), lines);

    // Printed as lines in words, through the programs' print routine.
    m_dialogs.ExpectPrinter();
    ClockTicker ticker(m_clock, 100);
    window->findChild<QAction*>("menuPrint")->trigger();
    EXPECT_TRUE(m_dialogs.AllAnswered());
    const std::vector<QStringList> pages = PrintedPages(m_pdf);
    ASSERT_GE(pages.size(), 3u);
    EXPECT_EQ(pages[0].mid(0, 4),
              QStringList({"Sonavel Hour Report", lines[0], "Page 1", lines[1]}));
    bool found = false;
    for (const QStringList& page : pages) {
        found = found || page.contains(
                             "Mon 07: length 58:20.0, -1:40.0, late 0:00.0, restarts 1; "
                             "across the top Morning A, +23:20.0");
    }
    EXPECT_TRUE(found);

    QTest::mouseClick(window->findChild<QPushButton*>("commandClose"), Qt::LeftButton);
    FlushDeletes();
    EXPECT_EQ(form->HourReportWindow(), nullptr);
}

}  // namespace
