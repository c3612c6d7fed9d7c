#pragma once

#include "NamedEntries.h"

#include <QPointer>
#include <QString>
#include <QWidget>
#include <array>
#include <functional>

class QAction;
class QMenu;

namespace sonavel {

// The named entries of a window are the QActions below it carrying those
// objectNames. A window that lacks an entry (a secondary window, or one built
// before the entry existed) is left alone rather than failing the procedure.
class WidgetEntries final : public NamedEntries {
  public:
    explicit WidgetEntries(QWidget* owner) : m_owner(owner) {}

    void SetCaption(const QString& name, const QString& caption) override;
    QString Caption(const QString& name) const override;
    void SetVisible(const QString& name, bool visible) override;
    bool IsVisible(const QString& name) const override;

  private:
    QAction* Find(const QString& name) const;

    QPointer<QWidget> m_owner;
};

// The recent-file entries as a File menu carries them, in menu order.
struct RecentFileActions {
    // [0] is the separator above the list.
    std::array<QAction*, 10> menuRecentFile{};
    QAction* menuSeparatorClearRecentFiles = nullptr;
    QAction* menuClearRecentFiles = nullptr;
};

// Appends the recent-file entries to a File menu, all hidden until the list
// is read. Choosing entry k passes the path of its caption to openFile; the
// clear command calls clearList. Both main windows build their lists here so
// the names and order stay the same.
RecentFileActions AddRecentFileEntries(
    QMenu& menu, const std::function<void(const QString& path)>& openFile = {},
    const std::function<void()>& clearList = {});

}  // namespace sonavel
