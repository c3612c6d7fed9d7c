#include "RenderCommand.h"

#include "AudioMediaPlayer.h"
#include "ConsoleDialogs.h"
#include "ErrorModule.h"
#include "Events.h"
#include "FormatModule.h"
#include "HourEstimate.h"
#include "NamedEntries.h"
#include "PlayerModule.h"
#include "ProgramSettings.h"
#include "RecentFiles.h"
#include "RuntimeError.h"
#include "Session.h"
#include "SettingsStore.h"
#include "SignalWatch.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimeZone>
#include <array>
#include <chrono>
#include <cmath>
#include <optional>
#include <set>
#include <thread>

namespace sonavel {

namespace {

using hours::kHourFrames;

constexpr std::int64_t kRate = AudioEngine::kRate;
static_assert(kRate == hours::kRate, "the report counts the engine's frames");
// The output renders 40 ms at a time, as a sound device does at the latency
// the engine asks of it, and the window's display timer ticks every 250 ms
// of rendered time. An element reports its end 300 ms before its last frame,
// so the next one is always started in time, and the hour and a time check's
// minute are read for the element's real end: the step changes only how
// finely the logs' stamps fall.
constexpr std::int64_t kStep = kRate * 40 / 1000;
constexpr std::int64_t kTick = kRate / 4;
// About 100 ms of waiting, in passes of the event loop.
constexpr int kMostPollsForAnAnswer = 100;
// A WAV file stops at 4 GB: about three hours of the 32-bit stereo mix.
constexpr int kMostHoursToFile = 2;

const QString kTimeCheckAsked = QStringLiteral("  Program Element: Time Check");
const QString kElementAsked = QStringLiteral("  Program Element: ");

// The engine's clock: the time of the first frame plus the frames rendered.
class RenderClock final : public Clock {
  public:
    explicit RenderClock(QDateTime first) : m_first(std::move(first)) {}
    // Until it follows an engine, it stands at the first frame.
    void Follow(const AudioEngine& audio) { m_audio = &audio; }
    QDateTime Now() const override {
        return m_audio ? m_first.addMSecs(m_audio->Frame() * 1000 / kRate) : m_first;
    }

  private:
    QDateTime m_first;
    const AudioEngine* m_audio = nullptr;
};

// The window the engine drives: nothing to draw. The menu the Player's
// window would carry is kept for the engine's recent files.
class RenderWindow final : public PlayerWindow {
  public:
    void Render(const PlayerDisplay&) override {}
    NamedEntries& Entries() override { return m_entries; }
    void Unload() override {}

  private:
    MemoryEntries m_entries = RecentFileMenuEntries();
};

// Follows what the two players sound, to the frame, into the timeline. It
// listens to the players ahead of the engine, so an element's end is read
// before the engine loads the player with the next one; it never acts.
class Recorder {
  public:
    Recorder(AudioEngine& audio, std::array<MediaPlayer*, 2> players, hours::Timeline& timeline,
             std::int64_t offset)
        : m_audio(audio), m_players(players), m_timeline(timeline), m_offset(offset) {
        for (int p = 0; p < 2; ++p) {
            QObject::connect(players[p], &MediaPlayer::PlayStateChange, &m_context,
                             [this, p](int oldState, int newState) {
                                 if (newState == media::kPlaying && oldState == media::kStopped)
                                     Started(p);
                                 if (oldState == media::kPlaying && newState != media::kPlaying)
                                     Ended(p);
                             });
            QObject::connect(players[p], &MediaPlayer::Error, &m_context, [this, p] {
                Pass(m_players[p]->FileName(), m_players[p]->ErrorDescription());
            });
        }
    }

    void Attach(const PlayerEngine& engine) { m_engine = &engine; }
    // An element has ended and nothing has started since.
    bool Unanswered() const { return m_unanswered; }

    std::int64_t Now() const { return m_offset + m_audio.Frame(); }

