#pragma once

#include "Dialogs.h"
#include "RunningCopy.h"
#include "Session.h"
#include "SettingsStore.h"

#include <QString>
#include <memory>
#include <optional>

namespace sonavel {

// What a program holds from its first step to its end.
struct OpenedProgram {
    std::unique_ptr<RunningCopyLock> lock;
    std::unique_ptr<SettingsStore> store;
};

// The first steps of either program. A second copy is refused with the
// program's message before the store is touched; a store that cannot be
// opened ends the program with its message naming the file, and exitCode 1.
// Nothing when the program must end now.
std::optional<OpenedProgram> OpenProgram(Product product, const QString& lockPath,
                                         const QString& storePath, Dialogs& dialogs, int& exitCode);

}  // namespace sonavel
