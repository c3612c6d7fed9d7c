#pragma once

#include "AsRunLog.h"
#include "PlaylistViewer.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTime>
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <utility>
#include <vector>

namespace sonavel {

class MediaPlayer;
class NamedEntries;
struct OutputReport;
class Session;

// A colour as 0xRRGGBB; the engine names colours without the widget toolkit.
using Rgb = std::uint32_t;

// The colours the engine paints with.
namespace playercolor {
constexpr Rgb kWhite = 0xFFFFFF;
constexpr Rgb kGrey = 0xC0C0C0;      // greyed text boxes
constexpr Rgb kDarkGrey = 0x808080;  // waiting time labels, played elements
constexpr Rgb kBlack = 0x000000;
constexpr Rgb kGreen = 0x008000;     // also the countdown above a minute
constexpr Rgb kYellow = 0xFFFF00;    // countdown getting short
constexpr Rgb kLightRed = 0xFF0000;  // countdown nearly out
constexpr Rgb kDarkRed = 0x800000;   // the element playing now
}  // namespace playercolor

// The commands whose enabled and checked state the engine decides; the menu
// entry and the toolbar button of a command always show the same state
// (checked reads as pressed on the toolbar).
enum class PlayerCommand { PauseNow, PauseNext, Resume, SkipNow, SkipNext, ExitNext, kCount };

struct CommandLook {
    bool enabled = true;
    bool checked = false;
};

// One of the two player panels.
struct PanelLook {
    bool frameEnabled = false;
    QString text;  // the element's name
    bool textEnabled = false;
    Rgb textBack = playercolor::kGrey;
    QString time;  // the element's length
    Rgb timeColor = playercolor::kBlack;
    QString remaining;
    Rgb remainingColor = playercolor::kGreen;
    int barMax = 100;
    int barValue = 0;
};

// Everything the engine shows. The engine changes it and hands it to the
// window, which writes to its controls only what differs from what they show,
// so a tick that changes nothing costs nothing.
struct PlayerDisplay {
    // The playlist pane.
    QString mode = QStringLiteral("Automatic Playlist Selection Mode");
    QString playlist = QStringLiteral("No Playlist is Loaded");
    Rgb playlistBack = playercolor::kWhite;
    bool playlistPaneEnabled = true;
    QString playlistTime = QStringLiteral("60:00");
    QString playlistRemaining;
    Rgb playlistRemainingColor = playercolor::kGreen;
    int playlistBarMax = 3600;
    int playlistBarValue = 0;

    std::array<PanelLook, 2> panels;  // player 1, player 2

    // The element list: the display names, and which is playing (1-based;
    // 0 none). Names before it are shown as played.
    QStringList elementNames;
    int highlighted = 0;
    // The list for the playlist viewer; it changes only when a list starts
    // or is dropped.
    PlaylistView playingList;

    QString statusElement;  // status bar panel "Element"
    QString statusTime;     // status bar panel "Time"
    QString trayTip = QStringLiteral("Sonavel Player");

    std::array<CommandLook, static_cast<std::size_t>(PlayerCommand::kCount)> commands;
    bool openPlaylistEnabled = false;

    CommandLook& Command(PlayerCommand c) { return commands[static_cast<std::size_t>(c)]; }
    const CommandLook& Command(PlayerCommand c) const {
        return commands[static_cast<std::size_t>(c)];
    }
};

// What the engine asks of the window it drives. A window draws; a headless
// run implements the same with nothing to draw.
class PlayerWindow {
  public:
    virtual ~PlayerWindow() = default;
    virtual void Render(const PlayerDisplay& display) = 0;
    // The recent-files entries of the File menu.
    virtual NamedEntries& Entries() = 0;
    // Closes the main window, which runs the shut-down with its exit question.
    virtual void Unload() = 0;
};

// The playing engine of Player: the playlist in memory, the two players taking
// turns, the hour change, the operator's commands and the media errors. Members
// keep the names the rest of the system knows them by.
class PlayerEngine {
  public:
    PlayerEngine(Session& session, MediaPlayer& player1, MediaPlayer& player2,
                 PlayerWindow& window);
    PlayerEngine(const PlayerEngine&) = delete;
    PlayerEngine& operator=(const PlayerEngine&) = delete;

