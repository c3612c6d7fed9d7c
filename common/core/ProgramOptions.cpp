#include "ProgramOptions.h"

#include "Version.h"

#include <QFile>
#include <cstdio>

namespace sonavel {

namespace {

constexpr int kUsageStatus = 2;

int Refuse(const ProgramCommandLine& program, const QString& problem, QTextStream& err) {
    err << program.program << ": " << problem << '\n'
        << "Usage: " << program.program << " [OPTION]...\n"
        << "Try '" << program.program << " --help' for more information.\n";
    err.flush();
    return kUsageStatus;
}

}  // namespace

std::optional<int> AnswerCommandLine(const QStringList& arguments,
                                     const ProgramCommandLine& program, QTextStream& out,
                                     QTextStream& err) {
    bool onlyOperands = false;
    // Taken in order, as getopt does: a wrong word before --help is the answer.
    for (const QString& argument : arguments) {
        if (!onlyOperands && argument == QLatin1String("--")) {
            onlyOperands = true;
            continue;
        }
        if (onlyOperands || argument == QLatin1String("-") || !argument.startsWith(u'-')) {
            return Refuse(program, QStringLiteral("extra operand '%1'").arg(argument), err);
        }
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            out << "Usage: " << program.program << " [OPTION]...\n"
                << program.description << "\n\n"
                << "Options:\n"
                << "  -h, --help            show this help and exit\n"
                << "      --version         show the version and exit\n\n"
                << "Exit status:\n"
                << "  0  the program ended normally, also on SIGTERM, SIGINT or SIGHUP, after\n"
                << "     its first start on a new account, and when another copy is running\n"
                << "  1  the settings file cannot be used\n"
                << "  2  the command line was wrong\n";
            out.flush();
            return 0;
        }
        if (argument == QLatin1String("--version")) {
            out << program.program << ' ' << kSonavelVersion << '\n';
            out.flush();
            return 0;
        }
        const qsizetype equals = argument.indexOf(u'=');
        const QString word = equals > 0 ? argument.left(equals) : argument;
        if (word == QLatin1String("--help") || word == QLatin1String("--version")) {
            return Refuse(program,
                          QStringLiteral("option '%1' doesn't allow an argument").arg(word), err);
        }
        return Refuse(program, QStringLiteral("unrecognized option '%1'").arg(argument), err);
    }
    return std::nullopt;
}

std::optional<int> AnswerCommandLine(int argc, char** argv, const ProgramCommandLine& program) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QFile::decodeName(argv[i]);
    QTextStream out(stdout);
    QTextStream err(stderr);
    return AnswerCommandLine(arguments, program, out, err);
}

}  // namespace sonavel
