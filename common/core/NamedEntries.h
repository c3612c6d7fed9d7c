#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

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

// A window's entries kept in memory, with the meanings a window's have: it
// carries the entries it was given, each with a caption and shown unless
// hidden; any other name reads as an empty, hidden entry and ignores
// changes. A run without windows keeps its menu here, and so do the tests'
// windows.
class MemoryEntries final : public NamedEntries {
  public:
    // Carries the entry from now on, with its caption and visibility.
    void Add(const QString& name, const QString& caption = {}, bool visible = true) {
        m_entries.insert(name, {caption, visible});
    }
    bool Carries(const QString& name) const { return m_entries.contains(name); }

    void SetCaption(const QString& name, const QString& caption) override {
        if (const auto it = m_entries.find(name); it != m_entries.end()) it->caption = caption;
    }
    QString Caption(const QString& name) const override { return m_entries.value(name).caption; }
    void SetVisible(const QString& name, bool visible) override {
        if (const auto it = m_entries.find(name); it != m_entries.end()) it->visible = visible;
    }
    bool IsVisible(const QString& name) const override { return m_entries.value(name).visible; }

  private:
    struct Entry {
        QString caption;
        bool visible = false;
    };
    QHash<QString, Entry> m_entries;
};

inline QString ArrayEntryName(const QString& array, int index) {
    return array + QLatin1Char('_') + QString::number(index);
}

}  // namespace sonavel