    // --- the playlist in memory
    // Element n (1-based) is ProgramElements[n - 1]; only the first
    // LastElement entries count.
    QStringList ProgramElements;
    std::int16_t LastElement = 0;
    std::int16_t CurrentElement = 0;
    QString PlaylistFileName;
    bool AutomaticMode = true;
    bool ManualMode = false;
    bool PlaylistLoaded = false;
    int PlaylistStartHour = 0;
    std::int32_t HourEndSeconds = 0;

    // --- sequencing
    bool PlayerRunning = false;
    bool ElementChanging = false;
    bool HourChangePending = false;
    bool SynchronousOperation = false;
    // The element each player (1, 2) holds: set by LoadProgramElement before
    // it shows the panel, so the panel can name a time check that is not yet
    // loaded. TimeCheckLoaded is set once PlayTimeCheck has given the player
    // its announcement file, and cleared by every other load.
    std::array<int, 2> HeldElement{};
    std::array<bool, 2> TimeCheckLoaded{};

    // --- operator commands
    bool SkipNextPending = false;
    bool PauseNextPending = false;
    bool ExitNextPending = false;
    bool Paused = false;
    bool ExitRequested = false;

    // The element's text, or empty when index is outside 1 .. LastElement.
    QString Element(int index) const;
    const PlayerDisplay& Display() const { return m_display; }
    MediaPlayer& Player(int player) const { return player == 1 ? m_player1 : m_player2; }

    // --- start-up
    // Takes the mode and flags from the settings just read and shows the mode.
    void ApplySettings();

    // --- playlist loading and hour selection
    bool GetCurrentHourPlaylist();
    bool LoadPlaylist();
    void LoadRecentPlaylist(const QString& fileName);
    void SetManualMode();
    // The mode switches of the options window: no question is asked, and the
    // running playlist is dropped. Automatic starts the current hour's
    // playlist at once when it can be read.
    void SwitchToManualMode();
    void SwitchToAutomaticMode();
    // Calls `changed` after every change of the playlist selection mode,
    // whoever made it (a window, the fallback at a missing hour playlist),
    // for as long as `context` lives.
    void WatchMode(QObject* context, std::function<void()> changed);
    void ShowPlaylistStatus();
    // Shows or hides the recent playlists in the File menu.
    void ShowRecentFiles();
    void HideRecentFiles();

    // --- playback sequencing
    bool LoadProgramElement(int index, int player);
    bool PlayProgramElement(int player);
    void StartPlaylist();
    // The end-of-element handlers of player 1 and 2.
    void MediaPlayer_PlayStateChange(int player, int OldState, int NewState);
    void UpdateDisplay();
    void SetPlayListNotLoaded();
    void EnablePlayer(int player);
    void DisablePlayer(int player);
    void ShowPlayerElement(int player);
    void ShowPlayerTime(int player);
    void ShowPlaylistElements();
    void HighlightCurrentElement(int index);

    // --- time checks
    bool PlayTimeCheck(int player);

    // --- operator commands
    void SkipNow();
    void SkipNext();
    void PauseNow();
    void PauseNext();
    void Resume();
    void ExitNext();
    void ExitNow();
    void ClearNextCommands();
    // The operator answered No to the exit question.
    void ExitDeclined();

    // --- the operator's way in
    // A command of the operator runs at once when the engine is idle; while an
    // element switch or another command is under way it waits until that is
    // over, so no command ever acts on a half-made switch. Commands that
    // arrive meanwhile run in the order they came.
    void RunCommand(std::function<void()> command);
    // One of the Control commands as the operator chose it. A Next command
    // does what its entry showed when it was clicked: a click on a checked
    // entry cancels, on an unchecked one arms, whenever it comes to run.
    void Operate(PlayerCommand command);
    // True while a switch or a command is under way.
    bool Busy() const { return ElementChanging || m_holds > 0; }
    // Marks a stretch of work during which operator commands wait.
    class Hold {
      public:
        explicit Hold(PlayerEngine& engine) : m_engine(engine) { ++m_engine.m_holds; }
        ~Hold() {
            --m_engine.m_holds;
            m_engine.PostDeferred();
        }
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

      private:
        PlayerEngine& m_engine;
    };

    // --- media errors
    void MediaPlayer_Error(int player);

    // --- what the output did: silence on air, a stall, a late start, an air
    // check that stopped; logged when it happens.
    void OutputReported(const OutputReport& report);

