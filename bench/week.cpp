// A week of the demo station on the real engine, in minutes: its 168
// playlists written as Creator writes them, then rendered hour after hour
// through Player's engine, decoders and mixer on the virtual output, on one
// core. Prints
//
//   hours=168 silent_frames=N hour_changes_late_ms_max=N rss_start_mb=N
//   rss_end_mb=N render_x_realtime=N
//
// silent_frames: frames of the week with nothing on air. hour_changes_late_ms_max:
// how long after the end of the element sounding at its top a new hour's
// list began, at worst (0 when every hour starts at the first element end
// after its top). rss_start_mb: RSS once the first hour has played;
// rss_end_mb: after the last frame. The first hour is where the two decoder
// threads' malloc arenas grow to what the decoder libraries need for each
// kind of file (about 0.7 MB each, seen in /proc/self/smaps); that is the
// engine reaching its working size, and the week's growth is counted from
// there. The RSS at the engine's start is printed on standard error.
// render_x_realtime: rendered time over wall time.
//
//   week [DIR [HOURS]]   keeps the station and the render's logs in DIR;
//                        renders HOURS instead of the week
#include "AnswerOk.h"
#include "ConsoleDialogs.h"
#include "DemoStation.h"
#include "HourEstimate.h"
#include "RenderCommand.h"

#include <sched.h>
#include <sys/resource.h>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <cstdio>

using namespace sonavel;

namespace {

double ResidentMb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    // One core for the engine, its decoders and the render alike.
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(std::max(0, sched_getcpu()), &one);
    if (sched_setaffinity(0, sizeof(one), &one) != 0) std::perror("sched_setaffinity");

    QTemporaryDir scratch;
    const QString root = argc > 1 ? QString::fromLocal8Bit(argv[1]) : scratch.path();
    const QString stationDir = QDir(root).filePath(QStringLiteral("station"));
    const StationPaths station = DemoStationPaths(stationDir);
    if (!QFile::exists(station.settingsFile)) {
        AnswerOk dialogs;
        QString noInput;
        QTextStream in(&noInput, QIODevice::ReadOnly);
        QString written;
        QTextStream quiet(&written);
        // Tones: the same week with or without a speech synthesiser.
        if (WriteDemoStation(stationDir, DemoOptions{false}, dialogs, quiet, err) != 0) return 1;
        ConsoleDialogs yes(in, err, ConsoleDialogs::Answering::Accept);
        if (CreatePlaylistsRun(station, yes, quiet) != 0) {
            err << written;
            return 1;
        }
    }

    RenderOptions options;
    options.station = station;
    options.from = hours::NextWeekStart(QDateTime::currentDateTime());
    options.hours = argc > 2 ? std::clamp(QString::fromLocal8Bit(argv[2]).toInt(), 1, 168) : 168;
    options.folder =
        QDir(root).filePath(QStringLiteral("render-%1").arg(QDateTime::currentMSecsSinceEpoch()));
    double rssStart = 0, rssEnd = 0, cpuStart = 0, cpuEnd = 0;
    QElapsedTimer wall;
    options.started = [&] {
        rssStart = ResidentMb();
        cpuStart = CpuSeconds();
        wall.start();
    };
    double wallSeconds = 0;
    options.finished = [&] {
        wallSeconds = static_cast<double>(wall.nsecsElapsed()) / 1e9;
        cpuEnd = CpuSeconds();
        rssEnd = ResidentMb();
    };
    double rssEngineStart = 0;
    options.progress = [&](int done) {
        if (done == 1) {
            rssEngineStart = rssStart;
            rssStart = ResidentMb();
        }
        // The first hours in detail: memory first touched then is not growth.
        if (done % 24 == 0 || done <= 3) {
            err << "hour " << done << ": rss " << QString::number(ResidentMb(), 'f', 1) << " MB, "
                << QString::number(static_cast<double>(wall.nsecsElapsed()) / 1e9, 'f', 0)
                << " s\n";
            err.flush();
        }
    };
    const RenderOutcome outcome = RenderStation(options, err);
    if (!outcome.problem.isEmpty()) {
        err << "week: " << outcome.problem << '\n';
        return 1;
    }
    const hours::Timeline& timeline = outcome.timeline;
    hours::DecodedLengths lengths;
    const std::vector<hours::HourFacts> facts =
        hours::Summarise(timeline, [&lengths](const QString& path) { return lengths(path); });

    std::int64_t silent = 0;
    std::int64_t lateMax = 0;
    int silentHours = 0, over = 0, under = 0, restarts = 0;
    for (std::size_t h = 0; h < facts.size(); ++h) {
        silent += facts[h].silence;
        silentHours += facts[h].silent ? 1 : 0;
        over += facts[h].overUnder > 0 ? 1 : 0;
        under += facts[h].overUnder < 0 ? 1 : 0;
        restarts += facts[h].restarts;
        // The hour began this long after the element sounding at its top ended.
        if (h > 0 && !facts[h].silent && !facts[h - 1].silent)
            lateMax = std::max(lateMax, facts[h].late - facts[h - 1].delay);
    }
    const double rendered = static_cast<double>(timeline.end - timeline.begin) / hours::kRate;
    out << "hours=" << timeline.hours << " silent_frames=" << silent
        << " hour_changes_late_ms_max=" << lateMax * 1000 / hours::kRate
        << " rss_start_mb=" << QString::number(rssStart, 'f', 1)
        << " rss_end_mb=" << QString::number(rssEnd, 'f', 1)
        << " render_x_realtime=" << QString::number(rendered / wallSeconds, 'f', 0) << Qt::endl;
    err << "rendered " << QString::number(rendered, 'f', 1) << " s in "
        << QString::number(wallSeconds, 'f', 1) << " s wall, "
        << QString::number(cpuEnd - cpuStart, 'f', 1) << " s of CPU ("
        << QString::number(rendered / (cpuEnd - cpuStart), 'f', 0)
        << "x real time per CPU second); "
        << "engine late starts " << outcome.stats.gaps << " (" << outcome.stats.gapFrames
        << " frames), underruns " << outcome.stats.underrunFrames << " frames; " << over
        << " hours over, " << under << " under, " << silentHours << " silent, " << restarts
        << " restarts; RSS at the engine's start " << QString::number(rssEngineStart, 'f', 1)
        << " MB, after the first hour " << QString::number(rssStart, 'f', 1) << " MB; logs in "
        << options.folder << "/Logs\n";
    return silent == 0 && lateMax == 0 && rssEnd - rssStart < 2.0 ? 0 : 1;
}
