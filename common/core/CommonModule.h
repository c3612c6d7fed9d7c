#pragma once

#include "Dialogs.h"
#include "Session.h"
#include "SettingsSchema.h"

#include <QString>
#include <functional>

namespace sonavel {

// When the settings are read: at start-up a value that does not convert
// means a fresh (or damaged) installation and leads to first-time use, which
// ends the program. A running program (a reload, after a reset) never goes
// there: it keeps the settings it holds and tells the operator.
enum class SettingsRead { AtStart, Running };

// Reads the running program's own section into memory, all or nothing.
// Returns false when a value did not convert: at start-up first-time use has
// run and the program must end; when running, nothing in memory has changed.
// Failures of the store itself raise StoreFailure.
bool ReadPlayerSettings(Session& session, SettingsRead mode = SettingsRead::AtStart);
bool ReadCreatorSettings(Session& session, SettingsRead mode = SettingsRead::AtStart);
// The start-up read of the running program's settings. False when start-up
// must stop, with exitCode 0 after first-time use, or 1 when the store failed
// and its message, naming the file, has been shown.
bool ReadSettingsAtStart(Session& session, int& exitCode);
// The message of a program that cannot use its settings file and ends.
void ShowStoreFailure(Dialogs& dialogs, const QString& fullName, const QString& path,
                      const QString& reason);

// Every key of both programs, with its default, over whatever was stored: the reset.
void SetRegistryDefaults(Session& session);
// The default of each key of both programs that is missing or whose stored
// text does not convert; every readable value stays as it is.
void SetMissingRegistryDefaults(Session& session);
void WriteRegistry(Session& session);
void DisplayRegistrySection(Session& session, const QString& Section);
void DisplayCurrentSettings(Session& session);

// What the running program does around a reset of the settings.
struct ResetHooks {
    std::function<bool()> readSettings;       // the program's settings-reading procedure
    std::function<void()> clearKeywordPanes;  // Creator: empty the keyword panes
    std::function<void()> afterDefaults;      // unload the options window, show the main window
};
void DeleteRegistry(Session& session, const ResetHooks& hooks);
// The warning the options windows show before the reset; true only on Yes.
bool ConfirmDeleteAllSettings(Session& session);

// Writes the defaults and the working folders after a welcome; the caller ends
// the program when it returns.
void FirstTimeUse(Session& session);
MsgResult ConfirmExit(Session& session);
void SaveSettingsOnExit(Session& session, const WindowPlacement& mainWindow);
// SaveSettingsOnExit for a program ending with nobody to answer a box (a
// signal, a shut-down of the machine): a save that fails shows nothing and
// is written to the error log when it has a file; the failure comes back as
// the error box's first line, "Error 75 Settings store save failed: ...",
// for the caller to put on standard error. Empty when saved or not to save.
QString SaveSettingsWithoutAsking(Session& session, const WindowPlacement& mainWindow);
void SetPlaylistFolder(Session& session);
void ShowInformation(Session& session, const QString& Prompt, const QString& Title);

// The working folders below the program folder, in the order they are created.
QStringList WorkingFolders(const Session& session);

}  // namespace sonavel
