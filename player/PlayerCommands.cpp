#include "PlayerModule.h"

#include "ErrorModule.h"
#include "Events.h"
#include "MediaPlayer.h"
#include "RuntimeError.h"
#include "Session.h"

#include <QTimer>
#include <iterator>

namespace sonavel {

namespace {

constexpr PlayerCommand kNextCommands[] = {PlayerCommand::SkipNext, PlayerCommand::PauseNext,
                                           PlayerCommand::ExitNext};

// The Next commands' looks follow their flags: the armed one checked, and
// the others unavailable while one is armed. While paused there is no next
// element to skip or pause, whatever Exit Next does meanwhile.
void ShowNextLooks(PlayerDisplay& display, bool skip, bool pause, bool exit, bool paused) {
    const bool pending[] = {skip, pause, exit};
    for (std::size_t i = 0; i < std::size(kNextCommands); ++i) {
        bool otherPending = false;
        for (std::size_t j = 0; j < std::size(kNextCommands); ++j) {
            if (j != i && pending[j]) otherPending = true;
        }
        CommandLook& look = display.Command(kNextCommands[i]);
        look.checked = pending[i];
        look.enabled = !otherPending;
        if (paused && kNextCommands[i] != PlayerCommand::ExitNext) look.enabled = false;
        if (paused && kNextCommands[i] == PlayerCommand::PauseNext) look.checked = false;
    }
}

// The player whose element is sounding (or, with paused, held), 0 for none;
// player 1 is looked at first.
int ActivePlayer(const PlayerEngine& engine, bool orPaused) {
    for (int p = 1; p <= 2; ++p) {
        const int state = engine.Player(p).PlayState();
        if (state == media::kPlaying || (orPaused && state == media::kPaused)) return p;
    }
    return 0;
}

struct ErrorRow {
    std::int32_t code;
    bool ignoreTimeCheck;
    bool programLog;
};

constexpr ErrorRow kErrorRows[] = {
    {-2147467260, true, false}, {-2147467259, false, true},  {-2147287038, true, true},
    {-2147220970, true, true},  {-2147024882, false, false}, {-2147024809, false, false},
    {-2147023840, true, true},  {-2147023436, false, true},  {1, false, true},
};

}  // namespace

void PlayerEngine::ShowNextCommands() {
    ShowNextLooks(m_display, SkipNextPending, PauseNextPending, ExitNextPending, Paused);
}

void PlayerEngine::RunCommand(std::function<void()> command) {
    if (m_ended) return;
    if (Busy()) {
        m_deferred.push_back(std::move(command));
        return;
    }
    Hold hold(*this);
    command();
}

void PlayerEngine::PostDeferred() {
    if (m_deferred.empty() || m_deferredPosted || m_ended) return;
    m_deferredPosted = true;
    // From the event loop, once whatever ended the wait has returned.
    QTimer::singleShot(0, &m_context, [this] {
        m_deferredPosted = false;
        RunDeferred();
    });
}

void PlayerEngine::RunDeferred() {
    while (!m_ended && !Busy() && !m_deferred.empty()) {
        std::function<void()> command = std::move(m_deferred.front());
        m_deferred.pop_front();
        Hold hold(*this);
        try {
            command();
        } catch (const RuntimeError&) {
            // Reported where it was raised; the next command still runs.
        }
    }
}

void PlayerEngine::Operate(PlayerCommand command) {
    if (command == PlayerCommand::SkipNow && ElementChanging) {
        // The switch already moves the list on: the skip is logged and goes
        // no further, rather than skipping an element not yet heard.
        SkipNow();
        return;
    }
    const bool arm = !m_display.Command(command).checked;
    RunCommand([this, command, arm] {
        switch (command) {
            case PlayerCommand::PauseNow:
                PauseNow();
                break;
            case PlayerCommand::Resume:
                Resume();
                break;
            case PlayerCommand::SkipNow:
                SkipNow();
                break;
            // A pause that came first has taken these two off offer; had the
            // click come after it, it would have found them disabled.
            case PlayerCommand::SkipNext:
                if (SkipNextPending != arm && !(arm && Paused)) SkipNext();
                break;
            case PlayerCommand::PauseNext:
                if (PauseNextPending != arm && !(arm && Paused)) PauseNext();
                break;
            case PlayerCommand::ExitNext:
                if (ExitNextPending != arm) ExitNext();
                break;
            case PlayerCommand::kCount:
                break;
        }
    });
}

void PlayerEngine::SkipNow() {
    LogEvent(m_session, QStringLiteral("Program Element skipped"));
    // The switch under way already moves the list on; a second move would
    // skip an element nobody asked to skip.
    if (ElementChanging) return;
    const int player = ActivePlayer(*this, true);
    if (player == 0) return;
    MediaPlayer& control = Player(player);
    m_asRun.Mark(player, Player(player).ElementId(), asrun::Ending::Skipped);
    control.SetCurrentPosition(control.Duration());
    WaitUntil([&control] { return control.ReadyState() == media::kReadyComplete; }, MaxPolls);
}

void PlayerEngine::SkipNext() {
    // Arming is refused while another Next command is armed: only one of
    // them can act on the next element.
    if (!SkipNextPending && (PauseNextPending || ExitNextPending)) return;
    SkipNextPending = !SkipNextPending;
    ShowNextCommands();
    Refresh();
}

void PlayerEngine::PauseNext() {
    if (!PauseNextPending && (SkipNextPending || ExitNextPending)) return;
    PauseNextPending = !PauseNextPending;
    ShowNextCommands();
    Refresh();
}

void PlayerEngine::ExitNext() {
    if (!ExitNextPending && (SkipNextPending || PauseNextPending)) return;
    ExitNextPending = !ExitNextPending;
    ShowNextCommands();
    Refresh();
}

void PlayerEngine::PauseNow() {
    const int player = ActivePlayer(*this, false);
    if (player == 0) return;
    Paused = true;
    m_display.Command(PlayerCommand::Resume).enabled = true;
    m_display.Command(PlayerCommand::PauseNow).enabled = false;
    m_display.Command(PlayerCommand::PauseNext) = {false, false};
    m_display.Command(PlayerCommand::SkipNow).enabled = false;
    m_display.Command(PlayerCommand::SkipNext).enabled = false;
    Player(player).Pause();
    m_asRun.Paused(player);
    LogEvent(m_session, QStringLiteral("Playlist paused"));
    Refresh();
}

void PlayerEngine::Resume() {
    // Only a pause is resumed: a control left paused by a dropped playlist
    // must stay silent.
    if (!Paused) return;
    for (int p = 1; p <= 2; ++p) {
        if (Player(p).PlayState() != media::kPaused) continue;
        Player(p).Play();
        m_asRun.Resumed(p);
        break;
    }
    Paused = false;
    PauseNextPending = false;
    m_display.Command(PlayerCommand::PauseNow).enabled = true;
    m_display.Command(PlayerCommand::SkipNow).enabled = true;
    m_display.Command(PlayerCommand::Resume).enabled = false;
    ShowNextCommands();
    // A pause that came due before its element sounded leaves nothing paused:
    // the element waiting in player 1 is the one to go on with.
    if (Player(1).ReadyState() == media::kReadyComplete && ActivePlayer(*this, false) == 0) {
        Player(1).Play();
        if (!m_asRun.OnAir(1)) OnAir(1);
    }
    Refresh();
}

void PlayerEngine::ExitNow() {
    m_window.Unload();
}

void PlayerEngine::ClearNextCommands() {
    SkipNextPending = false;
    PauseNextPending = false;
    ExitNextPending = false;
    Paused = false;
    ShowNextCommands();
    m_display.Command(PlayerCommand::Resume).enabled = false;
    Refresh();
}

void PlayerEngine::MediaPlayer_Error(int player) {
    MediaPlayer& control = Player(player);
    // Whether or not the error is one to report, the element on air did not
    // go out as it should.
    m_asRun.Mark(player, control.ElementId(), asrun::Ending::Failed);
    const std::int32_t code = control.ErrorCode();
    const ErrorRow* row = nullptr;
    for (const ErrorRow& candidate : kErrorRows) {
        if (candidate.code == code) row = &candidate;
    }
    if (!row) return;
    const QString description = control.ErrorDescription();
    if (row->ignoreTimeCheck && description.toLower().contains(QLatin1String(":timecheck"))) {
        return;
    }
    if (row->programLog) {
        LogEvent(m_session, QStringLiteral("Program Element not played (see Error Log)."));
    }
    const QString name = QStringLiteral("MediaPlayer") + QString::number(player);
    Fault(0, QString::number(code) + QLatin1Char(' ') + name + QLatin1Char('1'), description,
          name + QStringLiteral("_Error"), QStringLiteral("Element/FileName"),
          QString::number(CurrentElement) + QStringLiteral(" - ") + control.FileName());
}

}  // namespace sonavel