    // After each rendered step: the elements started since count from their
    // first frame, and a time check that did not start is named.
    void AfterRender() {
        const std::int64_t now = Now();
        for (int p = 0; p < 2; ++p) {
            std::optional<OnAir>& onAir = m_onAir[p];
            if (!onAir || !onAir->pending) continue;
            const double position = m_players[p]->CurrentPosition();
            if (position <= 0.0) continue;  // still waiting for the tail before it
            onAir->aired.start = now - std::llround(position * kRate);
            onAir->pending = false;
        }
        SettleTimeCheck();
    }

    // Every program-log line as the engine writes it.
    void OnLogLine(const QString& line) {
        if (!line.contains(kElementAsked)) return;
        SettleTimeCheck();
        if (line.endsWith(kTimeCheckAsked)) {
            m_timeCheckAsked = true;
            m_startsWhenAsked = m_starts;
        }
    }

    // Where the render may stop once it is past the top of its last hour:
    // now, when nothing that began before that top still sounds; the end of
    // what does, once it is known; -1 while it is not.
    std::int64_t StopAt(std::int64_t lastTop) const {
        const std::int64_t now = Now();
        for (const std::optional<OnAir>& onAir : m_onAir) {
            if (onAir && onAir->aired.start < lastTop) return -1;
        }
        return m_lastEnd > now && m_lastEndStart < lastTop ? m_lastEnd : now;
    }

    // The render ends here: what sounds is cut, what never sounded is dropped.
    void Close() {
        for (int p = 0; p < 2; ++p) {
            std::optional<OnAir>& onAir = m_onAir[p];
            if (onAir && !onAir->pending) {
                onAir->aired.end = Now();
                Keep(*onAir);
            }
            onAir.reset();
        }
    }

  private:
    struct OnAir {
        int run = -1;
        bool pending = true;  // its first frame is still to come
        hours::Aired aired;
    };

    // Where the element being switched to begins: right after the one whose
    // end started the switch, or now when nothing sounded.
    std::int64_t SwitchFrame() const { return std::max(Now(), m_lastEnd); }

    // The list the engine is playing; a list other than the last one is a
    // new hour's, read as the engine holds it.
    int CurrentRun() {
        const QString& list = m_engine->PlaylistFileName;
        if (m_run >= 0 && list == m_list) return m_run;
        m_list = list;
        hours::ListRun run;
        run.hour = static_cast<int>(SwitchFrame() / kHourFrames);
        run.list = m_timeline.File(list);
        for (int n = 1; n <= m_engine->LastElement; ++n) {
            const QString element = m_engine->Element(n);
            run.elements.push_back(element.left(10).toLower().trimmed() ==
                                           QLatin1String(":timecheck")
                                       ? hours::Timeline::kTimeCheckLine
                                       : m_timeline.File(element));
        }
        m_timeline.runs.push_back(std::move(run));
        m_run = static_cast<int>(m_timeline.runs.size()) - 1;
        m_lastElement = 0;
        m_pass = 0;
        return m_run;
    }

    void Started(int p) {
        if (!m_engine) return;
        if (m_onAir[p]) Ended(p);
        ++m_starts;
        m_unanswered = false;
        OnAir onAir;
        onAir.run = CurrentRun();
        const int element = m_engine->HeldElement[static_cast<std::size_t>(p)];
        // Back to the list's start (or before where it was): it started again.
        if (element <= m_lastElement) ++m_pass;
        m_lastElement = element;
        onAir.aired.element = element;
        onAir.aired.pass = m_pass;
        onAir.aired.timeCheck = m_engine->TimeCheckLoaded[static_cast<std::size_t>(p)];
        onAir.aired.file = m_timeline.File(m_players[p]->FileName());
        // Until its first frame is seen it counts from where it is due.
        onAir.aired.start = SwitchFrame();
        m_onAir[p] = onAir;
        if (onAir.aired.timeCheck) m_timeCheckAsked = false;
    }

