#include "CapturedConsole.h"
#include "FakeSoundDevices.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QTemporaryDir>

using namespace sonavel;

namespace {

TEST(CliTest, CommandLineMistakesPrintUsageOnStandardErrorAndExitTwo) {
    QTemporaryDir dir;
    const QString first = dir.filePath(QStringLiteral("one"));
    const QString second = dir.filePath(QStringLiteral("two"));
    const struct {
        QStringList arguments;
        QString problem;
        QString usage;
    } cases[] = {
        {{}, "sonavel: missing command", "Try 'sonavel --help'"},
        {{"play"}, "sonavel: unknown command 'play'", "Try 'sonavel --help'"},
        {{"--yes"}, "sonavel: unrecognized option '--yes'", "Try 'sonavel --help'"},
        {{"create-playlists", "--force"},
         "sonavel: create-playlists: unrecognized option '--force'",
         "Usage: sonavel create-playlists [OPTION]..."},
        {{"create-playlists", "now"},
         "sonavel: create-playlists: extra operand 'now'",
         "Try 'sonavel create-playlists --help'"},
        {{"demo-station"},
         "sonavel: demo-station: missing operand",
         "Usage: sonavel demo-station [OPTION]... DIR"},
        // The second folder is refused before anything is written to the first.
        {{"demo-station", first, second},
         QStringLiteral("sonavel: demo-station: extra operand '%1'").arg(second),
         "Try 'sonavel demo-station --help'"},
        {{"demo-station", "-y", first},
         "sonavel: demo-station: unrecognized option '-y'",
         "Usage: sonavel demo-station"},
    };
    for (const auto& c : cases) {
        CapturedConsole console;
        EXPECT_EQ(console.Run(c.arguments), kExitUsage) << c.arguments.join(' ').toStdString();
        EXPECT_TRUE(console.errText.startsWith(c.problem + QLatin1Char('\n')))
            << console.errText.toStdString();
        EXPECT_TRUE(console.errText.contains(c.usage)) << console.errText.toStdString();
        EXPECT_TRUE(console.outText.isEmpty());
    }
    EXPECT_FALSE(QDir(first).exists());
    EXPECT_FALSE(QDir(second).exists());
}

TEST(CliTest, HelpGoesToStandardOutputWhateverElseTheCommandLineSays) {
    CapturedConsole program;
    EXPECT_EQ(program.Run({"--help"}), kExitSuccess);
    EXPECT_TRUE(program.outText.startsWith("Usage: sonavel COMMAND"));
    EXPECT_TRUE(program.outText.contains("\n  create-playlists    write the week's 168 playlists"));
    EXPECT_TRUE(program.outText.contains("\n  demo-station        write a complete demo station"));
    EXPECT_TRUE(program.outText.contains("Exit status:"));
    EXPECT_TRUE(program.errText.isEmpty());

    // A command's help wins over its missing operand, and nothing runs.
    CapturedConsole demo;
    EXPECT_EQ(demo.Run({"demo-station", "-h"}), kExitSuccess);
    EXPECT_TRUE(demo.outText.startsWith("Usage: sonavel demo-station [OPTION]... DIR\n"));
    EXPECT_TRUE(demo.outText.contains("      --tones"));
    EXPECT_TRUE(demo.errText.isEmpty());

    CapturedConsole create;
    EXPECT_EQ(create.Run({"create-playlists", "--yes", "--help"}), kExitSuccess);
    EXPECT_TRUE(create.outText.startsWith("Usage: sonavel create-playlists [OPTION]...\n"));
    EXPECT_TRUE(create.outText.contains("  -y, --yes"));
    EXPECT_TRUE(create.outText.contains("  -h, --help"));
    EXPECT_TRUE(create.errText.isEmpty());

    CapturedConsole version;
    EXPECT_EQ(version.Run({"--version"}), kExitSuccess);
    EXPECT_TRUE(version.outText.startsWith("sonavel "));
}

TEST(CliTest, DevicesListsTheCardsOrNamesTheSilentOutputWithoutOne) {
    const auto cards = std::make_shared<FakeSoundDevices>();
    CapturedConsole none;
    none.soundDevices = cards;
    EXPECT_EQ(none.Run({"devices"}), kExitSuccess);
    EXPECT_EQ(none.outText,
              "No sound device was found on this machine.\n"
              "Sonavel Player and 'sonavel air' play on the silent output paced in real\n"
              "time: the programme keeps its timeline, and nothing is heard.\n");

    cards->Add("USB Desk");
    cards->Add("default", true);
    CapturedConsole two;
    two.soundDevices = cards;
    EXPECT_EQ(two.Run({"devices"}), kExitSuccess);
    EXPECT_TRUE(
        two.outText.startsWith("Sound devices (* the default):\n"
                               "  USB Desk  (Fake, 2 channels)\n"
                               "* default  (Fake, 2 channels)\n"))
        << two.outText.toStdString();
    EXPECT_TRUE(two.errText.isEmpty());

    CapturedConsole help;
    EXPECT_EQ(help.Run({"--help"}), kExitSuccess);
    EXPECT_TRUE(help.outText.contains("\n  devices             list the sound devices"));
    CapturedConsole air;
    EXPECT_EQ(air.Run({"air", "--help"}), kExitSuccess);
    EXPECT_TRUE(air.outText.contains("      --device=NAME   play on this sound device"))
        << air.outText.toStdString();
}

}  // namespace
