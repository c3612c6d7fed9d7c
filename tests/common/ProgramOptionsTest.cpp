#include "ProgramOptions.h"
#include "Version.h"

#include <gtest/gtest.h>

using namespace sonavel;

namespace {

struct Answer {
    std::optional<int> status;
    QString out;
    QString err;
};

Answer Answered(const QStringList& arguments) {
    Answer answer;
    QTextStream out(&answer.out);
    QTextStream err(&answer.err);
    answer.status = AnswerCommandLine(
        arguments, {QStringLiteral("sonavel-player"), QStringLiteral("Plays.")}, out, err);
    return answer;
}

TEST(ProgramOptionsTest, HelpAndVersionAnswerOnStandardOutputAndTheRestIsAUsageError) {
    const Answer help = Answered({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.startsWith("Usage: sonavel-player [OPTION]...\nPlays.\n\nOptions:\n"))
        << help.out.toStdString();
    EXPECT_TRUE(help.out.contains("\n  2  the command line was wrong\n"));
    EXPECT_TRUE(help.err.isEmpty());
    EXPECT_EQ(Answered({"-h"}).out, help.out);

    const Answer version = Answered({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, QStringLiteral("sonavel-player ") + kSonavelVersion + "\n");
    EXPECT_TRUE(version.err.isEmpty());

    // Nothing given, or only the end of the options: the program starts.
    EXPECT_FALSE(Answered({}).status.has_value());
    EXPECT_FALSE(Answered({"--"}).status.has_value());

    const struct {
        QStringList arguments;
        QString problem;
    } wrong[] = {
        {{"--play"}, "unrecognized option '--play'"},
        {{"-x"}, "unrecognized option '-x'"},
        {{"--version=2"}, "option '--version' doesn't allow an argument"},
        {{"Mon0700.lst"}, "extra operand 'Mon0700.lst'"},
        {{"--", "--help"}, "extra operand '--help'"},
        // Taken in order: the first wrong word is the answer, even before --help.
        {{"--bogus", "--help"}, "unrecognized option '--bogus'"},
    };
    for (const auto& c : wrong) {
        const Answer answer = Answered(c.arguments);
        EXPECT_EQ(answer.status, 2) << c.arguments.join(' ').toStdString();
        EXPECT_EQ(answer.err, "sonavel-player: " + c.problem +
                                  "\nUsage: sonavel-player [OPTION]...\n"
                                  "Try 'sonavel-player --help' for more information.\n");
        EXPECT_TRUE(answer.out.isEmpty());
    }
    // After a good answer the rest is not looked at, as the sonavel command does.
    EXPECT_EQ(Answered({"--version", "--bogus"}).status, 0);
}

}  // namespace
