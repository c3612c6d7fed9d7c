#pragma once

#include <QString>

namespace sonavel {

// Where a user's Sonavel lives: the program folder shared by both programs
// (clocks, logs, playlists, time checks, backups) and the settings store.
QString DefaultProgramFolder();
QString DefaultSettingsPath();

}  // namespace sonavel
