#include "KeywordTime.h"

#include "Events.h"
#include "FormatModule.h"
#include "MediaPlayer.h"

#include <QDir>
#include <QStringList>
#include <cmath>
#include <limits>

namespace sonavel {

namespace {

// Only plain files count; hidden ones are no keyword's elements. Sorted by
// name so that two runs over the same folder measure in the same order.
QStringList ListFiles(const QString& folder) {
    if (folder.trimmed().isEmpty()) return {};
    const QDir dir(folder);
    if (!dir.exists()) return {};
    return dir.entryList(QDir::Files, QDir::Name);
}

}  // namespace

std::int32_t GetSoundFileDuration(MediaPlayer& player, const QString& path, int maxPolls) {
    player.Open(path);
    // An unreadable file never becomes valid; its error code ends the wait
    // at once instead of after the whole bound.
    const bool known = WaitUntil(
        [&player] { return player.IsDurationValid() || player.ErrorCode() != 0; }, maxPolls);
    if (!known || !player.IsDurationValid()) {
        // Lets the queued error report reach the operator before the next file.
        DoEvents();
        return 0;
    }
    player.Stop();
    const double seconds = std::nearbyint(player.Duration());
    if (!(seconds >= 0) || seconds > std::numeric_limits<std::int32_t>::max()) return 0;
    return static_cast<std::int32_t>(seconds);
}

std::optional<std::int32_t> AverageSoundFileDuration(MediaPlayer& player, const QString& folder,
                                                     EstimateProgress& progress,
                                                     const std::function<bool()>& stopped) {
    const QStringList listed = ListFiles(folder);
    if (listed.isEmpty()) return std::nullopt;
    int count = 0;
    for (const QString& name : listed) {
        if (IsSoundFile(name)) ++count;
    }
    if (count == 0) return std::nullopt;

    progress.Show(QStringLiteral("Estimating Time"));
    progress.SetLabel(QStringLiteral("Getting Sound File Names ....  Please Wait."));
    progress.SetRange(count);
    DoEvents();

    // Listed again: the folder may have changed while the window came up.
    QStringList names;
    for (const QString& name : ListFiles(folder)) {
        if (!IsSoundFile(name)) continue;
        names << name;
        progress.SetValue(static_cast<int>(names.size()));
    }
    if (names.isEmpty()) return std::nullopt;

    progress.SetLabel(QStringLiteral("Calculating Average Time ....  Please Wait."));
    progress.SetRange(static_cast<int>(names.size()));
    std::int64_t total = 0;
    int done = 0;
    const QDir dir(folder);
    for (const QString& name : std::as_const(names)) {
        if (stopped && stopped()) return std::nullopt;
        total += GetSoundFileDuration(player, dir.filePath(name));
        if (total > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
        progress.SetValue(++done);
    }

    progress.SetLabel(QStringLiteral("Calculating Average Time ....  Done."));
    progress.EnableOk();
    return static_cast<std::int32_t>(total / names.size());
}

}  // namespace sonavel
