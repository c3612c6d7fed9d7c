#include "ScriptedDialogs.h"

#include <gtest/gtest.h>

namespace sonavel {

namespace {
const char* KindName(ShownDialog::Kind kind) {
    switch (kind) {
        case ShownDialog::Kind::Message:
            return "message";
        case ShownDialog::Kind::File:
            return "file dialog";
        case ShownDialog::Kind::Folder:
            return "folder browser";
        case ShownDialog::Kind::Printer:
            return "printer dialog";
        case ShownDialog::Kind::PrintSetup:
            return "print setup dialog";
        case ShownDialog::Kind::Input:
            return "input box";
        case ShownDialog::Kind::Color:
            return "colour dialog";
    }
    return "?";
}
}  // namespace

ScriptedDialogs::~ScriptedDialogs() {
    for (const Step& step : m_script) {
        ADD_FAILURE() << "expected " << KindName(step.kind) << " \"" << step.title.toStdString()
                      << "\" was never shown";
    }
}

ScriptedDialogs& ScriptedDialogs::ExpectMessage(const QString& title, MsgResult answer) {
    m_script.push_back(Step{ShownDialog::Kind::Message, title, answer, std::nullopt});
    return *this;
}

ScriptedDialogs& ScriptedDialogs::ExpectFile(std::optional<QString> answer, const QString& title) {
    m_script.push_back(Step{ShownDialog::Kind::File, title, MsgResult::OK, std::move(answer)});
    return *this;
}

ScriptedDialogs& ScriptedDialogs::ExpectFolder(const QString& answer, const QString& title) {
    m_script.push_back(Step{ShownDialog::Kind::Folder, title, MsgResult::OK, answer});
    return *this;
}

ScriptedDialogs& ScriptedDialogs::ExpectPrinter(bool confirm) {
    m_script.push_back(Step{
        ShownDialog::Kind::Printer, {}, confirm ? MsgResult::OK : MsgResult::Cancel, std::nullopt});
    return *this;
}

ScriptedDialogs& ScriptedDialogs::ExpectPrintSetup(bool confirm) {
    m_script.push_back(Step{ShownDialog::Kind::PrintSetup,
                            {},
                            confirm ? MsgResult::OK : MsgResult::Cancel,
                            std::nullopt});
    return *this;
}

ScriptedDialogs& ScriptedDialogs::ExpectInput(std::optional<QString> answer, const QString& title) {
    m_script.push_back(Step{ShownDialog::Kind::Input, title, MsgResult::OK, std::move(answer)});
    return *this;
}

ScriptedDialogs& ScriptedDialogs::ExpectColor(std::optional<std::int32_t> answer) {
    std::optional<QString> text;
    if (answer) text = QString::number(*answer);
    m_script.push_back(Step{ShownDialog::Kind::Color, {}, MsgResult::OK, text});
    return *this;
}

ScriptedDialogs& ScriptedDialogs::WhileOpen(std::function<void()> action) {
    if (m_script.empty()) {
        ADD_FAILURE() << "WhileOpen without an expected box";
    } else {
        m_script.back().whileOpen = std::move(action);
    }
    return *this;
}

std::optional<ScriptedDialogs::Step> ScriptedDialogs::Next(ShownDialog::Kind kind,
                                                           const QString& title) {
    if (m_script.empty()) {
        ADD_FAILURE() << "unexpected " << KindName(kind) << " \"" << title.toStdString() << "\"";
        return std::nullopt;
    }
    Step step = m_script.front();
    m_script.pop_front();
    if (step.kind != kind) {
        ADD_FAILURE() << "expected a " << KindName(step.kind) << " but a " << KindName(kind)
                      << " \"" << title.toStdString() << "\" was shown";
        return std::nullopt;
    }
    if (!step.title.isEmpty() && step.title != title) {
        ADD_FAILURE() << "expected " << KindName(kind) << " titled \"" << step.title.toStdString()
                      << "\" but got \"" << title.toStdString() << "\"";
    }
    if (step.whileOpen) step.whileOpen();
    return step;
}

MsgResult ScriptedDialogs::Message(const MessageRequest& request) {
    ShownDialog shown;
    shown.kind = ShownDialog::Kind::Message;
    shown.message = request;
    m_shown.push_back(shown);
    const auto step = Next(ShownDialog::Kind::Message, request.title);
    return step ? step->message : MsgResult::Cancel;
}

std::optional<QString> ScriptedDialogs::FileDialog(const FileDialogRequest& request) {
    ShownDialog shown;
    shown.kind = ShownDialog::Kind::File;
    shown.file = request;
    m_shown.push_back(shown);
    const auto step = Next(ShownDialog::Kind::File, request.title);
    return step ? step->text : std::nullopt;
}

QString ScriptedDialogs::BrowseForFolder(const QString& title, const QString& initialFolder) {
    ShownDialog shown;
    shown.kind = ShownDialog::Kind::Folder;
    shown.folderTitle = title;
    shown.folderInitial = initialFolder;
    m_shown.push_back(shown);
    const auto step = Next(ShownDialog::Kind::Folder, title);
    return step && step->text ? *step->text : QString();
}

bool ScriptedDialogs::PrinterBox(ShownDialog::Kind kind, int flags) {
    ShownDialog shown;
    shown.kind = kind;
    shown.printerFlags = flags;
    m_shown.push_back(shown);
    const auto step = Next(kind, {});
    return step && step->message == MsgResult::OK;
}

bool ScriptedDialogs::PrinterDialog(int flags) {
    return PrinterBox(ShownDialog::Kind::Printer, flags);
}

bool ScriptedDialogs::PrintSetupDialog(int flags) {
    return PrinterBox(ShownDialog::Kind::PrintSetup, flags);
}

std::optional<QString> ScriptedDialogs::InputBox(const QString& prompt, const QString& title,
                                                 const QString& defaultAnswer) {
    ShownDialog shown;
    shown.kind = ShownDialog::Kind::Input;
    shown.inputPrompt = prompt;
    shown.inputDefault = defaultAnswer;
    m_shown.push_back(shown);
    const auto step = Next(ShownDialog::Kind::Input, title);
    return step ? step->text : std::nullopt;
}

std::optional<std::int32_t> ScriptedDialogs::ColorDialog(std::int32_t initial) {
    ShownDialog shown;
    shown.kind = ShownDialog::Kind::Color;
    shown.colorInitial = initial;
    m_shown.push_back(shown);
    const auto step = Next(ShownDialog::Kind::Color, {});
    if (!step || !step->text) return std::nullopt;
    return step->text->toInt();
}

std::vector<MessageRequest> ScriptedDialogs::Messages() const {
    std::vector<MessageRequest> out;
    for (const ShownDialog& shown : m_shown) {
        if (shown.kind == ShownDialog::Kind::Message) out.push_back(shown.message);
    }
    return out;
}

const MessageRequest& ScriptedDialogs::LastMessage() const {
    static const MessageRequest kNone;
    for (auto it = m_shown.rbegin(); it != m_shown.rend(); ++it) {
        if (it->kind == ShownDialog::Kind::Message) return it->message;
    }
    ADD_FAILURE() << "no message was shown";
    return kNone;
}

void ScriptedDialogs::Clear() {
    m_script.clear();
    m_shown.clear();
}

}  // namespace sonavel
