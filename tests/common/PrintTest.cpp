#include "ErrorModule.h"
#include "PrintModule.h"
#include "PrintedPages.h"
#include "QtDialogs.h"
#include "QtTextPrinter.h"
#include "QtWindows.h"
#include "TempFolder.h"
#include "TextFile.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QRegularExpression>
#include <map>

using namespace sonavel;

namespace {

constexpr int kPrinterDialogFlags = 1835020;
// Fifteen blanks of Arial at 10 points: the space is 569/2048 of the em.
constexpr double kIndentPoints = 15 * 10 * 569.0 / 2048.0;

// Where each printed line starts on its page, in points: top -> left.
std::vector<std::map<double, double>> LineStarts(const QString& pdf) {
    static const QRegularExpression kWord(
        QStringLiteral(R"re(<word xMin="([\d.]+)" yMin="([\d.]+)")re"));
    std::vector<std::map<double, double>> pages;
    for (const QString& line : PdfToText({"-bbox", pdf, "-"}).split(QLatin1Char('\n'))) {
        if (line.contains(QLatin1String("<page "))) pages.emplace_back();
        const QRegularExpressionMatch word = kWord.match(line);
        if (!word.hasMatch() || pages.empty()) continue;
        const double x = word.captured(1).toDouble();
        const double y = word.captured(2).toDouble();
        auto [it, added] = pages.back().emplace(y, x);
        if (!added && x < it->second) it->second = x;
    }
    return pages;
}

QStringList Numbered(int from, int to) {
    QStringList lines;
    for (int i = from; i <= to; ++i)
        lines << QStringLiteral("Entry %1 played").arg(i, 2, 10, QLatin1Char('0'));
    return lines;
}

class PrintTest : public TempFolderTest {
  protected:
    PrintTest()
        : s(MakeSession(Product::Player)),
          m_pdf(Path("out.pdf")),
          m_printer(PdfPrinter(m_pdf)),
          m_windows(s, nullptr, &m_printer) {
        s.SetWindows(&m_windows);
        QDir().mkpath(Path("Logs"));
        s.ErrorLogFileName = Path("Logs/Error.log");
        s.ProgramLogFileName = Path("Logs/Program.log");
    }

    QWidget* Form() { return dynamic_cast<QWidget*>(&m_windows.PrintingForm()); }
    QString Label() { return Form()->findChild<QLabel*>("labelPrinting")->text(); }

    // Each turn of the event loop moves the clock on a tenth of a second and
    // notes whether the printing window was up and what it said.
    struct Sample {
        QDateTime at;
        bool shown;
        QString label;
    };
    std::vector<Sample> m_samples;
    Session& s;
    QString m_pdf;
    QtTextPrinter m_printer;
    QtWindows m_windows;
    ClockTicker m_ticker{m_clock, 100, [this] {
                             m_samples.push_back({m_clock.Now(), Form()->isVisible(), Label()});
                         }};
};

TEST_F(PrintTest, LogsPrintSixtyCountedLinesToAPageUnderAHeader) {
    textfile::WriteLines(s.ErrorLogFileName, Numbered(1, 54));
    DisplayErrorLog(s);
    m_dialogs.ExpectPrinter();
    PrintErrorLogFile(s);
    ASSERT_TRUE(m_dialogs.AllAnswered());
    EXPECT_EQ(m_dialogs.Shown().back().printerFlags, kPrinterDialogFlags);
    EXPECT_TRUE(m_dialogs.Messages().empty());
    std::vector<QStringList> pages = PrintedPages(m_pdf);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0],
              QStringList({"Sonavel Log", s.ErrorLogFileName, "Page 1"}) + Numbered(1, 54));

    // The 55th line starts a page of its own, under a fresh header.
    textfile::WriteLines(s.ProgramLogFileName, Numbered(1, 55));
    DisplayProgramLog(s);
    m_dialogs.ExpectPrinter();
    PrintProgramLogFile(s);
    pages = PrintedPages(m_pdf);
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages[0],
              QStringList({"Sonavel Log", s.ProgramLogFileName, "Page 1"}) + Numbered(1, 54));
    EXPECT_EQ(pages[1],
              QStringList({"Sonavel Log", s.ProgramLogFileName, "Page 2"}) + Numbered(55, 55));

    // Every line, header and body, starts 15 blanks of Arial 10 in from the
    // margin; the header's blank lines take one line each.
    const QRectF area = m_printer.Device().pageLayout().paintRect(QPageLayout::Point);
    const auto starts = LineStarts(m_pdf);
    ASSERT_EQ(starts.size(), 2u);
    for (const auto& page : starts) {
        ASSERT_GE(page.size(), 4u);
        for (const auto& [top, left] : page)
            EXPECT_NEAR(left, area.left() + kIndentPoints, 0.5) << "line at " << top;
        auto line = page.begin();
        const double title = line->first;
        const double step = (++line)->first - title;
        EXPECT_NEAR(title - area.top(), 2 * step, 0.5);
        const double pageLine = (++line)->first;
        EXPECT_NEAR((++line)->first - pageLine, 2 * step, 0.5) << "one blank line before the body";
    }
}

