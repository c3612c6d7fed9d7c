#pragma once

#include <QString>
#include <cstdint>
#include <optional>

namespace sonavel {

enum class MsgIcon { None, Critical, Question, Exclamation, Information };
enum class MsgButtons { OK, OKCancel, AbortRetryIgnore, YesNoCancel, YesNo, RetryCancel };
enum class MsgResult { OK = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7 };

// Flags of the file dialogs, with the values the procedures pass.
namespace fileflag {
constexpr int kOverwritePrompt = 2;
constexpr int kHideReadOnly = 4;
constexpr int kPathMustExist = 2048;
constexpr int kFileMustExist = 4096;
}  // namespace fileflag

// Flags of the printer dialogs, with the values the procedures pass.
namespace printflag {
constexpr int kNoSelection = 4;
constexpr int kNoPageNums = 8;
constexpr int kPrintSetup = 64;
constexpr int kUseDevModeCopies = 262144;
constexpr int kDisablePrintToFile = 524288;
constexpr int kHidePrintToFile = 1048576;
}  // namespace printflag

struct FileDialogRequest {
    bool save = false;
    QString title;
    // "Description (*.ext)|*.ext|All Files (*.*)|*.*|": pairs split by '|'.
    QString filter;
    QString initialFolder;
    QString fileName;
    int flags = 0;
};

struct MessageRequest {
    QString prompt;
    QString title;
    MsgButtons buttons = MsgButtons::OK;
    MsgIcon icon = MsgIcon::None;
    int defaultButton = 1;  // 1, 2 or 3: which button of the set is preselected
};

// Every box a procedure shows goes through this interface, so tests can script
// the answers and assert the exact texts.
class Dialogs {
  public:
    virtual ~Dialogs() = default;

    virtual MsgResult Message(const MessageRequest& request) = 0;
    // Returns nothing when the operator cancels.
    virtual std::optional<QString> FileDialog(const FileDialogRequest& request) = 0;
    // An empty text when cancelled.
    virtual QString BrowseForFolder(const QString& title, const QString& initialFolder) = 0;
    // The printer dialog before a job and the printer setup dialog; both work
    // on the program's one printer. False when the operator cancels.
    virtual bool PrinterDialog(int flags) = 0;
    virtual bool PrintSetupDialog(int flags) = 0;
    // A one-line question; nothing when the operator cancels.
    virtual std::optional<QString> InputBox(const QString& prompt, const QString& title,
                                            const QString& defaultAnswer) = 0;
    // The colour picker, colours as stored (0x00BBGGRR); nothing on Cancel.
    virtual std::optional<std::int32_t> ColorDialog(std::int32_t initial) = 0;

    MsgResult MsgBox(const QString& prompt, MsgButtons buttons, MsgIcon icon, const QString& title,
                     int defaultButton = 1) {
        return Message(MessageRequest{prompt, title, buttons, icon, defaultButton});
    }
};

}  // namespace sonavel
