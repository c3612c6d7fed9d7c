#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace sonavel {

// What a copy does when the target folder already holds a file of the name.
enum class CopyCollision {
    // Replace it, but only once the new copy is complete: the copy is written
    // under a temporary name and renamed over the old file, so a full disk or
    // a pulled stick leaves the old copy whole.
    Overwrite,
    // Keep it and give the copy the first free name "Mon0700 (2).clk",
    // "Mon0700 (3).clk", ...
    NewName,
};

struct CopyResult {
    bool copied = false;
    QString target;  // the file written, when copied
    QString reason;  // why not, in words, when not
};

// Copies one regular file into an existing folder under its own name (or a
// new one, see NewName), with the source's modification time. A source that
// is not a regular file is refused without being opened, so a pipe never
// blocks the copy.
CopyResult CopyFileInto(const QString& source, const QString& folder, CopyCollision collision);

// Copies the files into the folder in their order. After each copy afterEach
// runs with its result and may stop the rest by returning false; the copy
// also stops at the first failure. Returns the number of files copied.
int CopyFiles(const QStringList& sources, const QString& folder, CopyCollision collision,
              const std::function<bool(const CopyResult&)>& afterEach = {});

// The name NewName gives the n-th copy of a file name (n >= 2): "Mon0700 (2).clk".
QString NumberedName(const QString& fileName, int n);

}  // namespace sonavel
