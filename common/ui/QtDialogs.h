#pragma once

#include "Dialogs.h"

#include <QString>
#include <memory>
#include <optional>

class QWidget;

namespace sonavel {

class QtTextPrinter;

// The real boxes and file dialogs, parented to the active window.
class QtDialogs final : public Dialogs {
  public:
    // The printer dialogs set up the given printer, the one the program
    // prints on; without one they work on a printer of their own.
    explicit QtDialogs(QtTextPrinter* printer = nullptr);
    ~QtDialogs() override;
    QtDialogs(const QtDialogs&) = delete;
    QtDialogs& operator=(const QtDialogs&) = delete;

    MsgResult Message(const MessageRequest& request) override;
    std::optional<QString> FileDialog(const FileDialogRequest& request) override;
    QString BrowseForFolder(const QString& title, const QString& initialFolder) override;
    bool PrinterDialog(int flags) override;
    bool PrintSetupDialog(int flags) override;
    std::optional<QString> InputBox(const QString& prompt, const QString& title,
                                    const QString& defaultAnswer) override;
    std::optional<std::int32_t> ColorDialog(std::int32_t initial) override;

    // "Desc (*.log)|*.log|All Files (*.*)|*.*|" -> "Desc (*.log);;All Files (*)".
    static QString QtFilter(const QString& filter);

    // The title of a box asked for without one: the program's name
    // ("Sonavel Player"), which the desktop would otherwise take from the
    // window class.
    void SetProgramTitle(const QString& title) { m_programTitle = title; }

  private:
    QtTextPrinter& Printer();
    QString TitleOr(const QString& title) const;

    QString m_programTitle;
    QtTextPrinter* m_printer;
    std::unique_ptr<QtTextPrinter> m_ownPrinter;
};

// Closes every modal box that is open, innermost first, except keep: a
// program ending on a signal must not wait for a click nobody may give. Each
// box closed returns to whoever opened it as a Cancel (or a close).
void CloseModalBoxes(const QWidget* keep = nullptr);

}  // namespace sonavel
