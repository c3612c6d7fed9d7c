#include "RecentFiles.h"

#include "ErrorModule.h"

#include <QStringList>

namespace sonavel {

namespace {

const QString kRecentApp = QString::fromLatin1(kRecentFilesApp);

QString Key(int i) {
    return QStringLiteral("Recent File ") + QString::number(i);
}

// The separator above the list and the clear command with its separator:
// shown exactly while the list has files.
const QStringList& FrameEntries() {
    static const QStringList names{RecentFileEntry(0),
                                   QString::fromLatin1(kSeparatorClearRecentFilesEntry),
                                   QString::fromLatin1(kClearRecentFilesEntry)};
    return names;
}

// The stored paths, oldest first. The first empty key ends the list, so a
// key left behind a gap is not shown and the next add fills the gap. Item
// holds the value being read, for the report of a failing read.
QStringList ReadList(Session& session, ErrorTrap& trap, const QString& ListName, QString& Item) {
    QStringList paths;
    for (int i = 1; i <= kMaxRecentFiles; ++i) {
        Item.clear();
        trap([&] { Item = session.Store().GetSetting(kRecentApp, ListName, Key(i)); });
        if (Item.isEmpty()) break;
        paths << Item;
    }
    return paths;
}

void SetFrameVisible(ErrorTrap& trap, NamedEntries& Owner, bool visible) {
    for (const QString& name : FrameEntries())
        trap([&] { Owner.SetVisible(name, visible); });
}

// Entry k shows the k-th newest path; entries past the list are emptied and
// hidden, so no caption of a forgotten file stays behind.
void ShowList(ErrorTrap& trap, NamedEntries& Owner, const QStringList& paths, QString& Item) {
    SetFrameVisible(trap, Owner, true);
    for (int k = 1; k <= kMaxRecentFiles; ++k) {
        trap([&] { Owner.SetCaption(RecentFileEntry(k), QString()); });
        trap([&] { Owner.SetVisible(RecentFileEntry(k), false); });
    }
    const int n = static_cast<int>(paths.size());
    for (int k = 1; k <= n; ++k) {
        Item = paths[n - k];
        trap([&] {
            Owner.SetCaption(RecentFileEntry(k),
                             QLatin1Char('&') + QString::number(k) + QLatin1Char(' ') + Item);
        });
        trap([&] { Owner.SetVisible(RecentFileEntry(k), true); });
    }
}

}  // namespace

MemoryEntries RecentFileMenuEntries() {
    MemoryEntries entries;
    entries.Add(RecentFileEntry(0), QString(), false);  // the separator above the list
    for (int k = 1; k <= kMaxRecentFiles; ++k)
        entries.Add(RecentFileEntry(k), QStringLiteral("Recent File ") + QString::number(k), false);
    entries.Add(QString::fromLatin1(kSeparatorClearRecentFilesEntry), QString(), false);
    entries.Add(QString::fromLatin1(kClearRecentFilesEntry), QStringLiteral("&Clear Recent Files"),
                false);
    return entries;
}

QString RecentFileEntry(int k) {
    return ArrayEntryName(QStringLiteral("menuRecentFile"), k);
}

void AddRecentFile(Session& session, const QString& Item, const QString& ListName,
                   NamedEntries& Owner) {
    ErrorTrap trap(session, QStringLiteral("AddRecentFile"), QStringLiteral("Item"),
                   [&] { return Item; });
    trap.Run([&] {
        QString current;
        QStringList paths = ReadList(session, trap, ListName, current);
        // Exact comparison: on a case-sensitive file system another spelling
        // is another file.
        if (paths.contains(Item, Qt::CaseSensitive)) return;
        if (paths.size() < kMaxRecentFiles) {
            const int key = static_cast<int>(paths.size()) + 1;
            trap([&] { session.Store().SaveSetting(kRecentApp, ListName, Key(key), Item); });
            paths << Item;
        } else {
            // Every key is rewritten so the numbering stays oldest-first
            // without a gap.
            paths.removeFirst();
            paths << Item;
            for (int i = 1; i <= kMaxRecentFiles; ++i) {
                trap([&] {
                    session.Store().SaveSetting(kRecentApp, ListName, Key(i), paths[i - 1]);
                });
            }
        }
        ShowList(trap, Owner, paths, current);
    });
}

void ReadRecentFiles(Session& session, const QString& ListName, NamedEntries& Owner) {
    QString Item;
    ErrorTrap trap(session, QStringLiteral("ReadRecentFiles"), QStringLiteral("Item"),
                   [&] { return Item; });
    trap.Run([&] {
        const QStringList paths = ReadList(session, trap, ListName, Item);
        if (paths.isEmpty()) {
            SetFrameVisible(trap, Owner, false);
        } else {
            ShowList(trap, Owner, paths, Item);
        }
    });
}

void ClearRecentFiles(Session& session, const QString& ListName, NamedEntries& Owner) {
    const QString& RegistrySection = ListName;
    ErrorTrap trap(session, QStringLiteral("ClearRecentFiles"), QStringLiteral("RegistrySection"),
                   [&] { return RegistrySection; });
    trap.Run([&] {
        trap([&] { session.Store().DeleteSection(kRecentApp, RegistrySection); });
        trap([&] { HideRecentFiles(Owner); });
    });
}

void HideRecentFiles(NamedEntries& Owner) {
    for (const QString& name : FrameEntries())
        Owner.SetVisible(name, false);
    for (int k = 1; k <= kMaxRecentFiles; ++k) {
        Owner.SetCaption(RecentFileEntry(k), QString());
        Owner.SetVisible(RecentFileEntry(k), false);
    }
}

QString RecentFilePath(const QString& caption) {
    // A caption without a blank (a designed one) is taken whole.
    return caption.mid(caption.indexOf(QLatin1Char(' ')) + 1);
}

}  // namespace sonavel
