#include "PlayerModule.h"

#include "ErrorModule.h"
#include "Events.h"
#include "FormatModule.h"
#include "MediaPlayer.h"
#include "Session.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>
#include <cmath>

namespace sonavel {

namespace {

// Preloading only needs to know that a line is a time check somewhere in it;
// starting insists on the line beginning with the command.
bool LoadsAsTimeCheck(const QString& element) {
    return element.toLower().contains(QLatin1String(":timecheck"));
}

bool StartsAsTimeCheck(const QString& element) {
    return element.left(10).toLower().trimmed() == QLatin1String(":timecheck");
}

const QString kAutomaticListEnd =
    QStringLiteral("Error: Last program element reached before end of hour in automatic mode.");
const QString kManualListEnd =
    QStringLiteral("Error: Last program element reached before end of hour in manual mode.");

QString TwoDigits(int value) {
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

}  // namespace

bool PlayerEngine::LoadProgramElement(int index, int player) {
    if (m_ended || index < 1 || index > LastElement) return false;
    const QString element = Element(index);
    HeldElement[player - 1] = index;
    TimeCheckLoaded[player - 1] = false;
    if (LoadsAsTimeCheck(element)) {
        // The announcement depends on the minute it starts in, so it is
        // chosen at play time; the control keeps what it held.
        ShowPlayerElement(player);
        return true;
    }
    MediaPlayer& control = Player(player);
    OpenInto(control, element);
    // A refusal ends the wait at once: waiting on would leave the bound's
    // worth of silence where the list should have moved on.
    const bool ready = WaitUntil(
        [this, &control] {
            return m_ended || control.ErrorCode() != 0 ||
                   (control.IsDurationValid() && control.ReadyState() == media::kReadyComplete);
        },
        MaxPolls);
    if (Refused(control) || !ready || m_ended) return false;
    ShowPlayerElement(player);
    return true;
}

void PlayerEngine::OpenInto(MediaPlayer& control, const QString& path) {
    if (SynchronousOperation) {
        control.SetFileName(path);
    } else {
        control.Open(path);
    }
}

bool PlayerEngine::Refused(MediaPlayer& control) {
    if (control.ErrorCode() == 0) return false;
    // The control's Error report is still queued; it reads the control's
    // file, which the next load would replace, so it is taken now.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    return true;
}

void PlayerEngine::NoticeHourChange(const QTime& now) {
    if (AutomaticMode && PlayerRunning && now.hour() != PlaylistStartHour) {
        HourChangePending = true;
    }
}

void PlayerEngine::OnAir(int player) {
    // Named as the player's panel names it.
    const QString file = Player(player).FileName();
    MediaPlayer& control = Player(player);
    const QString name =
        TimeCheckLoaded[player - 1] ? QStringLiteral("Time Check") : FormatElementName(file);
    m_asRun.Started(player, control.ElementId(), name, file, PlaylistFileName,
                    control.OutputFrame());
    // A control that tells its frames says when the element really sounds;
    // one that cannot is taken at its word now.
    if (ElementStarted && control.OutputFrame() < 0) ElementStarted(name);
}

void PlayerEngine::EndSwitch() {
    ElementChanging = false;
    PostDeferred();
}

bool PlayerEngine::PlayProgramElement(int player) {
    if (m_ended) return false;
    HighlightCurrentElement(CurrentElement);

    if (SkipNextPending) {
        if (CurrentElement + 1 < LastElement) {
            ++CurrentElement;
            while (!LoadProgramElement(CurrentElement, player) && !m_ended &&
                   CurrentElement < LastElement) {
                LogEvent(m_session,
                         QStringLiteral("Program Element Not Found: ") + Element(CurrentElement));
                ++CurrentElement;
            }
        }
        if (CurrentElement + 1 >= LastElement) DisablePlayer(player);
        // Consumed: cancelled outright, whatever happened to the entry while
        // the reload ran.
        SkipNextPending = false;
        ShowNextCommands();
        HighlightCurrentElement(CurrentElement);
        if (m_ended) return false;
    } else if (ExitNextPending) {
        ExitRequested = true;
        return false;
    } else if (PauseNextPending) {
        Paused = true;
    }

    MediaPlayer& control = Player(player);
    const QString element = Element(CurrentElement);
    if (StartsAsTimeCheck(element)) {
        LogEvent(m_session, QStringLiteral("Program Element: Time Check"));
        if (!PlayTimeCheck(player)) {
            Fault(
                0, QStringLiteral("PlayProgramElement"),
                QStringLiteral("Time Check file not found in ") + m_session.Player.TimeCheckFolder);
            return false;
        }
    } else {
        const QString name = FormatElementName(element);
        LogEvent(m_session, QStringLiteral("Program Element: ") + name);
        // A line that merely mentions the command was passed over at preload
        // like a time check, so the control still holds the element before
        // it: playing it would put old audio on air.
        bool playing = false;
        if (!LoadsAsTimeCheck(element)) {
            control.Play();
            EnablePlayer(player);
            playing = WaitUntil(
                [this, &control] {
                    return m_ended || control.PlayState() == media::kPlaying ||
                           control.ErrorCode() != 0;
                },
                MaxPolls);
            if (Refused(control)) playing = false;
            // Shut down while it waited: whatever it was is not reported.
            if (m_ended) return false;
        }
        if (!playing) {
            Fault(0, QStringLiteral("PlayProgramElement"),
                  QStringLiteral("Sound file not found: ") + name);
            return false;
        }
        OnAir(player);
    }

    if (Paused) {
        WaitUntil([&control] { return control.PlayState() == media::kPlaying; }, MaxPolls);
        PauseNow();
    }
    Refresh();
    return true;
}

void PlayerEngine::StartPlaylist() {
    if (m_ended) return;
    if (LastElement <= 0) {
        SetPlayListNotLoaded();
        LogEvent(m_session, QStringLiteral("Playlist not started: it holds no program elements: ") +
                                PlaylistFileName);
        return;
    }
    // A list chosen while another plays must not sound on top of it; pausing
    // raises no end of element, so the old list cannot move the new one on.
    m_asRun.StopAll();
    for (int p = 1; p <= 2; ++p) {
        if (Player(p).PlayState() == media::kPlaying) Player(p).Pause();
    }

    PlaylistStartHour = SwitchTime().time().hour();
    HourEndSeconds = (PlaylistStartHour + 1) * 3600;
    m_display.Command(PlayerCommand::PauseNow).enabled = true;
    m_display.Command(PlayerCommand::SkipNow).enabled = true;

    HourChangePending = false;
    m_haltedForExit = false;
    PlayerRunning = true;
    CurrentElement = 1;
    ShowPlaylistElements();
    ElementChanging = true;

    while (!LoadGuarded(CurrentElement, 1) && !m_ended && CurrentElement < LastElement) {
        LogEvent(m_session,
                 QStringLiteral("Program Element Not Found: ") + Element(CurrentElement));
        ++CurrentElement;
    }
    SwitchTo(1, true);
}

void PlayerEngine::MediaPlayer_PlayStateChange(int player, int OldState, int NewState) {
    if (!PlayerRunning || OldState != media::kPlaying || NewState != media::kStopped) return;
    MediaPlayer& control = Player(player);
    // A report that arrives after the control was started again belongs to
    // what it played before.
    if (control.PlayState() == media::kPlaying) return;
    if (ElementChanging) {
        // An element can end while the switch to it is still preloading (a
        // very short one). Acting now would start a third element on top of
        // the switch; act once the switch is done instead.
        QTimer::singleShot(1, &m_context, [this, player, OldState, NewState] {
            MediaPlayer_PlayStateChange(player, OldState, NewState);
        });
        return;
    }

    Hold hold(*this);
    // What follows starts where the element's last frame sounds, which may be
    // a few hundred milliseconds from now and in the next hour: the hour, its
    // playlist and a time check's minute are those of that moment.
    m_switchAt = m_session.Time().Now().addMSecs(
        static_cast<qint64>(std::lround(control.SecondsToEnd() * 1000.0)));
    struct ClearSwitchTime {
        QDateTime& at;
        ~ClearSwitchTime() { at = {}; }
    } clearSwitchTime{m_switchAt};
    // The end itself tells the hour: a tick that came late, or not at all
    // within the new hour, must not let the old list run on.
    const QTime now = m_switchAt.time();
    NoticeHourChange(now);
    // A flag set for an hour whose list has already started is stale and
    // would drop the list after its first element.
    if (HourChangePending && PlaylistStartHour == now.hour()) HourChangePending = false;
    if (HourChangePending) {
        SetPlayListNotLoaded();
        StartHourPlaylist();
        return;
    }
    // Checked before moving on, so CurrentElement never points past the list.
    if (CurrentElement >= LastElement) {
        EndOfList();
        return;
    }
    ++CurrentElement;
    SwitchTo(3 - player, false);
}

void PlayerEngine::StartHourPlaylist() {
    bool read = false;
    try {
        read = GetCurrentHourPlaylist();
    } catch (const RuntimeError&) {
        // Whatever kept the hour's list from being read, the programme must
        // not stop on it: the hour is tried again while it is silent.
        read = false;
    }
    if (read) {
        StartPlaylist();
    } else if (PlayerRunning) {
        // Nothing plays and nothing will end: the list is gone.
        SetPlayListNotLoaded();
    }
}

void PlayerEngine::EndOfList() {
    if (AutomaticMode) {
        LogEvent(m_session, kAutomaticListEnd);
        StartHourPlaylist();
    } else {
        LogEvent(m_session, kManualListEnd);
        SetPlayListNotLoaded();
    }
}

void PlayerEngine::SwitchTo(int q, bool listStart) {
    const int p = 3 - q;
    ElementChanging = true;
    for (;;) {
        const bool exitDue = ExitNextPending && !SkipNextPending;
        // A fault outside the sound (a log, a folder) passes the element over
        // as a media error would; the switch always comes to its end.
        bool started = false;
        try {
            started = PlayProgramElement(q);
        } catch (const RuntimeError&) {
            started = false;
        }
        if (started) break;
        if (m_ended) {
            EndSwitch();
            return;
        }
        if (exitDue) {
            m_haltedForExit = true;
            EndSwitch();
            Refresh();
            return;
        }
        if (CurrentElement >= LastElement) {
            EndSwitch();
            if (!listStart) {
                EndOfList();
                return;
            }
            // Restarting the same list would fail the same way, and with
            // nothing playing no end of element would ever come to retry it:
            // stop, and say why.
            LogEvent(m_session, ManualMode ? kManualListEnd : kAutomaticListEnd);
            LogEvent(m_session,
                     QStringLiteral("Playlist stopped: none of its program elements can be "
                                    "played: ") +
                         PlaylistFileName);
            SetPlayListNotLoaded();
            return;
        }
        ++CurrentElement;
        LoadGuarded(CurrentElement, q);
        if (CurrentElement + 1 > LastElement) DisablePlayer(listStart ? q : p);
    }

    while (!LoadGuarded(CurrentElement + 1, p) && !m_ended && CurrentElement + 1 < LastElement) {
        ++CurrentElement;
    }
    if (CurrentElement + 1 > LastElement) DisablePlayer(p);
    EndSwitch();
    Refresh();
}

void PlayerEngine::ExitDeclined() {
    // Asking again withdraws a pending exit at the end of the element.
    if (ExitNextPending) ExitNext();
    if (!m_haltedForExit) return;
    m_haltedForExit = false;
    if (!PlayerRunning) return;
    // A due exit stopped the list between two elements; once the operator
    // stays, the element that was due starts, so the station is not left
    // silent with nothing that could ever end and move it on. Past the top
    // of the hour, what is due is the new hour's list.
    NoticeHourChange(m_session.Time().Now().time());
    if (HourChangePending) {
        SetPlayListNotLoaded();
        StartHourPlaylist();
        return;
    }
    SwitchTo(HeldElement[0] == CurrentElement ? 1 : 2, false);
}

bool PlayerEngine::LoadGuarded(int index, int player) {
    try {
        return LoadProgramElement(index, player);
    } catch (const RuntimeError&) {
        return false;
    }
}

bool PlayerEngine::PlayTimeCheck(int player) {
    // Called inside an element switch: leave the switch marked as it was, so
    // an end or a SkipNow arriving during the preload that follows still
    // waits for the switch to finish.
    const bool wasChanging = ElementChanging;
    ElementChanging = true;
    const QTime now = SwitchTime().time();
    const QString file = m_session.Player.TimeCheckFolder + QLatin1Char('/') +
                         TwoDigits(now.hour()) + TwoDigits(now.minute()) + QStringLiteral(".wav");
    if (!QFileInfo(file).isFile()) {
        ElementChanging = wasChanging;
        return false;
    }
    MediaPlayer& control = Player(player);
    OpenInto(control, file);
    const bool ready =
        WaitUntil(
            [&control] {
                return control.ErrorCode() != 0 || control.ReadyState() == media::kReadyComplete;
            },
            MaxPolls) &&
        !Refused(control) && !m_ended;
    if (ready) {
        HeldElement[player - 1] = CurrentElement;
        TimeCheckLoaded[player - 1] = true;
        ShowPlayerElement(player);
        EnablePlayer(player);
        control.Play();
        OnAir(player);
    }
    ElementChanging = wasChanging;
    if (!wasChanging) PostDeferred();
    // A control that never became ready would leave the list waiting for an
    // end that cannot come; report it as a missing announcement instead.
    return ready;
}

}  // namespace sonavel
