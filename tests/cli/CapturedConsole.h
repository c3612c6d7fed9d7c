#pragma once

#include "Cli.h"
#include "QtPrinters.h"

#include <QIODevice>
#include <QString>
#include <QTextStream>
#include <chrono>
#include <memory>
#include <optional>
#include <ostream>

namespace sonavel {

// The three streams of a command as text: what the test types in, and what
// the command printed on standard output and standard error.
struct CapturedConsole {
    explicit CapturedConsole(const QString& input = {}, bool terminal = false)
        : inText(input), console{in, out, err, terminal} {}

    int Run(const QStringList& arguments, std::optional<StationPaths> station = std::nullopt,
            const QList<Subcommand>& commands = StandardSubcommands()) {
        CliContext context{console, std::move(station)};
        context.soundDevices = soundDevices;
        context.playerLock = playerLock;
        if (retry.count() > 0) context.playerRetry = context.creatorRetry = retry;
        const int status = RunCli(arguments, context, commands);
        out.flush();
        err.flush();
        return status;
    }

    QString inText, outText, errText;
    QTextStream in{&inText, QIODevice::ReadOnly};
    QTextStream out{&outText, QIODevice::WriteOnly};
    QTextStream err{&errText, QIODevice::WriteOnly};
    Console console;
    std::shared_ptr<SoundDevices> soundDevices;  // the system's when null
    QString playerLock;                          // the user's when empty
    std::chrono::milliseconds retry{0};          // --wait's, when set
};

}  // namespace sonavel
