#include "ConsoleDialogs.h"

#include <QList>

namespace sonavel {

namespace {

QList<MsgResult> ButtonsOf(MsgButtons buttons) {
    switch (buttons) {
        case MsgButtons::OK:
            return {MsgResult::OK};
        case MsgButtons::OKCancel:
            return {MsgResult::OK, MsgResult::Cancel};
        case MsgButtons::AbortRetryIgnore:
            return {MsgResult::Abort, MsgResult::Retry, MsgResult::Ignore};
        case MsgButtons::YesNoCancel:
            return {MsgResult::Yes, MsgResult::No, MsgResult::Cancel};
        case MsgButtons::YesNo:
            return {MsgResult::Yes, MsgResult::No};
        case MsgButtons::RetryCancel:
            return {MsgResult::Retry, MsgResult::Cancel};
    }
    return {MsgResult::OK};
}

QString ButtonName(MsgResult result) {
    switch (result) {
        case MsgResult::OK:
            return QStringLiteral("OK");
        case MsgResult::Cancel:
            return QStringLiteral("Cancel");
        case MsgResult::Abort:
            return QStringLiteral("Abort");
        case MsgResult::Retry:
            return QStringLiteral("Retry");
        case MsgResult::Ignore:
            return QStringLiteral("Ignore");
        case MsgResult::Yes:
            return QStringLiteral("Yes");
        case MsgResult::No:
            return QStringLiteral("No");
    }
    return {};
}

// A box's text as a terminal shows it: the boxes' own CR LF breaks become
// plain line ends.
QString BoxText(const MessageRequest& request) {
    QString prompt = request.prompt;
    prompt.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    prompt.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    if (request.title.isEmpty()) return prompt;
    return request.title + QStringLiteral(": ") + prompt;
}

}  // namespace

ConsoleDialogs::Answering ConsoleDialogs::AnsweringFor(bool yes, bool inputIsTerminal) {
    if (yes) return Answering::Accept;
    return inputIsTerminal ? Answering::Ask : Answering::Refuse;
}

MsgResult ConsoleDialogs::AcceptingAnswer(MsgButtons buttons) {
    switch (buttons) {
        case MsgButtons::OK:
        case MsgButtons::OKCancel:
            return MsgResult::OK;
        case MsgButtons::YesNo:
        case MsgButtons::YesNoCancel:
            return MsgResult::Yes;
        case MsgButtons::RetryCancel:
            return MsgResult::Cancel;
        case MsgButtons::AbortRetryIgnore:
            return MsgResult::Abort;
    }
    return MsgResult::OK;
}

MsgResult ConsoleDialogs::RefusingAnswer(MsgButtons buttons) {
    switch (buttons) {
        case MsgButtons::OK:
            return MsgResult::OK;
        case MsgButtons::YesNo:
            return MsgResult::No;
        case MsgButtons::OKCancel:
        case MsgButtons::YesNoCancel:
        case MsgButtons::RetryCancel:
            return MsgResult::Cancel;
        case MsgButtons::AbortRetryIgnore:
            return MsgResult::Abort;
    }
    return MsgResult::OK;
}

MsgResult ConsoleDialogs::Message(const MessageRequest& request) {
    m_err << BoxText(request) << '\n';
    if (request.buttons == MsgButtons::OK) {
        m_err.flush();
        return MsgResult::OK;
    }
    if (m_answering == Answering::Ask) return Ask(request);
    const MsgResult answer = m_answering == Answering::Accept ? AcceptingAnswer(request.buttons)
                                                              : RefusingAnswer(request.buttons);
    m_err << "  -> " << ButtonName(answer) << '\n';
    m_err.flush();
    return answer;
}

MsgResult ConsoleDialogs::Ask(const MessageRequest& request) {
    const QList<MsgResult> buttons = ButtonsOf(request.buttons);
    const int preselected = request.defaultButton >= 1 && request.defaultButton <= buttons.size()
                                ? request.defaultButton - 1
                                : 0;
    // "[y/N]": the letters to type, the preselected one (taken by an empty
    // line) in capitals.
    QStringList keys;
    for (qsizetype i = 0; i < buttons.size(); ++i) {
        const QString key = ButtonName(buttons[i]).left(1);
        keys << (i == preselected ? key.toUpper() : key.toLower());
    }
    const QString question =
        QStringLiteral("[") + keys.join(QLatin1Char('/')) + QStringLiteral("] ");
    while (true) {
        m_err << question;
        m_err.flush();
        QString line;
        // End of input: nobody is left to answer, so nothing goes ahead.
        if (!m_in.readLineInto(&line)) {
            m_err << '\n';
            m_err.flush();
            return RefusingAnswer(request.buttons);
        }
        line = line.trimmed();
        if (line.isEmpty()) return buttons[preselected];
        for (const MsgResult button : buttons) {
            const QString name = ButtonName(button);
            if (line.compare(name, Qt::CaseInsensitive) == 0 ||
                line.compare(name.left(1), Qt::CaseInsensitive) == 0) {
                return button;
            }
        }
        m_err << "Please answer ";
        for (qsizetype i = 0; i < buttons.size(); ++i) {
            if (i > 0) m_err << (i + 1 == buttons.size() ? " or " : ", ");
            m_err << ButtonName(buttons[i]).left(1).toLower();
        }
        m_err << ".\n";
    }
}

void ConsoleDialogs::NotShown(const QString& what) {
    m_err << what << QStringLiteral(": cancelled (not available on the command line)\n");
    m_err.flush();
}

std::optional<QString> ConsoleDialogs::FileDialog(const FileDialogRequest& request) {
    NotShown(request.title.isEmpty() ? QStringLiteral("File dialog") : request.title);
    return std::nullopt;
}

QString ConsoleDialogs::BrowseForFolder(const QString& title, const QString&) {
    QString shown = title;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    NotShown(shown.isEmpty() ? QStringLiteral("Folder dialog") : shown);
    return {};
}

bool ConsoleDialogs::PrinterDialog(int) {
    NotShown(QStringLiteral("Print"));
    return false;
}

bool ConsoleDialogs::PrintSetupDialog(int) {
    NotShown(QStringLiteral("Print Setup"));
    return false;
}

std::optional<QString> ConsoleDialogs::InputBox(const QString&, const QString& title,
                                                const QString&) {
    NotShown(title.isEmpty() ? QStringLiteral("Input") : title);
    return std::nullopt;
}

std::optional<std::int32_t> ConsoleDialogs::ColorDialog(std::int32_t) {
    NotShown(QStringLiteral("Color"));
    return std::nullopt;
}

}  // namespace sonavel
