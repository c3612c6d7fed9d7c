#pragma once

#include "Session.h"

#include <QString>
#include <QStringList>
#include <functional>

namespace sonavel {

// One print command: what it prints and how it names itself. Every print
// command of both programs is an instance of PrintText, so the page layout,
// the printing window and the failure handling are the same for all.
struct PrintInstance {
    // Reported as the failing procedure, with the variable and its value.
    QString procedure;
    QString variable;
    QString variableData;
    // The text that must not be empty, usually the viewer's; read first.
    std::function<QString()> guard;
    // The lines to print; read once the printing window is up.
    std::function<QStringList()> bodyLines;
    QString caption;  // labelPrinting while the job runs
    QString title;
    QString secondLine;
    // Left empty: "There is nothing to print." titled with the program's name.
    QString nothingToPrint;
    QString nothingToPrintTitle;
};

// Page layout shared by every print command.
inline constexpr int kPrintIndent = 15;
inline constexpr int kPrintLinesPerPage = 60;
inline constexpr char kPrintFontName[] = "Arial";
inline constexpr double kPrintFontSize = 10;
inline constexpr int kPrintMinimumShowMs = 2000;

void PrintText(Session& session, const PrintInstance& instance);

void PrintErrorLogFile(Session& session);
void PrintProgramLogFile(Session& session);

// The "Print Setup" entries of the viewers.
void PrintSetup(Session& session);

}  // namespace sonavel
