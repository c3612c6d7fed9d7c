#pragma once

#include "Dialogs.h"

#include <QString>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace sonavel {

// One box a procedure showed, as the operator would have seen it.
struct ShownDialog {
    enum class Kind { Message, File, Folder, Printer, PrintSetup, Input, Color };
    Kind kind = Kind::Message;
    MessageRequest message;
    FileDialogRequest file;
    QString folderTitle;
    QString folderInitial;
    int printerFlags = 0;
    QString inputPrompt;
    QString inputDefault;
    std::int32_t colorInitial = 0;
};

// Dialogs answered from a script. Each expected box names its kind, may name
// the title it must carry, and gives the answer. A box nobody expected, or an
// expected box that never came, fails the running test.
class ScriptedDialogs final : public Dialogs {
  public:
    ~ScriptedDialogs() override;

    // title: checked when not empty.
    ScriptedDialogs& ExpectMessage(const QString& title, MsgResult answer = MsgResult::OK);
    // nullopt: the operator cancels.
    ScriptedDialogs& ExpectFile(std::optional<QString> answer, const QString& title = {});
    ScriptedDialogs& ExpectFolder(const QString& answer, const QString& title = {});
    // confirm false: the operator cancels.
    ScriptedDialogs& ExpectPrinter(bool confirm = true);
    ScriptedDialogs& ExpectPrintSetup(bool confirm = true);
    // nullopt: the operator cancels.
    ScriptedDialogs& ExpectInput(std::optional<QString> answer, const QString& title = {});
    ScriptedDialogs& ExpectColor(std::optional<std::int32_t> answer);
    // Runs while the box expected last is open, before it is answered, as
    // the events the box's own loop serves would.
    ScriptedDialogs& WhileOpen(std::function<void()> action);

    MsgResult Message(const MessageRequest& request) override;
    std::optional<QString> FileDialog(const FileDialogRequest& request) override;
    QString BrowseForFolder(const QString& title, const QString& initialFolder) override;
    bool PrinterDialog(int flags) override;
    bool PrintSetupDialog(int flags) override;
    std::optional<QString> InputBox(const QString& prompt, const QString& title,
                                    const QString& defaultAnswer) override;
    std::optional<std::int32_t> ColorDialog(std::int32_t initial) override;

    const std::vector<ShownDialog>& Shown() const { return m_shown; }
    // The messages shown, in order.
    std::vector<MessageRequest> Messages() const;
    const MessageRequest& LastMessage() const;
    bool AllAnswered() const { return m_script.empty(); }
    void Clear();

  private:
    struct Step {
        ShownDialog::Kind kind;
        QString title;
        MsgResult message = MsgResult::OK;
        // The answer of a file, folder, input or colour box.
        std::optional<QString> text;
        std::function<void()> whileOpen{};
    };
    std::optional<Step> Next(ShownDialog::Kind kind, const QString& title);
    bool PrinterBox(ShownDialog::Kind kind, int flags);

    std::deque<Step> m_script;
    std::vector<ShownDialog> m_shown;
};

}  // namespace sonavel
