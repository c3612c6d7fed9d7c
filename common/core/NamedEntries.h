#pragma once

#include <QString>

namespace sonavel {

// A window's menu entries as module code reaches them: by name only, so the
// same procedures serve every window that carries the entries, and tests can
// stand in a plain map for a window. Names are the entries' objectNames; an
// element k of a control array `name(k)` is called "name_k" (ArrayEntryName).
// A name the window does not carry reads as an empty, hidden entry and
// ignores changes.
class NamedEntries {
  public:
    virtual ~NamedEntries() = default;

    virtual void SetCaption(const QString& name, const QString& caption) = 0;
    virtual QString Caption(const QString& name) const = 0;
    virtual void SetVisible(const QString& name, bool visible) = 0;
    virtual bool IsVisible(const QString& name) const = 0;
};

inline QString ArrayEntryName(const QString& array, int index) {
    return array + QLatin1Char('_') + QString::number(index);
}

}  // namespace sonavel
