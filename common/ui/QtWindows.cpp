#include "QtWindows.h"

#include "InfoForm.h"
#include "LogForms.h"
#include "PrintingForm.h"
#include "QtTextPrinter.h"

#include <algorithm>

namespace sonavel {

QtWindows::QtWindows(Session& session, QWidget* owner, TextPrinter* printer)
    : m_session(session), m_owner(owner), m_printer(printer) {}

QtWindows::~QtWindows() {
    for (const QPointer<QWidget>& window : m_built)
        delete window.data();
}

template <class Form>
Form& QtWindows::Ensure(QPointer<Form>& slot) {
    // A closed window lingers until the event loop deletes it; callers must
    // never be handed one, or they would fill a window about to vanish.
    if (slot.isNull() || slot->IsUnloaded()) {
        slot = new Form(m_session, m_owner.data());
        m_built.erase(std::remove_if(m_built.begin(), m_built.end(),
                                     [](const QPointer<QWidget>& w) { return w.isNull(); }),
                      m_built.end());
        m_built.emplace_back(slot.data());
    }
    return *slot;
}

SettingsViewer& QtWindows::InfoForm() {
    return Ensure(m_info);
}

LogViewer& QtWindows::ErrorLogForm() {
    return Ensure(m_errorLog);
}

LogViewer& QtWindows::ProgramLogForm() {
    return Ensure(m_programLog);
}

PrintingWindow& QtWindows::PrintingForm() {
    // Kept between jobs: unloading only hides it, so a window the operator
    // closed while a job runs is still there when the job unloads it.
    if (m_printing.isNull()) {
        m_printing = new sonavel::PrintingForm(m_owner.data());
        m_built.emplace_back(m_printing.data());
    }
    return *m_printing;
}

TextPrinter& QtWindows::Printer() {
    if (m_printer == nullptr) {
        m_ownPrinter = std::make_unique<QtTextPrinter>();
        m_printer = m_ownPrinter.get();
    }
    return *m_printer;
}

}  // namespace sonavel
