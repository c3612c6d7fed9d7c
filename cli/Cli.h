#pragma once

#include "CreateCommand.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace sonavel {

class SoundDevices;

// The streams a command talks through; the program hands in the process's
// own, tests their buffers.
struct Console {
    QTextStream& in;
    QTextStream& out;
    QTextStream& err;
    bool inputIsTerminal = false;
};

struct CliContext {
    Console& console;
    // The station create-playlists works on; without one, the user's own,
    // where Creator finds it.
    std::optional<StationPaths> station;
    // Tests: the Player's running-copy lock, and a silent output for air.
    QString playerLock = {};
    bool silentOutput = false;
    // How often --wait tries the lock again: Sonavel Player's for air,
    // Sonavel Creator's for create-playlists.
    std::chrono::milliseconds playerRetry{5000};
    std::chrono::milliseconds creatorRetry{60000};
    // Tests: the sound devices devices lists; the system's when null.
    std::shared_ptr<SoundDevices> soundDevices = {};
};

struct CliOption {
    QString longName;  // "yes", given as --yes
    QChar shortName;   // 'y', given as -y; null when there is none
    QString help;
    // Set for an option that takes a value ("--for SECONDS", "--for=SECONDS").
    QString valueName = {};
};

struct ParsedArguments {
    QStringList options;  // long names of the options given
    QStringList operands;
    QHash<QString, QString> values;         // of the options that take one: the last given
    QHash<QString, QStringList> allValues;  // every value, for an option given more than once
    bool Has(const QString& longName) const { return options.contains(longName); }
    QString Value(const QString& longName) const { return values.value(longName); }
    QStringList Values(const QString& longName) const { return allValues.value(longName); }
};

// One subcommand of the program: what its help says and what runs it. The
// program's table is a plain list, so a further command is one more entry.
struct Subcommand {
    QString name;
    QString summary;   // one line in the program's help
    QString synopsis;  // after "sonavel NAME" in the usage line
    QString description;
    QList<CliOption> options;  // --help is every command's own
    int minOperands = 0;
    int maxOperands = 0;
    std::function<int(const ParsedArguments&, CliContext&)> run;
};

// Exit statuses, as the help texts state them.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

QList<Subcommand> StandardSubcommands();

struct SoundDevice;
// What 'sonavel devices' prints for these devices.
void PrintSoundDevices(const std::vector<SoundDevice>& devices, QTextStream& out);

// Runs the command line (without the program's own name) and returns the
// exit status.
int RunCli(const QStringList& arguments, CliContext& context,
           const QList<Subcommand>& commands = StandardSubcommands());

}  // namespace sonavel
