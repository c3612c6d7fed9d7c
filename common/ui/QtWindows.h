#pragma once

#include "Session.h"
#include "Windows.h"

#include <QPointer>
#include <memory>
#include <vector>

class QWidget;

namespace sonavel {

class InfoForm;
class ErrorLogForm;
class ProgramLogForm;
class PrintingForm;
class QtTextPrinter;

// The common windows of a program, built when first asked for and built anew
// after they were closed. With an owner they are its secondary windows.
// The composition root hands this to Session::SetWindows, together with the
// program's printer; without one, the system's default printer is used.
class QtWindows final : public Windows {
  public:
    explicit QtWindows(Session& session, QWidget* owner = nullptr, TextPrinter* printer = nullptr);
    ~QtWindows() override;
    QtWindows(const QtWindows&) = delete;
    QtWindows& operator=(const QtWindows&) = delete;

    SettingsViewer& InfoForm() override;
    LogViewer& ErrorLogForm() override;
    LogViewer& ProgramLogForm() override;
    PrintingWindow& PrintingForm() override;
    TextPrinter& Printer() override;

  private:
    template <class Form>
    Form& Ensure(QPointer<Form>& slot);

    Session& m_session;
    QPointer<QWidget> m_owner;
    QPointer<sonavel::InfoForm> m_info;
    QPointer<sonavel::ErrorLogForm> m_errorLog;
    QPointer<sonavel::ProgramLogForm> m_programLog;
    QPointer<sonavel::PrintingForm> m_printing;
    TextPrinter* m_printer;
    std::unique_ptr<QtTextPrinter> m_ownPrinter;
    // Every window built, so that closed ones still waiting for deletion go too.
    std::vector<QPointer<QWidget>> m_built;
};

}  // namespace sonavel
