#include "PlayerModule.h"

#include "AudioEngine.h"
#include "CommonModule.h"
#include "ErrorModule.h"
#include "Events.h"
#include "FormatModule.h"
#include "MediaPlayer.h"
#include "RecentFiles.h"
#include "RuntimeError.h"
#include "Session.h"
#include "SoundOutputSettings.h"
#include "TextFile.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <cmath>
#include <limits>

namespace sonavel {

namespace {

const QString kNoPlaylist = QStringLiteral("No Playlist is Loaded");
const QString kAutomaticText = QStringLiteral("Automatic Playlist Selection Mode");
const QString kManualText = QStringLiteral("Manual Playlist Selection Mode");
const QString kRecentList = QStringLiteral("Player");
constexpr int kHideReadOnly = 4;

bool IsTimeCheck(const QString& element) {
    return element.toLower().contains(QStringLiteral(":timecheck"));
}

// The name the playlist pane gives a list. Only the hour's lists are named by
// weekday and hour; a list chosen by hand may be called anything, so it goes
// by its file name.
QString PlaylistNameShown(bool manual, const QString& fileName) {
    return manual ? FormatManualPlaylistName(fileName) : FormatPlaylistName(fileName);
}

}  // namespace

PlayerEngine::PlayerEngine(Session& session, MediaPlayer& player1, MediaPlayer& player2,
                           PlayerWindow& window)
    : m_session(session),
      m_player1(player1),
      m_player2(player2),
      m_window(window),
      m_asRun(session) {
    // An exception must not leave an event handler: the event loop would end
    // the program, and with it the programme on air. What failed has been
    // reported or logged by the procedure that raised it.
    const auto guarded = [](const auto& handler) {
        try {
            handler();
        } catch (const RuntimeError&) {
        }
    };
    for (int p = 1; p <= 2; ++p) {
        MediaPlayer& player = Player(p);
        QObject::connect(
            &player, &MediaPlayer::PlayStateChange, &m_context,
            [this, p, guarded](int OldState, int NewState) {
                // Whatever the engine makes of it, the element is
                // off the air; a report that arrives after the
                // control was started again is about the one before.
                MediaPlayer& control = Player(p);
                if (NewState == media::kStopped && control.PlayState() != media::kPlaying) {
                    if (control.ErrorCode() != 0)
                        m_asRun.Mark(p, control.ElementId(), asrun::Ending::Failed);
                    m_asRun.Ended(p);
                }
                guarded([&] { MediaPlayer_PlayStateChange(p, OldState, NewState); });
            });
        QObject::connect(&player, &MediaPlayer::Error, &m_context,
                         [this, p, guarded] { guarded([&] { MediaPlayer_Error(p); }); });
        // What the output did with each element: the as-run log's times.
        QObject::connect(
            &player, &MediaPlayer::Sounding, &m_context, [this, p](quint32 element, qint64 frame) {
                const QString name = m_asRun.Sounding(p, element, frame, Player(p).OutputFrame());
                if (ElementStarted && !name.isEmpty()) ElementStarted(name);
            });
        QObject::connect(&player, &MediaPlayer::Quiet, &m_context,
                         [this, p](quint32 element, qint64 frame, qint64 frames, bool over) {
                             m_asRun.Quiet(p, element, frame, frames, over,
                                           Player(p).OutputFrame());
                         });
        QObject::connect(&player, &MediaPlayer::Cut, &m_context,
                         [this, p, guarded](const QString& description) {
                             guarded([&] { OnCut(p, description); });
                         });
    }
    // Until a playlist runs, only the commands that arm something are offered.
    for (PlayerCommand c : {PlayerCommand::PauseNow, PlayerCommand::SkipNow, PlayerCommand::Resume})
        m_display.Command(c).enabled = false;
}

QString PlayerEngine::Element(int index) const {
    return index >= 1 && index <= LastElement ? ProgramElements.value(index - 1) : QString();
}

void PlayerEngine::Refresh() {
    m_window.Render(m_display);
}

// ---------------------------------------------------------------------------
// Modes

void PlayerEngine::ApplySettings() {
    // The "Manual" value is read last and so decides.
    ManualMode = m_session.Player.Manual;
    AutomaticMode = !ManualMode;
    SynchronousOperation = m_session.Player.SynchronousOperation;
    m_display.openPlaylistEnabled = ManualMode;
    if (ManualMode) {
        m_display.mode = kManualText;
        m_display.playlistPaneEnabled = false;
        m_display.playlist = kNoPlaylist;
    } else {
        m_display.mode = kAutomaticText;
        m_display.playlist = kAutomaticText;
        m_display.playlistTime = QStringLiteral("60:00");
    }
    Refresh();
    ModeChanged();
}

void PlayerEngine::SetManualMode() {
    if (Ending()) return;
    m_session.Dlg().MsgBox(QStringLiteral("Click 'OK' to set Manual Playlist Selection mode."),
                           MsgButtons::OK, MsgIcon::None, QStringLiteral("Sonavel Player"));
    if (Ending()) return;
    SwitchToManualMode();
}

void PlayerEngine::SwitchToManualMode() {
    m_display.openPlaylistEnabled = true;
    ManualMode = true;
    AutomaticMode = false;
    SetPlayListNotLoaded();
    ShowRecentFiles();
    LogEvent(m_session, QStringLiteral("Manual playlist selection mode set"));
    ModeChanged();
}

void PlayerEngine::SwitchToAutomaticMode() {
    m_display.openPlaylistEnabled = false;
    HideRecentFiles();
    AutomaticMode = true;
    ManualMode = false;
    LogEvent(m_session, QStringLiteral("Automatic playlist selection mode set"));
    SetPlayListNotLoaded();
    // The pane keeps its label while no list is loaded in automatic mode, so
    // the new mode is shown here even when the hour has no playlist.
    m_display.mode = kAutomaticText;
    Refresh();
    ModeChanged();
    if (GetCurrentHourPlaylist()) StartPlaylist();
}

void PlayerEngine::WatchMode(QObject* context, std::function<void()> changed) {
    m_modeWatchers.emplace_back(context, std::move(changed));
}

void PlayerEngine::ModeChanged() {
    std::erase_if(m_modeWatchers, [](const auto& watcher) { return watcher.first.isNull(); });
    // A copy: a watcher may add another, or close its window, while it is told.
    const auto watchers = m_modeWatchers;
    for (const auto& [context, changed] : watchers) {
        if (context) changed();
    }
}

void PlayerEngine::ShowRecentFiles() {
    ReadRecentFiles(m_session, kRecentList, m_window.Entries());
}

void PlayerEngine::HideRecentFiles() {
    sonavel::HideRecentFiles(m_window.Entries());
}

// ---------------------------------------------------------------------------
// Reading playlists

QStringList PlayerEngine::ReadPlaylistFile(const QString& path) {
    const QStringList lines = textfile::ReadLines(path);
    // Elements are numbered in 16 bits; an hour never holds that many, so
    // the rest of a runaway file is dropped rather than wrapping the count.
    constexpr int kMostElements = std::numeric_limits<std::int16_t>::max();
    QStringList elements;
    int dropped = 0;
    for (const QString& line : lines) {
        if (!IsSoundFile(line)) continue;
        if (elements.size() < kMostElements) {
            elements << line;
        } else {
            ++dropped;
        }
    }
    if (dropped > 0) {
        Fault(0, QStringLiteral("ReadPlaylist"),
              QStringLiteral("Playlist holds more than ") + QString::number(kMostElements) +
                  QStringLiteral(" elements; ") + QString::number(dropped) +
                  QStringLiteral(" were not loaded"),
              QStringLiteral("PlayerModule"), QStringLiteral("PlaylistFileName"), path);
    }
    return elements;
}

void PlayerEngine::SetElements(const QStringList& elements) {
    ProgramElements = elements;
    LastElement = static_cast<std::int16_t>(elements.size());
}

bool PlayerEngine::GetCurrentHourPlaylist() {
    ++m_readingHour;
    struct Done {
        int& depth;
        ~Done() { --depth; }
    } done{m_readingHour};
    for (;;) {
        if (Ending()) return false;
        const QDateTime now = SwitchTime();
        const int weekday = now.date().dayOfWeek() % 7 + 1;  // Sunday = 1
        PlaylistFileName = m_session.Player.PlaylistFolder + QLatin1Char('/') +
                           WeekdayToken(weekday) +
                           QStringLiteral("%1").arg(now.time().hour(), 2, 10, QLatin1Char('0')) +
                           QStringLiteral("00.lst");
        ProgramElements.clear();
        LastElement = 0;

        QString problem;
        try {
            const QFileInfo info(PlaylistFileName);
            if (info.exists() && info.isFile() && info.size() == 0) {
                problem = QStringLiteral("The playlist file for the current hour is blank.");
            } else {
                SetElements(ReadPlaylistFile(PlaylistFileName));
            }
        } catch (const RuntimeError& error) {
            const std::int32_t n = error.Number();
            if (n != err::kFileNotFound && n != err::kPathNotFound && n != err::kBadFileName) {
                // The operator is not asked, but a station must be able to
                // find out why its hour stayed silent.
                if (m_lastProblem != error.Description()) {
                    Fault(n, error.Source(), error.Description(),
                          QStringLiteral("GetCurrentHourPlaylist"),
                          QStringLiteral("PlaylistFileName"), PlaylistFileName);
                }
                m_lastProblem = error.Description();
                return false;
            }
            problem =
                QStringLiteral("The playlist file for the current hour cannot be located in ") +
                m_session.Player.PlaylistFolder + QStringLiteral(".");
        }
        if (problem.isEmpty()) {
            m_lastProblem.clear();
            PlaylistLoaded = true;
            return true;
        }
        if (Unattended || m_quiet) {
            // Tried again every few seconds: said once, not at every try.
            if (problem != m_lastProblem) LogEvent(m_session, problem);
            m_lastProblem = problem;
            return false;
        }
        const MsgResult answer = m_session.Dlg().MsgBox(
            problem + QStringLiteral("\r\nClick 'OK' to set the Playlist Folder, Click 'Cancel' "
                                     "to exit Automatic Mode."),
            MsgButtons::OKCancel, MsgIcon::Critical, QStringLiteral("Sonavel Player"));
        // Closed by the program's end: neither answer was given.
        if (Ending()) return false;
        if (answer != MsgResult::OK) {
            SetManualMode();
            return false;
        }
        SetPlaylistFolder(m_session);
    }
}

bool PlayerEngine::LoadPlaylist() {
    FileDialogRequest request;
    request.title = QStringLiteral("Load Playlist");
    request.filter = QStringLiteral("Sonavel Playlists (*.lst)|*.lst");
    request.flags = kHideReadOnly;
    const PlayerSettings& settings = m_session.Player;
    if (!settings.LastFileOpened.isEmpty()) {
        request.initialFolder = GetFilePath(settings.LastFileOpened);
    } else if (settings.PlaylistFolder.isEmpty()) {
        request.initialFolder = m_session.ProgramFolder() + QStringLiteral("/Playlists");
    } else {
        request.initialFolder = settings.PlaylistFolder;
    }
    const std::optional<QString> chosen = m_session.Dlg().FileDialog(request);
    if (!chosen || Ending()) return false;
    return ReadChosenPlaylist(*chosen, true);
}

void PlayerEngine::LoadRecentPlaylist(const QString& fileName) {
    if (ReadChosenPlaylist(fileName, false)) StartPlaylist();
}

bool PlayerEngine::ReadChosenPlaylist(const QString& path, bool remember) {
    // Read before anything is dropped: a file that cannot be read leaves the
    // list on air playing.
    QStringList elements;
    try {
        elements = ReadPlaylistFile(path);
    } catch (const RuntimeError& error) {
        Fault(error.Number(), error.Source(), error.Description(),
              remember ? QStringLiteral("LoadPlaylist") : QStringLiteral("LoadRecentPlaylist"),
              QStringLiteral("PlaylistFileName"), path);
        return false;
    }
    // Two lists never sound at once.
    if (PlaylistLoaded || PlayerRunning) SetPlayListNotLoaded();
    PlaylistFileName = path;
    SetElements(elements);
    if (remember) AddRecentFile(m_session, path, kRecentList, m_window.Entries());
    m_session.Player.LastFileOpened = path;
    PlaylistLoaded = true;
    return true;
}

// ---------------------------------------------------------------------------
// The playlist pane

void PlayerEngine::ShowPlaylistStatus() {
    PlayerDisplay& d = m_display;
    if (ManualMode) {
        d.mode = kManualText;
        d.playlistTime.clear();
        d.playlistRemaining.clear();
        if (PlaylistLoaded) {
            d.playlist =
                QStringLiteral("Loaded Playlist: ") + PlaylistNameShown(true, PlaylistFileName);
            d.playlistBack = playercolor::kWhite;
            d.playlistPaneEnabled = true;
        } else {
            d.playlist = kNoPlaylist;
            d.playlistPaneEnabled = false;
        }
        Refresh();
        return;
    }
    if (!PlaylistLoaded) {
        Refresh();
        return;
    }
    d.mode = kAutomaticText;
    d.playlist = QStringLiteral("Current Playlist: ") + PlaylistNameShown(false, PlaylistFileName);
    d.playlistBack = playercolor::kWhite;
    d.playlistPaneEnabled = true;
    d.playlistTime = QStringLiteral("60:00");
    if (PlayerRunning) {
        const QTime now = m_session.Time().Now().time();
        if (now.hour() == PlaylistStartHour) {
            const double sinceMidnight = now.msecsSinceStartOfDay() / 1000.0;
            m_secondsRemaining = static_cast<int>(std::lround(HourEndSeconds - sinceMidnight));
        } else {
            // The old hour's last element still plays into the new hour.
            for (int p = 1; p <= 2; ++p) {
                const MediaPlayer& player = Player(p);
                if (player.PlayState() == media::kPlaying) {
                    m_secondsRemaining =
                        static_cast<int>(std::lround(player.Duration() - player.CurrentPosition()));
                    break;
                }
            }
        }
        d.playlistBarMax = 3600;
        const int elapsed = 3600 - m_secondsRemaining;
        d.playlistBarValue = elapsed < 0 ? d.playlistBarMax : std::min(elapsed, 3600);
        d.playlistRemaining = FormatTime(m_secondsRemaining);
        d.playlistRemainingColor = m_secondsRemaining > 60   ? playercolor::kGreen
                                   : m_secondsRemaining > 10 ? playercolor::kYellow
                                                             : playercolor::kLightRed;
    }
    Refresh();
}

// ---------------------------------------------------------------------------
// The display tick and the panels

void PlayerEngine::UpdateDisplay() {
    const QDateTime now = m_session.Time().Now();
    RetrySilentHour(now);
    if (!PlayerRunning) return;
    m_display.statusTime = now.time().toString(QStringLiteral("h:mm:ss AP"));
    if (ExitRequested) {
        ExitRequested = false;
        Refresh();
        m_window.Unload();
        return;
    }
    NoticeHourChange(now.time());
    ShowPlaylistStatus();
    m_display.trayTip = PlaylistLoaded && PlayerRunning
                            ? FormatElementName(Element(CurrentElement)).trimmed()
                            : kNoPlaylist;
    if (m_player1.PlayState() == media::kPlaying) {
        ShowPlayerTime(1);
    } else if (m_player2.PlayState() == media::kPlaying) {
        ShowPlayerTime(2);
    }
    Refresh();
}

void PlayerEngine::SetPlayListNotLoaded() {
    // A paused element is cut off as much as a sounding one.
    m_asRun.StopAll();
    PlaylistLoaded = false;
    PlayerRunning = false;
    m_haltedForExit = false;
    for (int p = 1; p <= 2; ++p) {
        if (Player(p).PlayState() == media::kPlaying) Player(p).Pause();
    }
    ClearNextCommands();
    PlayerDisplay& d = m_display;
    // Nothing plays, so there is nothing to pause or skip.
    d.Command(PlayerCommand::PauseNow).enabled = false;
    d.Command(PlayerCommand::SkipNow).enabled = false;
    d.statusElement.clear();
    ShowPlaylistStatus();
    d.playlist = kNoPlaylist;
    d.playlistBack = playercolor::kGrey;
    d.elementNames.clear();
    d.highlighted = 0;
    d.playingList = {};
    d.playlistTime.clear();
    d.playlistRemaining.clear();
    d.trayTip = kNoPlaylist;
    for (PanelLook& panel : d.panels) {
        panel.text.clear();
        panel.time.clear();
        panel.remaining.clear();
    }
    DisablePlayer(1);
    DisablePlayer(2);
}

void PlayerEngine::EnablePlayer(int player) {
    PanelLook& panel = m_display.panels[static_cast<std::size_t>(player - 1)];
    panel.frameEnabled = true;
    panel.textBack = playercolor::kWhite;
    panel.textEnabled = true;
    panel.text.clear();
    panel.timeColor = playercolor::kBlack;
    panel.remainingColor = playercolor::kGreen;
    // The name is shown again at once: the element has just been loaded.
    ShowPlayerName(player);
    Refresh();
}

void PlayerEngine::DisablePlayer(int player) {
    PanelLook& panel = m_display.panels[static_cast<std::size_t>(player - 1)];
    panel.frameEnabled = false;
    panel.barValue = 0;
    panel.textBack = playercolor::kGrey;
    panel.textEnabled = false;
    panel.text.clear();
    Refresh();
}

bool PlayerEngine::HoldsUnloadedTimeCheck(int player) const {
    const auto slot = static_cast<std::size_t>(player - 1);
    return IsTimeCheck(Element(HeldElement[slot])) && !TimeCheckLoaded[slot];
}

void PlayerEngine::ShowPlayerName(int player) {
    const auto slot = static_cast<std::size_t>(player - 1);
    PanelLook& panel = m_display.panels[slot];
    if (IsTimeCheck(Element(HeldElement[slot]))) {
        panel.text = QStringLiteral("Time Check");
    } else if (Player(player).ReadyState() == media::kReadyComplete) {
        panel.text = FormatElementName(Player(player).FileName());
    }
}

void PlayerEngine::ShowPlayerElement(int player) {
    const auto slot = static_cast<std::size_t>(player - 1);
    MediaPlayer& control = Player(player);
    QString name;
    double length = 0;
    if (HoldsUnloadedTimeCheck(player)) {
        // Its file is chosen only when it starts; there is nothing to wait for.
        name = QStringLiteral("Time Check");
    } else if (!WaitUntil([&control] { return control.ReadyState() == media::kReadyComplete; },
                          MaxPolls)) {
        name = QStringLiteral("Error");
    } else {
        name = IsTimeCheck(Element(HeldElement[slot])) ? QStringLiteral("Time Check")
                                                       : FormatElementName(control.FileName());
        length = control.Duration();
    }
    PanelLook& panel = m_display.panels[slot];
    panel.text = name;
    panel.time = FormatTime(length);
    panel.remaining = FormatTime(length);
    // The waiting look until the element starts.
    panel.frameEnabled = false;
    panel.barValue = 0;
    panel.textEnabled = true;
    panel.textBack = playercolor::kGrey;
    panel.timeColor = playercolor::kDarkGrey;
    panel.remainingColor = playercolor::kDarkGrey;
    Refresh();
}

void PlayerEngine::ShowPlayerTime(int player) {
    const auto slot = static_cast<std::size_t>(player - 1);
    const MediaPlayer& control = Player(player);
    PanelLook& panel = m_display.panels[slot];
    const double length = control.Duration();
    const double position = std::nearbyint(control.CurrentPosition());
    const double remaining = std::floor(length) - position;
    panel.time = FormatTime(length);
    if (remaining > 5) {
        panel.remainingColor = playercolor::kGreen;
    } else if (remaining > 1 && remaining < 5) {
        panel.remainingColor = playercolor::kYellow;
    } else if (remaining <= 1) {
        panel.remainingColor = playercolor::kLightRed;
    }
    if (remaining >= 0) panel.remaining = FormatTime(remaining);
    if (length >= 1) {
        panel.barMax = static_cast<int>(length + 0.55);
        panel.barValue = static_cast<int>(std::max(0.0, position));
    }
    const QString element = Element(HeldElement[slot]);
    m_display.statusElement =
        IsTimeCheck(element) ? FormatTimeCheck(GetFileName(RemoveExtension(control.FileName())))
                             : FormatElementName(control.FileName());
}

void PlayerEngine::ShowPlaylistElements() {
    QStringList names;
    names.reserve(LastElement);
    for (int n = 1; n <= LastElement; ++n)
        names << FormatElementName(Element(n));
    m_display.elementNames = names;
    m_display.highlighted = CurrentElement;
    m_display.playingList = {PlaylistNameShown(ManualMode, PlaylistFileName),
                             ProgramElements.mid(0, LastElement)};
    Refresh();
}

void PlayerEngine::HighlightCurrentElement(int index) {
    m_display.highlighted = index;
    Refresh();
}

// ---------------------------------------------------------------------------
// Shut-down

void PlayerEngine::StopForExit() {
    m_ended = true;
    m_deferred.clear();
    m_asRun.StopAll();
    PlaylistLoaded = false;
    PlayerRunning = false;
    for (int p = 1; p <= 2; ++p) {
        const int state = Player(p).PlayState();
        if (state == media::kPlaying || state == media::kPaused) Player(p).Stop();
    }
}

// ---------------------------------------------------------------------------
// Faults that must not stop the programme

void PlayerEngine::Fault(std::int32_t number, const QString& source, const QString& description,
                         const QString& module, const QString& variable, const QString& data) {
    try {
        LogError(m_session, number, source, description, module, variable, data);
    } catch (const RuntimeError&) {
        // The log has said what it could; the programme goes on regardless.
    }
}

QDateTime PlayerEngine::SwitchTime() const {
    return m_switchAt.isValid() ? m_switchAt : m_session.Time().Now();
}

void PlayerEngine::RetrySilentHour(const QDateTime& now) {
    const bool silent = AutomaticMode && !PlayerRunning && !m_ended;
    if (!silent) {
        m_silentSince = {};
        return;
    }
    if (!m_silentSince.isValid()) {
        m_silentSince = now;
        m_lastRetry = now;
        return;
    }
    // A clock set back must not put the next try off for the difference.
    const qint64 sinceTry = m_lastRetry.secsTo(now);
    if (Busy() || m_readingHour > 0 || (sinceTry >= 0 && sinceTry < RetrySeconds)) return;
    m_lastRetry = now;
    const bool wasQuiet = m_quiet;
    m_quiet = true;
    bool read = false;
    try {
        read = GetCurrentHourPlaylist();
    } catch (const RuntimeError&) {
        read = false;
    }
    m_quiet = wasQuiet;
    if (!read || Ending()) return;
    const QDateTime since = m_silentSince;
    StartPlaylist();
    if (!PlayerRunning) return;
    m_silentSince = {};
    LogEvent(m_session, QStringLiteral("Silence ended after %1 s: playing %2")
                            .arg(std::max<qint64>(0, since.secsTo(now)))
                            .arg(PlaylistFileName));
}

void PlayerEngine::OnCut(int player, const QString& description) {
    // The element the control holds: on air now, or waiting its turn.
    m_asRun.Mark(player, Player(player).ElementId(), asrun::Ending::Failed);
    LogEvent(m_session, QStringLiteral("Program Element ended early (see Error Log)."));
    const QString name = QStringLiteral("MediaPlayer") + QString::number(player);
    Fault(0, name, description, name + QStringLiteral("_Error"), QStringLiteral("Element/FileName"),
          QString::number(CurrentElement) + QStringLiteral(" - ") + Player(player).FileName());
}

// ---------------------------------------------------------------------------
// What the output did

void PlayerEngine::OutputReported(const OutputReport& report) {
    const auto seconds = [](double value, int decimals) {
        return QString::number(value, 'f', decimals);
    };
    switch (report.kind) {
        case OutputReport::SilenceBegan: {
            const bool playing = PlayerRunning && CurrentElement >= 1;
            const QString element =
                playing ? FormatElementName(Element(CurrentElement)).trimmed() : QString();
            const QString what = playing ? element + QStringLiteral(" from ") + PlaylistFileName
                                         : QStringLiteral("no playlist is playing");
            Fault(0, QStringLiteral("AudioEngine"),
                  QStringLiteral("Silence on air for ") + seconds(report.seconds, 0) +
                      QStringLiteral(" s: ") + what,
                  QStringLiteral("SilenceAlarm"), QStringLiteral("Element/Playlist"),
                  QString::number(CurrentElement) + QStringLiteral(" - ") + PlaylistFileName);
            RunSilenceAlarm(report.seconds, element);
            return;
        }
        case OutputReport::SilenceEnded:
            LogEvent(m_session, QStringLiteral("Sound back on air after ") +
                                    seconds(report.seconds, 1) + QStringLiteral(" s of silence"));
            return;
        case OutputReport::Stalled:
            LogEvent(m_session, QStringLiteral("Output stalled for ") + seconds(report.seconds, 1) +
                                    QStringLiteral(" s"));
            return;
        case OutputReport::LateStart:
            LogEvent(m_session, QStringLiteral("Late start: ") + seconds(report.seconds, 3) +
                                    QStringLiteral(" s of silence before the element"));
            return;
        case OutputReport::RecordingFailed:
            LogEvent(m_session, QStringLiteral("Air check stopped: ") + report.text);
            return;
    }
}

void PlayerEngine::RunSilenceAlarm(double seconds, const QString& element) {
    QString command;
    // Read when it is needed, so a command changed in the options counts at once.
    try {
        command = ReadSilenceAlarm(m_session).command;
    } catch (const RuntimeError&) {
    }
    if (command.trimmed().isEmpty() || m_ended) return;
    // On its own, never waited on: the station's own alarm (a mail, a
    // pager, a switch to a backup feed) must not hold up the air.
    auto* process = new QProcess(&m_context);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("SONAVEL_SILENCE_SECONDS"),
                       QString::number(static_cast<qint64>(seconds)));
    environment.insert(QStringLiteral("SONAVEL_ELEMENT"), element);
    environment.insert(QStringLiteral("SONAVEL_PLAYLIST"), PlaylistFileName);
    process->setProcessEnvironment(environment);
    process->setProgram(QStringLiteral("/bin/sh"));
    process->setArguments({QStringLiteral("-c"), command});
    process->setStandardInputFile(QProcess::nullDevice());
    QObject::connect(process, &QProcess::errorOccurred, &m_context,
                     [this, process](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart) return;
                         LogEvent(m_session,
                                  QStringLiteral("Silence Alarm Command could not be started: ") +
                                      process->errorString());
                         process->deleteLater();
                     });
    QObject::connect(process, &QProcess::finished, &m_context,
                     [this, process](int code, QProcess::ExitStatus status) {
                         if (status != QProcess::NormalExit || code != 0) {
                             LogEvent(m_session,
                                      QStringLiteral("Silence Alarm Command failed: ") +
                                          (status == QProcess::NormalExit
                                               ? QStringLiteral("exit status %1").arg(code)
                                               : QStringLiteral("it crashed")));
                         }
                         process->deleteLater();
                     });
    process->start();
}

}  // namespace sonavel
