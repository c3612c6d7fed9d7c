#include "QtWindows.h"

#include "InfoForm.h"
#include "LogForms.h"

#include <algorithm>

namespace sonavel {

QtWindows::QtWindows(Session& session, QWidget* owner) : m_session(session), m_owner(owner) {}

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

}  // namespace sonavel