    // --- shut-down: nothing starts after this, and both players fall silent.
    void StopForExit();
    bool Ended() const { return m_ended; }
    // The program is about to end on its own (a signal): the boxes it closes
    // on its way return as if cancelled, and nothing their answers would
    // start may run.
    void EndComing() { m_endComing = true; }
    // The program is ending, or has ended.
    bool Ending() const { return m_ended || m_endComing; }

    // The longest a poll waits on a player, in passes; tests shorten it.
    int MaxPolls = 10000;
    // Nobody answers boxes: a missing or blank hour playlist is written to
    // the program log and the hour stays silent until it is tried again.
    bool Unattended = false;
    // How often a silent automatic hour is tried again, on the display tick.
    int RetrySeconds = 5;
    // Told the name of each element as it starts to sound, as the as-run
    // log names it (the titles of the stream to listeners).
    std::function<void(const QString& element)> ElementStarted;

  private:
    // The element lines of a playlist file; raises RuntimeError when it
    // cannot be read.
    QStringList ReadPlaylistFile(const QString& path);
    void SetElements(const QStringList& elements);
    // The reading of a playlist the operator chose, by dialog or recent file.
    bool ReadChosenPlaylist(const QString& path, bool remember);
    bool HoldsUnloadedTimeCheck(int player) const;
    // Starts the element at CurrentElement on player q, passing over those
    // that fail, and preloads the next one into the other player. At a
    // list's start a list that cannot play at all is stopped rather than
    // restarted.
    void SwitchTo(int q, bool listStart);
    // Loads as LoadProgramElement does; a fault outside the sound fails the load.
    bool LoadGuarded(int index, int player);
    void StartHourPlaylist();
    void EndOfList();
    void ShowPlayerName(int player);
    void Refresh();
    // Gives the control its file, as the settings say.
    void OpenInto(MediaPlayer& control, const QString& path);
    // A control that has refused its file says so at once; its report is
    // taken before anything else reaches the control, so the logs name the
    // file that failed.
    bool Refused(MediaPlayer& control);
    // In automatic mode the hour change is due as soon as the hour differs
    // from the one the list started in, whoever notices first.
    void NoticeHourChange(const QTime& now);
    // Ends a switch and lets the commands that waited for it run.
    void EndSwitch();
    // The player has started sounding what it holds: the as-run log is told
    // its name and file.
    void OnAir(int player);
    void ShowNextCommands();
    void ModeChanged();
    void PostDeferred();
    void RunDeferred();
    // The error log as the engine writes it: a log that cannot be written
    // must never leave a switch half made, so nothing it raises gets out.
    void Fault(std::int32_t number, const QString& source, const QString& description,
               const QString& module = {}, const QString& variable = {}, const QString& data = {});
    // The moment the element being switched to starts: the last frame of the
    // one that ended is still to sound when its end is reported. The hour,
    // the hour's playlist and a time check's minute are read for it.
    QDateTime SwitchTime() const;
    // An automatic hour without a list is tried again every RetrySeconds
    // while nothing plays, without boxes; the silence is logged when it ends.
    void RetrySilentHour(const QDateTime& now);
    // A control's element ends before its time: named in both logs, and in
    // the as-run log as failed.
    void OnCut(int player, const QString& description);
    void RunSilenceAlarm(double seconds, const QString& element);

    Session& m_session;
    MediaPlayer& m_player1;
    MediaPlayer& m_player2;
    PlayerWindow& m_window;
    PlayerDisplay m_display;
    asrun::Recorder m_asRun;
    int m_secondsRemaining = 3600;  // of the playlist's hour
    bool m_haltedForExit = false;   // a due Exit Next started nothing
    bool m_ended = false;           // "Program Ended": nothing may start again
    bool m_endComing = false;
    int m_holds = 0;
    std::deque<std::function<void()>> m_deferred;
    std::vector<std::pair<QPointer<QObject>, std::function<void()>>> m_modeWatchers;
    bool m_deferredPosted = false;
    QDateTime m_switchAt;     // valid while a switch made at an element's end runs
    QDateTime m_silentSince;  // automatic mode with nothing playing, since
    QDateTime m_lastRetry;
    QString m_lastProblem;  // of the hour's playlist, logged once until it changes
    bool m_quiet = false;   // a retry: no boxes
    int m_readingHour = 0;  // GetCurrentHourPlaylist runs, perhaps behind a box

    // The engine's side of its connections and queued runs: none of them
    // reaches an engine that is gone.
    QObject m_context;
};

}  // namespace sonavel
