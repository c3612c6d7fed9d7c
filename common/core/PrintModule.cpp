#include "PrintModule.h"

#include "CommonModule.h"
#include "ErrorModule.h"
#include "Events.h"
#include "RuntimeError.h"
#include "TextFile.h"
#include "Windows.h"

namespace sonavel {

namespace {

QString Indented(const QString& text) {
    return QString(kPrintIndent, QLatin1Char(' ')) + text;
}

PrintInstance LogInstance(Session& session, bool error) {
    const QString& fileName = error ? session.ErrorLogFileName : session.ProgramLogFileName;
    PrintInstance instance;
    instance.procedure =
        error ? QStringLiteral("PrintErrorLogFile") : QStringLiteral("PrintProgramLogFile");
    instance.variable =
        error ? QStringLiteral("ErrorLogFileName") : QStringLiteral("ProgramLogFileName");
    instance.variableData = fileName;
    instance.guard = [&session, error] {
        Windows* windows = session.GetWindows();
        if (!windows) return QString();
        return (error ? windows->ErrorLogForm() : windows->ProgramLogForm()).Text();
    };
    instance.bodyLines = [fileName] { return textfile::ReadLines(fileName); };
    instance.caption = QStringLiteral("Now Printing Log");
    instance.title = QStringLiteral("Sonavel Log");
    instance.secondLine = fileName;
    return instance;
}

}  // namespace

void PrintText(Session& session, const PrintInstance& instance) {
    Windows* windows = session.GetWindows();
    if (!windows) return;
    ErrorTrap trap(session, instance.procedure, instance.variable,
                   [&] { return instance.variableData; });
    trap.EndSilentlyOnCancel();

    TextPrinter& printer = windows->Printer();
    bool jobOpen = false;
    bool windowShown = false;
    const bool finished = trap.Run([&] {
        QString guard;
        trap([&] { guard = instance.guard(); });
        if (guard.isEmpty()) {
            trap([&] {
                ShowInformation(
                    session,
                    instance.nothingToPrint.isEmpty() ? QStringLiteral("There is nothing to print.")
                                                      : instance.nothingToPrint,
                    instance.nothingToPrintTitle.isEmpty() ? session.FullName()
                                                           : instance.nothingToPrintTitle);
            });
            return;
        }
        trap([&] {
            const int flags = printflag::kNoSelection | printflag::kNoPageNums |
                              printflag::kUseDevModeCopies | printflag::kDisablePrintToFile |
                              printflag::kHidePrintToFile;
            if (!session.Dlg().PrinterDialog(flags)) throw MakeError(err::kDialogCancelled);
        });
        trap([&] {
            printer.BeginJob(QString::fromLatin1(kPrintFontName), kPrintFontSize);
            jobOpen = true;
        });
        const QDateTime started = session.Time().Now();
        trap([&] {
            windows->PrintingForm().Load();
            windowShown = true;
        });
        trap([&] { windows->PrintingForm().SetCaption(instance.caption); });

        int pageNumber = 0;
        int countedLines = 0;
        auto printCounted = [&](const QString& text) {
            trap([&] { printer.PrintLine(text); });
            ++countedLines;
        };
        auto header = [&] {
            ++pageNumber;
            countedLines = 0;
            printCounted(kCrLf);
            printCounted(kCrLf);
            printCounted(Indented(instance.title));
            printCounted(Indented(instance.secondLine));
            printCounted(Indented(QStringLiteral("Page ") + QString::number(pageNumber)));
            printCounted(kCrLf);
        };
        header();

        QStringList body;
        trap([&] { body = instance.bodyLines(); });
        for (const QString& line : body) {
            DoEvents();
            if (countedLines >= kPrintLinesPerPage) {
                trap([&] { printer.NewPage(); });
                header();
            }
            trap([&] { printer.PrintLine(Indented(line)); });
            DoEvents();
            ++countedLines;
        }
        trap([&] {
            jobOpen = false;
            printer.EndJob();
        });

        // Elapsed time as a difference of dates and times, so a job started
        // just before midnight still waits; a clock set back meanwhile is
        // caught by the bound of the wait.
        WaitUntil([&] { return started.msecsTo(session.Time().Now()) >= kPrintMinimumShowMs; });
        trap([&] {
            windowShown = false;
            windows->PrintingForm().Unload();
        });
    });
    if (finished) return;
    // Left half-way: the platform's printers cannot take back a job they have
    // begun, so what was printed goes out and the printer is free for the
    // next job; the printing window must not stay behind.
    auto quietly = [](const std::function<void()>& step) {
        try {
            step();
        } catch (const RuntimeError&) {
        }
    };
    if (jobOpen) quietly([&] { printer.EndJob(); });
    if (windowShown) quietly([&] { windows->PrintingForm().Unload(); });
}

void PrintErrorLogFile(Session& session) {
    PrintText(session, LogInstance(session, true));
}

void PrintProgramLogFile(Session& session) {
    PrintText(session, LogInstance(session, false));
}

void PrintSetup(Session& session) {
    ErrorTrap trap(session, QStringLiteral("menuPrintSetup_Click"));
    trap.EndSilentlyOnCancel();
    trap.Run([&] {
        trap([&] {
            if (!session.Dlg().PrintSetupDialog(printflag::kPrintSetup)) {
                throw MakeError(err::kDialogCancelled);
            }
        });
    });
}

}  // namespace sonavel
