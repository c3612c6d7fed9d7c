#pragma once

#include "NamedEntries.h"
#include "Session.h"

#include <QString>

namespace sonavel {

// Each program keeps its own list as one section of this application:
// "Player" for the playlists, "Creator" for the clock files.
inline constexpr char kRecentFilesApp[] = "Sonavel Recent Files";
inline constexpr int kMaxRecentFiles = 9;

// Entry 0 is the separator above the list; 1 to 9 carry the files, newest first.
QString RecentFileEntry(int k);
inline constexpr char kSeparatorClearRecentFilesEntry[] = "menuSeparatorClearRecentFiles";
inline constexpr char kClearRecentFilesEntry[] = "menuClearRecentFiles";

// Records Item as the newest file of the list and shows the list in Owner's
// menu. A path already in the list, in exactly this spelling, changes nothing.
void AddRecentFile(Session& session, const QString& Item, const QString& ListName,
                   NamedEntries& Owner);
// Shows the stored list in Owner's menu, or hides the list's frame when it is empty.
void ReadRecentFiles(Session& session, const QString& ListName, NamedEntries& Owner);
// Forgets the list and hides its entries.
void ClearRecentFiles(Session& session, const QString& ListName, NamedEntries& Owner);
// Hides the entries; the stored list stays.
void HideRecentFiles(NamedEntries& Owner);

// The recent-file entries of a File menu with their first captions, all
// hidden until the list is read: what a main window's File menu is built
// from, and what a run without windows keeps instead.
MemoryEntries RecentFileMenuEntries();

// The file an entry's caption names: everything after the first blank, so
// paths with blanks come back whole.
QString RecentFilePath(const QString& caption);

}  // namespace sonavel
