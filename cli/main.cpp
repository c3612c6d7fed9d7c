#include "Cli.h"
#include "Paths.h"
#include "Version.h"

#include <unistd.h>
#include <QCoreApplication>
#include <cstdio>

using namespace sonavel;

int main(int argc, char** argv) {
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