TEST_F(PrintTest, PrintingWindowStaysTwoSecondsByTheClockAlsoAcrossMidnight) {
    textfile::WriteLines(s.ErrorLogFileName, {"one entry"});
    DisplayErrorLog(s);
    for (const QTime start : {QTime(16, 55, 22), QTime(23, 59, 59)}) {
        SCOPED_TRACE(start.toString().toStdString());
        const QDateTime started(QDate(2026, 12, 5), start);
        m_clock.Set(started);
        m_samples.clear();
        m_dialogs.ExpectPrinter();
        PrintErrorLogFile(s);

        ASSERT_FALSE(m_samples.empty());
        for (const Sample& sample : m_samples) {
            if (started.msecsTo(sample.at) >= 2000) break;
            EXPECT_TRUE(sample.shown) << started.msecsTo(sample.at) << " ms";
            EXPECT_EQ(sample.label, "Now Printing Log");
        }
        const qint64 elapsed = started.msecsTo(m_clock.Now());
        EXPECT_GE(elapsed, 2000);
        EXPECT_LE(elapsed, 2300) << "the window must go once the two seconds are up";
        EXPECT_FALSE(Form()->isVisible());
    }

    // Loaded again it shows its designed caption, and Escape unloads it.
    m_windows.PrintingForm().Load();
    EXPECT_EQ(Label(), "Now Printing...");
    m_windows.PrintingForm().SetCaption("Now Printing Log");
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(Form(), &escape);
    EXPECT_FALSE(Form()->isVisible());
    m_windows.PrintingForm().Load();
    EXPECT_EQ(Label(), "Now Printing...");
    m_windows.PrintingForm().Unload();
}

TEST_F(PrintTest, EmptyViewerOrCancelPrintsNothingAndShowsNoWindow) {
    // The viewer's text decides, not the file behind it.
    textfile::WriteLines(s.ErrorLogFileName, Numbered(1, 3));
    m_dialogs.ExpectMessage("Sonavel Player");
    PrintErrorLogFile(s);
    ASSERT_EQ(m_dialogs.Shown().size(), 1u) << "no printer dialog for an empty viewer";
    EXPECT_EQ(m_dialogs.LastMessage().prompt, "There is nothing to print.");
    EXPECT_EQ(m_dialogs.LastMessage().icon, MsgIcon::Information);

    DisplayErrorLog(s);
    m_dialogs.Clear();
    m_dialogs.ExpectPrinter(false);
    PrintErrorLogFile(s);
    EXPECT_EQ(m_dialogs.Shown().size(), 1u) << "cancel ends without a word";

    EXPECT_FALSE(QFile::exists(m_pdf));
    EXPECT_TRUE(m_samples.empty()) << "no printing window, no wait";
}

TEST_F(PrintTest, FailuresAreReportedAndLeaveNeitherWindowNorJobBehind) {
    textfile::WriteLines(s.ErrorLogFileName, Numbered(1, 3));
    DisplayErrorLog(s);
    QFile::remove(s.ErrorLogFileName);
    m_dialogs.ExpectPrinter().ExpectMessage("Sonavel Player", MsgResult::Abort);
    PrintErrorLogFile(s);
    ASSERT_TRUE(m_dialogs.AllAnswered());
    const QString report = m_dialogs.LastMessage().prompt;
    EXPECT_TRUE(report.startsWith("Error 53 ")) << report.toStdString();
    EXPECT_TRUE(report.contains("Module: PrintErrorLogFile\r\nVariable: ErrorLogFileName (" +
                                s.ErrorLogFileName + ")"))
        << report.toStdString();
    EXPECT_FALSE(Form()->isVisible());

    // The printer is free again for the next job.
    textfile::WriteLines(s.ErrorLogFileName, Numbered(1, 3));
    m_dialogs.ExpectPrinter();
    PrintErrorLogFile(s);
    ASSERT_EQ(PrintedPages(m_pdf).size(), 1u);
    EXPECT_EQ(PrintedPages(m_pdf)[0].mid(3), Numbered(1, 3));

    // A printer that cannot start the job is a failure of the print command.
    m_printer.Device().setOutputFileName(Path("missing/out.pdf"));
    m_dialogs.ExpectPrinter().ExpectMessage("Sonavel Player", MsgResult::Abort);
    PrintErrorLogFile(s);
    EXPECT_TRUE(m_dialogs.LastMessage().prompt.startsWith("Error 482 Printer error"));
    EXPECT_FALSE(Form()->isVisible());
}

TEST_F(PrintTest, PrinterDialogsWorkOnTheProgramsPrinter) {
    m_dialogs.ExpectPrintSetup(false);
    PrintSetup(s);
    ASSERT_EQ(m_dialogs.Shown().size(), 1u) << "cancel ends without a word";
    EXPECT_EQ(m_dialogs.Shown()[0].printerFlags, 64);

    QtDialogs dialogs(&m_printer);
    QPrintDialog::PrintDialogOptions options;
    QPrinter* configured = nullptr;
    QTimer answer;
    bool accept = false;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) return;
        if (auto* print = qobject_cast<QPrintDialog*>(dialog)) {
            options = print->options();
            configured = print->printer();
        } else if (auto* setup = qobject_cast<QPageSetupDialog*>(dialog)) {
            configured = setup->printer();
        }
        accept ? dialog->accept() : dialog->reject();
    });
    answer.start(5);
    EXPECT_FALSE(dialogs.PrinterDialog(kPrinterDialogFlags));
    EXPECT_EQ(configured, &m_printer.Device());
    EXPECT_FALSE(options.testFlag(QPrintDialog::PrintToFile));
    EXPECT_FALSE(options.testFlag(QPrintDialog::PrintPageRange));
    EXPECT_FALSE(options.testFlag(QPrintDialog::PrintSelection));
    configured = nullptr;
    accept = true;
    EXPECT_TRUE(dialogs.PrintSetupDialog(64));
    EXPECT_EQ(configured, &m_printer.Device());
}

}  // namespace
