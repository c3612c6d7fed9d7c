#pragma once

#include "Dialogs.h"

#include <QString>
#include <QTextStream>

namespace sonavel {

// Message boxes on a terminal: every box is printed as "title: prompt" on the
// error stream, and questions are read from the input stream. Nothing here
// may wait for a person who is not there: a run started from a timer answers
// with the refusing button, and --yes answers with the accepting one.
class ConsoleDialogs final : public Dialogs {
  public:
    enum class Answering {
        Ask,     // read the answer from the input, one line per question
        Accept,  // Yes or OK, without asking
        Refuse,  // No or Cancel, without asking
    };

    ConsoleDialogs(QTextStream& in, QTextStream& err, Answering answering)
        : m_in(in), m_err(err), m_answering(answering) {}

    // --yes accepts; otherwise a terminal is asked and anything else refused.
    static Answering AnsweringFor(bool yes, bool inputIsTerminal);

    MsgResult Message(const MessageRequest& request) override;
    std::optional<QString> FileDialog(const FileDialogRequest& request) override;
    QString BrowseForFolder(const QString& title, const QString& initialFolder) override;
    bool PrinterDialog(int flags) override;
    bool PrintSetupDialog(int flags) override;
    std::optional<QString> InputBox(const QString& prompt, const QString& title,
                                    const QString& defaultAnswer) override;
    std::optional<std::int32_t> ColorDialog(std::int32_t initial) override;

    // What an unattended run answers. Retry is never chosen on its own: a
    // failure that repeats would retry for ever.
    static MsgResult AcceptingAnswer(MsgButtons buttons);
    static MsgResult RefusingAnswer(MsgButtons buttons);

  private:
    MsgResult Ask(const MessageRequest& request);
    void NotShown(const QString& what);

    QTextStream& m_in;
    QTextStream& m_err;
    Answering m_answering;
};

}  // namespace sonavel
