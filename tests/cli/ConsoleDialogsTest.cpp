#include "ConsoleDialogs.h"

#include <gtest/gtest.h>
#include <QIODevice>
#include <QString>
#include <QTextStream>

using namespace sonavel;

namespace {

struct Terminal {
    explicit Terminal(const QString& typed) : typedText(typed) {}
    QString typedText, errText;
    QTextStream in{&typedText, QIODevice::ReadOnly};
    QTextStream err{&errText, QIODevice::WriteOnly};
};

TEST(ConsoleDialogsTest, BoxesArePrintedAsTitleColonPromptWithPlainLineEnds) {
    Terminal terminal(QStringLiteral("n\n"));
    ConsoleDialogs dialogs(terminal.in, terminal.err, ConsoleDialogs::Answering::Ask);
    EXPECT_EQ(
        dialogs.MsgBox(QStringLiteral("Invalid folder: /x\r\n\r\nKeyword: Jingle"), MsgButtons::OK,
                       MsgIcon::Information, QStringLiteral("Invalid Folder")),
        MsgResult::OK);
    terminal.err.flush();
    EXPECT_EQ(terminal.errText, QStringLiteral("Invalid Folder: Invalid folder: /x\n\nKeyword: "
                                               "Jingle\n"));
    // A plain message reads nothing: the typed line is left for the next question.
    EXPECT_EQ(dialogs.MsgBox(QStringLiteral("Go?"), MsgButtons::YesNo, MsgIcon::Question,
                             QStringLiteral("Q")),
              MsgResult::No);
}

TEST(ConsoleDialogsTest, QuestionsOnATerminalTakeOneLineEachAndEndOfInputRefuses) {
    Terminal terminal(QStringLiteral("y\n\n  maybe \nRETRY\nignore\n"));
    ConsoleDialogs dialogs(terminal.in, terminal.err, ConsoleDialogs::Answering::Ask);
    auto ask = [&](MsgButtons buttons, int preselected = 1) {
        return dialogs.MsgBox(QStringLiteral("Sure?"), buttons, MsgIcon::Question,
                              QStringLiteral("Title"), preselected);
    };
    EXPECT_EQ(ask(MsgButtons::YesNo, 2), MsgResult::Yes);
    // An empty line takes the preselected button, shown in capitals.
    EXPECT_EQ(ask(MsgButtons::YesNo, 2), MsgResult::No);
    terminal.err.flush();
    EXPECT_TRUE(terminal.errText.contains(QStringLiteral("Title: Sure?\n[y/N] ")));
    // Something else is asked again.
    EXPECT_EQ(ask(MsgButtons::RetryCancel), MsgResult::Retry);
    terminal.err.flush();
    EXPECT_TRUE(terminal.errText.contains(QStringLiteral("Please answer r or c.")));
    EXPECT_EQ(ask(MsgButtons::AbortRetryIgnore), MsgResult::Ignore);
    // Nobody left to answer: nothing goes ahead.
    EXPECT_EQ(ask(MsgButtons::YesNoCancel), MsgResult::Cancel);
    EXPECT_EQ(ask(MsgButtons::YesNo), MsgResult::No);
    EXPECT_EQ(ask(MsgButtons::OKCancel), MsgResult::Cancel);
}

TEST(ConsoleDialogsTest, UnattendedRunsNeverReadAndNeverRetry) {
    const struct {
        MsgButtons buttons;
        MsgResult accepted;
        MsgResult refused;
    } cases[] = {
        {MsgButtons::YesNo, MsgResult::Yes, MsgResult::No},
        {MsgButtons::YesNoCancel, MsgResult::Yes, MsgResult::Cancel},
        {MsgButtons::OKCancel, MsgResult::OK, MsgResult::Cancel},
        {MsgButtons::RetryCancel, MsgResult::Cancel, MsgResult::Cancel},
        {MsgButtons::AbortRetryIgnore, MsgResult::Abort, MsgResult::Abort},
    };
    for (const auto& c : cases) {
        for (const bool yes : {true, false}) {
            Terminal terminal(QStringLiteral("r\ny\n"));
            // Not a terminal: --yes accepts, otherwise everything is refused.
            ConsoleDialogs dialogs(terminal.in, terminal.err,
                                   ConsoleDialogs::AnsweringFor(yes, false));
            const MsgResult expected = yes ? c.accepted : c.refused;
            EXPECT_EQ(
                dialogs.MsgBox(QStringLiteral("p"), c.buttons, MsgIcon::None, QStringLiteral("t")),
                expected);
            terminal.err.flush();
            EXPECT_TRUE(terminal.errText.startsWith(QStringLiteral("t: p\n  -> ")));
            EXPECT_EQ(terminal.in.readLine(), QStringLiteral("r")) << "the input was left alone";
        }
    }
    EXPECT_EQ(ConsoleDialogs::AnsweringFor(false, true), ConsoleDialogs::Answering::Ask);
    EXPECT_EQ(ConsoleDialogs::AnsweringFor(true, true), ConsoleDialogs::Answering::Accept);
}

}  // namespace
