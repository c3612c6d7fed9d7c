#include "Cli.h"
#include "Paths.h"
#include "SignalWatch.h"
#include "Version.h"

#include <unistd.h>
#include <QCoreApplication>
#include <cstdio>

using namespace sonavel;

int main(int argc, char** argv) {
    // First of all: `sonavel air` stopped during its start-up still closes
    // its air check and logs its end.
    SignalWatch::CatchEarly();
    EnsureRuntimeFolder();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("sonavel"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(kSonavelVersion));

    QTextStream in(stdin);
    QTextStream out(stdout);
    QTextStream err(stderr);
    Console console{in, out, err, isatty(STDIN_FILENO) == 1};
    CliContext context{console, std::nullopt};
    // Further commands are appended to this table.
    const QList<Subcommand> commands = StandardSubcommands();
    const int status = RunCli(QCoreApplication::arguments().mid(1), context, commands);
    out.flush();
    err.flush();
    return status;
}
