#pragma once

#include "Dialogs.h"

#include <QString>
#include <optional>

namespace sonavel {

// The real boxes and file dialogs, parented to the active window.
class QtDialogs final : public Dialogs {
  public:
    MsgResult Message(const MessageRequest& request) override;
    std::optional<QString> FileDialog(const FileDialogRequest& request) override;
    QString BrowseForFolder(const QString& title, const QString& initialFolder) override;

    // "Desc (*.log)|*.log|All Files (*.*)|*.*|" -> "Desc (*.log);;All Files (*)".
    static QString QtFilter(const QString& filter);
};

}  // namespace sonavel
