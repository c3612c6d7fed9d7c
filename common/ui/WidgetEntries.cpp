#include "WidgetEntries.h"

#include "RecentFiles.h"

#include <QAction>
#include <QMenu>

namespace sonavel {

QAction* WidgetEntries::Find(const QString& name) const {
    return m_owner ? m_owner->findChild<QAction*>(name) : nullptr;
}

void WidgetEntries::SetCaption(const QString& name, const QString& caption) {
    if (QAction* action = Find(name)) action->setText(caption);
}

QString WidgetEntries::Caption(const QString& name) const {
    const QAction* action = Find(name);
    return action ? action->text() : QString();
}

void WidgetEntries::SetVisible(const QString& name, bool visible) {
    if (QAction* action = Find(name)) action->setVisible(visible);
}

bool WidgetEntries::IsVisible(const QString& name) const {
    const QAction* action = Find(name);
    return action && action->isVisible();
}

RecentFileActions AddRecentFileEntries(QMenu& menu,
                                       const std::function<void(const QString& path)>& openFile,
                                       const std::function<void()>& clearList) {
    RecentFileActions actions;
    const MemoryEntries entries = RecentFileMenuEntries();
    auto hidden = [&](QAction* action, const QString& name) {
        action->setObjectName(name);
        action->setVisible(entries.IsVisible(name));
        return action;
    };
    actions.menuRecentFile[0] = hidden(menu.addSeparator(), RecentFileEntry(0));
    for (int k = 1; k <= kMaxRecentFiles; ++k) {
        QAction* entry =
            hidden(menu.addAction(entries.Caption(RecentFileEntry(k))), RecentFileEntry(k));
        actions.menuRecentFile[static_cast<std::size_t>(k)] = entry;
        if (openFile) {
            // The caption is read when chosen: it is the list as last shown.
            QObject::connect(entry, &QAction::triggered, &menu,
                             [entry, openFile] { openFile(RecentFilePath(entry->text())); });
        }
    }
    actions.menuSeparatorClearRecentFiles =
        hidden(menu.addSeparator(), QString::fromLatin1(kSeparatorClearRecentFilesEntry));
    const QString clear = QString::fromLatin1(kClearRecentFilesEntry);
    actions.menuClearRecentFiles = hidden(menu.addAction(entries.Caption(clear)), clear);
    if (clearList) {
        QObject::connect(actions.menuClearRecentFiles, &QAction::triggered, &menu,
                         [clearList] { clearList(); });
    }
    return actions;
}

}  // namespace sonavel
