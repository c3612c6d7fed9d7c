#pragma once

#include "AudioEngine.h"
#include "CreateCommand.h"
#include "HourReport.h"

#include <QDateTime>
#include <QString>
#include <QTextStream>
#include <functional>

namespace sonavel {

// What a render is asked to do. The station's playlists go through Player's
// own engine, its decoders and mixer on the virtual output, and the engine's
// clock is the frames rendered: the only differences from the air are where
// the sound goes and what moves the clock.
struct RenderOptions {
    StationPaths station;
    // The rendered time of the first frame. The render goes on to the top of
    // the hour `hours` after the hour this falls in, then to the end of the
    // element sounding at that top, as the air would.
    QDateTime from;
    int hours = 1;
    // What would have aired, as a WAV file of the mix; none when empty.
    QString to;
    // The render's own folder: its program, error and as-run logs go to
    // folder/Logs, every line stamped with the rendered time. Never the
    // station's logs.
    QString folder;
    // Told of each hour rendered, with the number done so far.
    std::function<void(int)> progress = {};
    // Told once the engine is on air, and again after the last frame, so a
    // measurement can look at the process around the render itself.
    std::function<void()> started = {};
    std::function<void()> finished = {};
};

struct RenderOutcome {
    // Empty when the render ran; otherwise why nothing was rendered.
    QString problem;
    hours::Timeline timeline;
    EngineStats stats;
    double wallSeconds = 0;
    // A signal ended it before its last hour.
    bool interrupted = false;
};

// The rendered time a command-line "DAY HH" stands for: that weekday and hour
// next after now, on a clock that keeps the offset from UTC it has then.
// Invalid when the text is not a day token and an hour 0 to 23.
QDateTime RenderStart(const QString& dayHour, const QDateTime& now);
// The next top of the hour after now, likewise.
QDateTime NextTop(const QDateTime& now);

// Why a render may not write its logs into folder: it is, or lies in, the
// station's Logs folder or the folder of the station's program or error log.
// Empty when it may.
QString RenderFolderProblem(const QString& folder, const QStringList& stationLogFolders);

RenderOutcome RenderStation(const RenderOptions& options, QTextStream& err);

// The commands: `sonavel render` and `sonavel hour-report`. Both print on out
// and say what went wrong on err; they return the exit status.
struct RenderCommandOptions {
    QString from;   // "DAY HH"; empty for the default
    int hours = 0;  // 0 for the default
    QString to;
    QString logs;
    bool week = false;
    bool csv = false;
    bool estimate = false;
};
int RenderRun(const StationPaths& station, const RenderCommandOptions& options,
              const QDateTime& now, QTextStream& out, QTextStream& err);
int HourReportRun(const StationPaths& station, const RenderCommandOptions& options,
                  const QDateTime& now, QTextStream& out, QTextStream& err);

}  // namespace sonavel
