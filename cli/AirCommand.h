#pragma once

#include "CreateCommand.h"
#include "NamedEntries.h"
#include "PlayerModule.h"
#include "PlayerStart.h"
#include "RecentFiles.h"
#include "StreamTarget.h"

#include <QString>
#include <QTextStream>
#include <chrono>
#include <optional>
#include <vector>

namespace sonavel {

class MediaPlayer;
class Session;

// The Player engine on air without a window. Nobody answers boxes here: an
// hour whose playlist is missing or blank is logged and tried again every few
// seconds, so a server never sits silent behind a box nobody sees.
class AirSession final : private PlayerWindow, private PlayerMainWindow {
  public:
    AirSession(Session& session, MediaPlayer& player1, MediaPlayer& player2);

    // Player's start-up on air: the settings read, "Program Loaded" and the
    // first try at the hour's playlist. False when the run must end, with its
    // exit status.
    bool Start(int& exitCode);
    // The display tick, every 250 ms.
    void Tick();
    // "Program Ended"; nothing plays after it.
    void Stop();

    PlayerEngine& Engine() { return m_engine; }
    // A due Exit Next asked for the end.
    bool EndRequested() const { return m_endRequested; }

  private:
    void Render(const PlayerDisplay&) override {}
    NamedEntries& Entries() override { return m_entries; }
    void Unload() override { m_endRequested = true; }
    WindowPlacement Placement() const override { return {}; }
    void Place(const WindowPlacement&) override {}
    void ShowSplash() override {}
    void ShowMain() override {}
    void SetApplicationLabel(const QString&) override {}
    void HidePlayer() override {}
    void SetTrayTip(const QString&) override {}

    Session& m_session;
    // The menu the Player's window would carry, kept for the engine's recent files.
    MemoryEntries m_entries = RecentFileMenuEntries();
    PlayerEngine m_engine;
    bool m_endRequested = false;
};

struct AirOptions {
    QString capture;     // the air-check recording; none when empty
    double seconds = 0;  // ends after this long; 0 runs until a signal
    // The station and the Player's running-copy lock; the user's when empty.
    std::optional<StationPaths> station;
    QString playerLock;
    // Tests play on a silent output paced in real time.
    bool silentOutput = false;
    // The sound device for this run instead of the stored one.
    std::optional<QString> device;
    // The mounts streamed to in this run instead of the stored stream.
    std::vector<StreamTarget> streams;
    // While Sonavel Player holds the station, try again after this long
    // instead of ending; zero ends at once.
    std::chrono::milliseconds waitForPlayer{0};
};

// Puts the station on air until the time is up or SIGINT, SIGTERM or SIGHUP arrives;
// each program-log line is printed on out as it is written. Returns the exit
// status.
int AirRun(const AirOptions& options, QTextStream& out, QTextStream& err);

}  // namespace sonavel