    void Ended(int p) {
        std::optional<OnAir>& onAir = m_onAir[p];
        if (!onAir) return;
        const std::int64_t now = Now();
        MediaPlayer& player = *m_players[p];
        if (onAir->pending) {
            // Shorter than a step: it began as many frames ago as it played.
            const double position = player.CurrentPosition();
            if (position <= 0.0) {
                onAir.reset();  // it never sounded
                return;
            }
            onAir->aired.start = now - std::llround(position * kRate);
        }
        // Its end is reported while its last frames are still to sound.
        onAir->aired.end = now + std::llround(player.SecondsToEnd() * kRate);
        m_lastEnd = onAir->aired.end;
        m_lastEndStart = onAir->aired.start;
        m_unanswered = true;
        Keep(*onAir);
        onAir.reset();
    }

    void Keep(const OnAir& onAir) {
        if (onAir.aired.end <= onAir.aired.start) return;
        m_timeline.runs[static_cast<std::size_t>(onAir.run)].aired.push_back(onAir.aired);
    }

    void Pass(const QString& what, const QString& why) {
        if (!m_engine) return;
        const int run = CurrentRun();
        // A list that cannot play is tried again every few seconds: each
        // file is named once.
        if (!m_passed.insert({run, what}).second) return;
        m_timeline.passed.push_back({run, what, why});
    }

    void SettleTimeCheck() {
        if (!m_timeCheckAsked) return;
        m_timeCheckAsked = false;
        if (m_starts != m_startsWhenAsked || !m_engine) return;
        const QDateTime at = m_timeline.firstTop.addMSecs(SwitchFrame() * 1000 / kRate);
        Pass(hours::AnnouncementFor(m_timeline.timeCheckFolder, at),
             QStringLiteral("Time Check file not found"));
    }

