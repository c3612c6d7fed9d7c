#pragma once

#include "Dialogs.h"
#include "Session.h"

#include <QString>
#include <cstdint>
#include <functional>

namespace sonavel {

// Text encodings of stored values.
QString FlagText(bool value);
// False only for exactly "False"; anything else, the empty text included, is true.
bool ReadFlag(const QString& text);
// Conversions that fail (type mismatch, overflow) on empty or non-numeric text:
// that failure is what sends a fresh system into first-time use.
std::int16_t ReadInt16(const QString& text);
std::int32_t ReadInt32(const QString& text);
// A single-precision value as its shortest text, "2992.5" or "3435".
QString SingleText(float value);

// Reads the running program's own section into memory. Returns false when the
// settings were missing and first-time use ran: the program must end.
bool ReadPlayerSettings(Session& session);
bool ReadCreatorSettings(Session& session);

void SetRegistryDefaults(Session& session);
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

// Writes the defaults and the working folders after a welcome; the caller ends
// the program when it returns.
void FirstTimeUse(Session& session);
MsgResult ConfirmExit(Session& session);
void SaveSettingsOnExit(Session& session, const WindowPlacement& mainWindow);
void SetPlaylistFolder(Session& session);
void ShowInformation(Session& session, const QString& Prompt, const QString& Title);

// The working folders below the program folder, in the order they are created.
QStringList WorkingFolders(const Session& session);

}  // namespace sonavel
