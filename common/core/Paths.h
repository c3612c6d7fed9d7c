#pragma once

#include <QString>

namespace sonavel {

// Where a user's Sonavel lives: the program folder shared by both programs
// (clocks, logs, playlists, time checks, backups) and the settings store.
QString DefaultProgramFolder();
QString DefaultSettingsPath();

// The help pages' front page for a program in programDir: installed, they are
// in the prefix's share/sonavel/help; run from a build tree, in the source
// tree's docs/help. Empty when neither is there.
QString HelpIndexPath(const QString& programDir);

// A login without a runtime folder (su, cron, a container) gets a private one
// of the user's under the temporary folder, made before anything asks for it,
// so the running-copy locks of all three programs still meet in one place and
// no program warns about it on every start. Leaves a set XDG_RUNTIME_DIR alone.
void EnsureRuntimeFolder();

}  // namespace sonavel
