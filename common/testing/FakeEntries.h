#pragma once

#include "NamedEntries.h"
#include "RecentFiles.h"
#include "RuntimeError.h"

#include <QStringList>

namespace sonavel {

// A window's File menu for tests: the recent-file entries as a window carries
// them, read back as the operator sees them. failOn makes the next change of
// that entry fail once, as a window being torn down would.
class FakeEntries final : public NamedEntries {
  public:
    void SetCaption(const QString& name, const QString& caption) override {
        Touch(name);
        m_entries.SetCaption(name, caption);
    }
    QString Caption(const QString& name) const override { return m_entries.Caption(name); }
    void SetVisible(const QString& name, bool visible) override {
        Touch(name);
        m_entries.SetVisible(name, visible);
    }
    bool IsVisible(const QString& name) const override { return m_entries.IsVisible(name); }

    // Captions of the shown list entries, top down.
    QStringList Shown() const {
        QStringList shown;
        for (int k = 1; k <= kMaxRecentFiles; ++k) {
            if (IsVisible(RecentFileEntry(k))) shown << Caption(RecentFileEntry(k));
        }
        return shown;
    }

    QString failOn;

  private:
    void Touch(const QString& name) {
        if (!failOn.isEmpty() && name == failOn) {
            failOn.clear();
            throw MakeError(err::kPathFileAccess);
        }
    }

    MemoryEntries m_entries = RecentFileMenuEntries();
};

}  // namespace sonavel
