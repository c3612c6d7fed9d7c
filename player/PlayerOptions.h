#pragma once

#include <QString>
#include <array>
#include <cstddef>
#include <functional>

namespace sonavel {

class PlayerEngine;
class Session;

// Reads the stored settings into a Player that is running. The playlist
// selection mode stays the one the engine runs in: only the options window
// switches modes, because a switch drops the playlist on air. The other
// settings are taken as stored; "Synchronous Operation" applies from the next
// element loaded. False when the stored settings could not be used (memory
// is then unchanged and the operator has been told).
bool RereadPlayerSettings(Session& session, PlayerEngine& engine);

// The options window's work without its widgets: the pending changes of its
// check boxes, the folder choices and Apply.
class PlayerOptions {
  public:
    // The check boxes, each with a pair of pending changes. For the mode box
    // "on" is automatic chosen, "off" manual chosen.
    enum class Box {
        SaveSettingsOnExit,
        DisplaySplash,
        ErrorLogging,
        ProgramLogging,
        Mode,
        Synchronous,
        kCount
    };
    enum class Folder { Playlist, TimeCheck };

    // What the window shows.
    struct View {
        std::array<bool, static_cast<std::size_t>(Box::kCount)> checked{};
        bool errorLoggingAvailable = false;
        bool programLoggingAvailable = false;
        QString playlistFolder;
        QString timeCheckFolder;
        QString programLogFileName;
        QString errorLogFileName;

        bool Checked(Box box) const { return checked[static_cast<std::size_t>(box)]; }
        void SetChecked(Box box, bool on) { checked[static_cast<std::size_t>(box)] = on; }
    };

    PlayerOptions(Session& session, PlayerEngine& engine);

    // The window opens: the store and memory are brought to agree. Nothing
    // is pending: a box acts only once the operator has clicked it. A log
    // whose file name is empty is switched off.
    View Open();

    // A click on a box, which is now checked or not. The box's last click
    // decides; the other change of its pair is withdrawn.
    void Click(Box box, bool checked);
    // The mode was changed outside the window (or by its own Apply, later,
    // or undone by the fallback at a missing playlist): a mode click not yet
    // applied is withdrawn, and memory follows what runs. True when Player
    // now runs in automatic mode, which is what the mode box shows.
    bool FollowRunningMode();
    bool TurnedOn(Box box) const { return m_on[Index(box)]; }
    bool TurnedOff(Box box) const { return m_off[Index(box)]; }

    // The folder browser; a cancelled browse means the default folder. The
    // choice is taken into memory at once, and returned for the text box.
    QString Browse(Folder folder);

    // The four text boxes as the operator left them.
    struct Texts {
        QString playlistFolder;
        QString timeCheckFolder;
        QString programLogFileName;
        QString errorLogFileName;
    };
    // Applies the pending changes and the texts, runs `extra` (the pages
    // other parts of the program add) and stores the settings. The changes
    // are then spent: the next Apply acts only on clicks made after this
    // one. Returns what the window shows afterwards.
    View Apply(const Texts& texts, const std::function<void()>& extra = {});

  private:
    static std::size_t Index(Box box) { return static_cast<std::size_t>(box); }
    View Current() const;

    Session& m_session;
    PlayerEngine& m_engine;
    std::array<bool, static_cast<std::size_t>(Box::kCount)> m_on{};
    std::array<bool, static_cast<std::size_t>(Box::kCount)> m_off{};
};

}  // namespace sonavel
