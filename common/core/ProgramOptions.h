#pragma once

#include <QString>
#include <QStringList>
#include <QTextStream>
#include <optional>

namespace sonavel {

// How a window program introduces itself on its command line.
struct ProgramCommandLine {
    QString program;      // the command's name, "sonavel-player"
    QString description;  // the lines of the help between the usage line and the options
};

// Answers a window program's command line before the program touches a
// display, its settings or its lock: --help and --version on out, and any
// other option or an operand refused on err with the usage line, as the
// sonavel command does. Returns the exit status when the program must end
// now (0, or 2 for a wrong command line); nothing when it goes on to start.
std::optional<int> AnswerCommandLine(const QStringList& arguments,
                                     const ProgramCommandLine& program, QTextStream& out,
                                     QTextStream& err);

// The same for the process's own command line and standard streams.
std::optional<int> AnswerCommandLine(int argc, char** argv, const ProgramCommandLine& program);

}  // namespace sonavel
