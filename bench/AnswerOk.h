#pragma once

#include "Dialogs.h"

#include <cstdio>

namespace sonavel {

// Nobody watches a benchmark: every box is answered OK and printed.
class AnswerOk final : public Dialogs {
  public:
    MsgResult Message(const MessageRequest& request) override {
        std::fprintf(stderr, "message: %s: %s\n", qPrintable(request.title),
                     qPrintable(request.prompt));
        ++shown;
        return MsgResult::OK;
    }
    std::optional<QString> FileDialog(const FileDialogRequest&) override { return {}; }
    QString BrowseForFolder(const QString&, const QString&) override { return {}; }
    bool PrinterDialog(int) override { return false; }
    bool PrintSetupDialog(int) override { return false; }
    std::optional<QString> InputBox(const QString&, const QString&, const QString&) override {
        return {};
    }
    std::optional<std::int32_t> ColorDialog(std::int32_t) override { return {}; }
    int shown = 0;
};

}  // namespace sonavel