    AudioEngine& m_audio;
    std::array<MediaPlayer*, 2> m_players;
    hours::Timeline& m_timeline;
    std::int64_t m_offset;
    const PlayerEngine* m_engine = nullptr;
    std::array<std::optional<OnAir>, 2> m_onAir;
    std::int64_t m_lastEnd = 0;
    std::int64_t m_lastEndStart = 0;
    QString m_list;
    int m_run = -1;
    int m_lastElement = 0;
    int m_pass = 0;
    int m_starts = 0;
    bool m_unanswered = false;
    bool m_timeCheckAsked = false;
    int m_startsWhenAsked = 0;
    std::set<std::pair<int, QString>> m_passed;
    QObject m_context;
};

// A sound device renders seconds behind its decoders: an element reports
// its end a full tail before its last frame, because its decoder has long
// reached the end of the file. Rendering hundreds of times faster than real
// time, the decoders could fall behind and an end come late, leaving a gap
// the air never has; so every voice in use holds a tail and a step of sound,
// or all of its file, before a step is rendered. A decoder that stopped
// answering holds the render no longer than a device's would be held.
void AwaitDecoders(AudioEngine& audio) {
    const auto need =
        static_cast<std::size_t>(audio.TailFrames()) + static_cast<std::size_t>(kStep);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    for (std::size_t i = 0; i < AudioEngine::kMaxVoices; ++i) {
        const Voice& voice = audio.VoiceAt(static_cast<int>(i));
        if (!voice.busy.load(std::memory_order_acquire)) continue;
        while (voice.ring.Readable() < need && !voice.decodeEnded.load(std::memory_order_acquire)) {
            if (std::chrono::steady_clock::now() > deadline) return;
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
    }
}

// What the players reported during a step, served as the event loop would
// between two buffers of the output. A report can lead to a switch whose own
// reports are queued in turn.
void Serve() {
    for (int i = 0; i < 3; ++i)
        QCoreApplication::sendPostedEvents();
}

// Timers and the objects let go of, at every display tick.
void ServeAll() {
    DoEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The path as it will be once made, with every link of its existing part resolved.
QString Resolved(const QString& path) {
    QString rest;
    QFileInfo info(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    while (!info.exists() && !info.isRoot() && info.absoluteFilePath() != info.absolutePath()) {
        rest = u'/' + info.fileName() + rest;
        info = QFileInfo(info.absolutePath());
    }
    const QString base = info.exists() ? info.canonicalFilePath() : info.absoluteFilePath();
    return QDir::cleanPath(base + rest);
}

bool Within(const QString& path, const QString& folder) {
    return path == folder || path.startsWith(folder + u'/');
}

QString HoursText(int hours) {
    return hours == 1 ? QStringLiteral("1 hour") : QStringLiteral("%1 hours").arg(hours);
}

// A folder of its own for a render's logs, next to where the command runs.
QString DefaultRenderFolder(const QDateTime& from) {
    const QString base = QDir::current().filePath(QStringLiteral("sonavel-render-") +
                                                  hours::HourLabel(from).remove(u' '));
    QString folder = base;
    for (int n = 2; QFileInfo::exists(folder); ++n)
        folder = base + QStringLiteral("-%1").arg(n);
    return folder;
}

}  // namespace

QDateTime RenderStart(const QString& dayHour, const QDateTime& now) {
    const QStringList parts = dayHour.simplified().split(u' ');
    if (parts.size() != 2) return {};
    int weekday = 0;  // 1 Monday .. 7 Sunday, as QDate counts
    for (int d = 1; d <= 7; ++d) {
        if (parts[0].compare(WeekdayToken(d), Qt::CaseInsensitive) == 0) weekday = (d + 5) % 7 + 1;
    }
    bool ok = false;
    const int hour = parts[1].toInt(&ok);
    if (weekday == 0 || !ok || hour < 0 || hour > 23 || parts[1].size() > 2) return {};
    QDateTime at(now.date(), QTime(hour, 0));
    while (at.date().dayOfWeek() != weekday || at <= now)
        at = at.addDays(1);
    return hours::Fixed(at);
}

QDateTime NextTop(const QDateTime& now) {
    return hours::Fixed(QDateTime(now.date(), QTime(now.time().hour(), 0)).addSecs(3600));
}

QString RenderFolderProblem(const QString& folder, const QStringList& stationLogFolders) {
    const QString logs = Resolved(folder + QStringLiteral("/Logs"));
    for (const QString& station : stationLogFolders) {
        if (station.isEmpty()) continue;
        const QString theirs = Resolved(station);
        if (Within(logs, theirs) || Within(Resolved(folder), theirs)) {
            return QStringLiteral(
                       "%1 is the station's own log folder (%2): a render writes its "
                       "logs to a folder of its own")
                .arg(folder + QStringLiteral("/Logs"), theirs);
        }
    }
    return {};
}

RenderOutcome RenderStation(const RenderOptions& options, QTextStream& err) {
    RenderOutcome outcome;
    const std::unique_ptr<SettingsStore> store = OpenStationStore(options.station, err);
    if (!store) {
        outcome.problem = QStringLiteral("the station's settings cannot be read");
        return outcome;
    }

    QString noInput;
    QTextStream in(&noInput, QIODevice::ReadOnly);
    ConsoleDialogs dialogs(in, err, ConsoleDialogs::Answering::Refuse);
    RenderClock clock(options.from);
    // The render's folder stands for the program folder, so the as-run log
    // goes there too.
    Session session(Product::Player, options.folder, *store, dialogs, clock);
    try {
        ReadSettingFields(*store, QString::fromLatin1(kAppName), kPlayerSettings.Name(),
                          kPlayerSettings.fields, session);
    } catch (const RuntimeError& error) {
        // Nothing is written into the station: it is for Player to set its
        // settings up.
        outcome.problem = QStringLiteral(
                              "the station's Player settings cannot be read (%1); start Sonavel "
                              "Player on it once")
                              .arg(error.Description());
        return outcome;
    }
    QStringList stationLogs = {options.station.programFolder + QStringLiteral("/Logs")};
    for (const QString& log : {session.ProgramLogFileName, session.ErrorLogFileName}) {
        if (!log.isEmpty()) stationLogs << QFileInfo(log).absolutePath();
    }
    outcome.problem = RenderFolderProblem(options.folder, stationLogs);
    if (!outcome.problem.isEmpty()) return outcome;
    const QString logs = options.folder + QStringLiteral("/Logs");
    if (!QDir().mkpath(logs)) {
        outcome.problem = QStringLiteral("%1 cannot be made").arg(logs);
        return outcome;
    }
    if (!QDir(logs).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) {
        outcome.problem =
            QStringLiteral("%1 already holds the logs of another run; give a new or empty folder")
                .arg(logs);
        return outcome;
    }
    // The recording is created before anything renders: one that cannot be
    // written is known before an hour is rendered for it.
    AudioEngine audio(EngineConfig{OutputKind::Virtual, 300, options.to});
    if (!options.to.isEmpty() && !audio.CaptureError().isEmpty()) {
        outcome.problem = audio.CaptureError();
        return outcome;
    }
    clock.Follow(audio);
    // On air without a window: automatic selection, both logs on.
    session.Player.Manual = false;
    session.Player.Automatic = true;
    session.ProgramLoggingEnabled = true;
    session.ProgramLogFileName = logs + QStringLiteral("/Program.log");
    session.ErrorLoggingEnabled = true;
    session.ErrorLogFileName = logs + QStringLiteral("/Error.log");

    hours::Timeline& timeline = outcome.timeline;
    timeline.firstTop = options.from.addMSecs(
        -static_cast<qint64>(options.from.time().msecsSinceStartOfDay() % 3600000));
    timeline.hours = options.hours;
    timeline.playlistFolder = session.Player.PlaylistFolder;
    timeline.timeCheckFolder = session.Player.TimeCheckFolder;
    timeline.rendered = true;
    const std::int64_t offset = timeline.firstTop.msecsTo(options.from) * kRate / 1000;
    timeline.begin = offset;
    const std::int64_t lastTop = kHourFrames * options.hours;

    QElapsedTimer wall;
    wall.start();
    {
        AudioMediaPlayer player1(audio);
        AudioMediaPlayer player2(audio);
        // Before the engine: it hears each report first.
        Recorder recorder(audio, {&player1, &player2}, timeline, offset);
        session.ProgramLogEcho = [&recorder](const QString& line) { recorder.OnLogLine(line); };
        RenderWindow window;
        PlayerEngine engine(session, player1, player2, window);
        engine.Unattended = true;
        recorder.Attach(engine);
        // A signal ends the render at the next step.
        SignalWatch watch([] {});

        // Player's start-up on air, on the settings read above.
        engine.ApplySettings();
        LogEvent(session, QStringLiteral("Program Loaded"));
        engine.SetPlayListNotLoaded();
        engine.DisablePlayer(1);
        engine.DisablePlayer(2);
        audio.EnsureRunning();
        if (engine.GetCurrentHourPlaylist()) engine.StartPlaylist();
        Serve();
        if (options.started) options.started();

        std::int64_t nextTick = kTick;
        int hoursDone = static_cast<int>(offset / kHourFrames);
        while (!outcome.interrupted) {
            const std::int64_t now = recorder.Now();
            std::int64_t limit = lastTop;
            if (now >= lastTop) {
                const std::int64_t stop = recorder.StopAt(lastTop);
                if (stop == now) break;
                limit = stop < 0 ? now + kStep : stop;
            }
            AwaitDecoders(audio);
            audio.RenderVirtual(std::min(kStep, limit - now));
            recorder.AfterRender();
            Serve();
            // An end that came while a switch was under way is acted on
            // once the switch is done, by a timer: it is given its time
            // here, as the air gives it before its next buffer is due.
            if (recorder.Unanswered() && engine.PlayerRunning) {
                WaitUntil([&] { return !recorder.Unanswered() || !engine.PlayerRunning; },
                          kMostPollsForAnAnswer);
            }
            while (audio.Frame() >= nextTick) {
                ServeAll();
                engine.UpdateDisplay();
                nextTick += kTick;
            }
            if (SignalWatch::Received()) outcome.interrupted = true;
            for (; hoursDone < options.hours && recorder.Now() >= kHourFrames * (hoursDone + 1);
                 ++hoursDone) {
                if (options.progress) options.progress(hoursDone + 1);
            }
        }
        recorder.Close();
        timeline.end = recorder.Now();
        if (options.finished) options.finished();
        LogEvent(session, QStringLiteral("Program Ended"));
        engine.StopForExit();
        Serve();
        session.ProgramLogEcho = nullptr;
    }
    audio.Finish();
    outcome.wallSeconds = static_cast<double>(wall.nsecsElapsed()) / 1e9;
    outcome.stats = audio.Stats();
    return outcome;
}

namespace {

QString Heading(const hours::Timeline& timeline, const QString& source) {
    const QDateTime last = timeline.firstTop.addSecs(3600LL * (timeline.hours - 1));
    return QStringLiteral("Hour report: %1 to %2 (%3) %4; the worst hours first.")
        .arg(hours::HourLabel(timeline.firstTop), hours::HourLabel(last), HoursText(timeline.hours),
             source);
}

// The hours the command line asks for.
bool ChooseHours(const RenderCommandOptions& options, const QDateTime& now, int defaultHours,
                 QDateTime& from, int& count, QTextStream& err, const QString& command) {
    const auto usage = [&](const QString& problem) {
        err << "sonavel: " << command << ": " << problem << '\n'
            << "Try 'sonavel " << command << " --help' for more information.\n";
        err.flush();
        return false;
    };
    if (options.week && (!options.from.isEmpty() || options.hours != 0))
        return usage(QStringLiteral("--week takes the whole week: no --from or --hours with it"));
    if (options.week) {
        from = hours::NextWeekStart(now);
        count = 168;
        return true;
    }
    from = options.from.isEmpty() ? NextTop(now) : RenderStart(options.from, now);
    if (!from.isValid()) {
        return usage(
            QStringLiteral("invalid hour '%1' (use DAY HH, such as \"Mon 07\")").arg(options.from));
    }
    count = options.hours == 0 ? defaultHours : options.hours;
    return true;
}

void Progress(QTextStream& err, const hours::Timeline& timeline, int done) {
    // A day at a time: a week is seven lines.
    if (done % 24 != 0 && done != timeline.hours) return;
    err << "Rendered " << HoursText(done) << " of " << timeline.hours << " (to "
        << hours::HourLabel(timeline.firstTop.addSecs(3600LL * done)) << ")\n";
    err.flush();
}

}  // namespace

int RenderRun(const StationPaths& station, const RenderCommandOptions& command,
              const QDateTime& now, QTextStream& out, QTextStream& err) {
    RenderOptions options;
    options.station = station;
    if (!ChooseHours(command, now, 1, options.from, options.hours, err, QStringLiteral("render")))
        return 2;
    if (!command.to.isEmpty() && options.hours > kMostHoursToFile) {
        err << "sonavel: render: --to holds at most " << HoursText(kMostHoursToFile)
            << ": a WAV file of the 32-bit mix stops at 4 GB\n";
        err.flush();
        return 2;
    }
    options.to = command.to;
    options.folder = command.logs.isEmpty() ? DefaultRenderFolder(options.from) : command.logs;
    hours::Timeline shown;
    options.progress = [&](int done) {
        if (options.hours > 24) {
            shown.firstTop = options.from;
            shown.hours = options.hours;
            Progress(err, shown, done);
        }
    };
    const RenderOutcome outcome = RenderStation(options, err);
    if (!outcome.problem.isEmpty()) {
        err << "sonavel: render: " << outcome.problem << '\n';
        err.flush();
        return 1;
    }
    const hours::Timeline& timeline = outcome.timeline;
    const double seconds = static_cast<double>(timeline.end - timeline.begin) / kRate;
    if (outcome.interrupted) out << "Interrupted by a signal.\n";
    out << "Rendered "
        << timeline.firstTop.addMSecs(timeline.begin * 1000 / kRate)
               .toString(QStringLiteral("ddd d MMM yyyy HH:mm"))
        << " to "
        << timeline.firstTop.addMSecs(timeline.end * 1000 / kRate)
               .toString(QStringLiteral("ddd HH:mm:ss.zzz"))
        << " (" << HoursText(options.hours) << " and the element across the last top) in "
        << QString::number(outcome.wallSeconds, 'f', 1) << " s, "
        << QString::number(outcome.wallSeconds > 0 ? seconds / outcome.wallSeconds : 0.0, 'f', 0)
        << "x real time.\n";
    // The engine counts every start that came after the element before it
    // had ended: silence a listener would have heard.
    out << "Late starts " << outcome.stats.gaps << " (" << outcome.stats.gapFrames
        << " frames of gap), underruns " << outcome.stats.underrunFrames << " frames.\n";
    out << "Logs of the render: " << QFileInfo(options.folder).absoluteFilePath() << "/Logs\n";
    if (!options.to.isEmpty()) {
        if (!outcome.stats.captureError.isEmpty()) {
            err << "sonavel: render: what would have aired is incomplete: "
                << outcome.stats.captureError << '\n';
            err.flush();
            return 1;
        }
        out << "What would have aired: " << options.to << " ("
            << hours::Minutes(timeline.end - timeline.begin)
            << ", 32-bit float WAV, 48 kHz stereo)\n";
    }
    hours::DecodedLengths lengths;
    const std::vector<hours::HourFacts> facts =
        hours::Summarise(timeline, [&lengths](const QString& path) { return lengths(path); });
    out << '\n'
        << hours::TableLines(facts, {QStringLiteral("The hours as they aired:")}).join(u'\n')
        << '\n';
    out.flush();
    return outcome.interrupted ? 1 : 0;
}

int HourReportRun(const StationPaths& station, const RenderCommandOptions& command,
                  const QDateTime& now, QTextStream& out, QTextStream& err) {
    QDateTime from;
    int count = 0;
    if (!ChooseHours(command, now, 24, from, count, err, QStringLiteral("hour-report"))) return 2;
    hours::DecodedLengths lengths;
    const hours::LengthOf lengthOf = [&lengths](const QString& path) { return lengths(path); };
    hours::Timeline timeline;
    QString source;
    if (command.estimate) {
        const std::unique_ptr<SettingsStore> store = OpenStationStore(station, err);
        if (!store) return 1;
        QString folders[2];
        try {
            folders[0] = store->GetSetting(QString::fromLatin1(kAppName),
                                           QString::fromLatin1(kPlayerSection),
                                           QStringLiteral("Playlist Folder"));
            folders[1] = store->GetSetting(QString::fromLatin1(kAppName),
                                           QString::fromLatin1(kPlayerSection),
                                           QStringLiteral("Time Check Folder"));
        } catch (const RuntimeError& error) {
            err << "sonavel: hour-report: " << error.Description() << '\n';
            err.flush();
            return 1;
        }
        timeline = hours::Estimate(folders[0], folders[1], from, count, lengthOf);
        source = QStringLiteral("from the decoded lengths of their elements");
    } else {
        // Logs of their own, thrown away with the render unless asked for.
        QTemporaryDir scratch;
        RenderOptions options;
        options.station = station;
        options.from = from;
        options.hours = count;
        options.folder =
            command.logs.isEmpty() ? scratch.filePath(QStringLiteral("render")) : command.logs;
        hours::Timeline shown;
        shown.firstTop = from;
        shown.hours = count;
        options.progress = [&](int done) { Progress(err, shown, done); };
        RenderOutcome outcome = RenderStation(options, err);
        if (!outcome.problem.isEmpty()) {
            err << "sonavel: hour-report: " << outcome.problem << '\n';
            err.flush();
            return 1;
        }
        if (outcome.interrupted) {
            err << "sonavel: hour-report: interrupted; no report\n";
            err.flush();
            return 1;
        }
        timeline = std::move(outcome.timeline);
        source = QStringLiteral("rendered through the Player engine");
    }
    const std::vector<hours::HourFacts> facts =
        hours::WorstFirst(hours::Summarise(timeline, lengthOf));
    if (command.csv) {
        out << hours::Csv(facts);
    } else {
        out << hours::TableLines(facts, {Heading(timeline, source)}).join(u'\n') << '\n';
    }
    out.flush();
    return 0;
}

}  // namespace sonavel
