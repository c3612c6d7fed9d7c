#include "PlayerOptions.h"

#include "CommonModule.h"
#include "ErrorModule.h"
#include "PlayerModule.h"
#include "ProgramSettings.h"
#include "Session.h"
#include "TextFile.h"

#include <QFileInfo>

namespace sonavel {

namespace {

// Memory says what the engine runs in, so that storing it never changes the mode.
void KeepRunningMode(Session& session, const PlayerEngine& engine) {
    session.Player.Automatic = engine.AutomaticMode;
    session.Player.Manual = engine.ManualMode;
}

}  // namespace

bool RereadPlayerSettings(Session& session, PlayerEngine& engine) {
    const bool read = ReadPlayerSettings(session, SettingsRead::Running);
    KeepRunningMode(session, engine);
    engine.SynchronousOperation = session.Player.SynchronousOperation;
    return read;
}

PlayerOptions::PlayerOptions(Session& session, PlayerEngine& engine)
    : m_session(session), m_engine(engine) {}

PlayerOptions::View PlayerOptions::Open() {
    KeepRunningMode(m_session, m_engine);
    WriteRegistry(m_session);
    RereadPlayerSettings(m_session, m_engine);
    // Logging with no file to write to would report every entry as a failure.
    if (m_session.ProgramLogFileName.isEmpty()) m_session.ProgramLoggingEnabled = false;
    if (m_session.ErrorLogFileName.isEmpty()) m_session.ErrorLoggingEnabled = false;
    m_on = {};
    m_off = {};
    return Current();
}

PlayerOptions::View PlayerOptions::Current() const {
    View view;
    const PlayerSettings& p = m_session.Player;
    view.SetChecked(Box::SaveSettingsOnExit, p.SaveSettingsOnExit);
    view.SetChecked(Box::DisplaySplash, p.DisplaySplash);
    view.SetChecked(Box::Synchronous, p.SynchronousOperation);
    view.SetChecked(Box::Mode, m_engine.AutomaticMode);
    view.SetChecked(Box::ErrorLogging, m_session.ErrorLoggingEnabled);
    view.SetChecked(Box::ProgramLogging, m_session.ProgramLoggingEnabled);
    view.errorLoggingAvailable = !m_session.ErrorLogFileName.isEmpty();
    view.programLoggingAvailable = !m_session.ProgramLogFileName.isEmpty();
    view.playlistFolder = p.PlaylistFolder;
    view.timeCheckFolder = p.TimeCheckFolder;
    view.programLogFileName = m_session.ProgramLogFileName;
    view.errorLogFileName = m_session.ErrorLogFileName;
    return view;
}

void PlayerOptions::Click(Box box, bool checked) {
    m_on[Index(box)] = checked;
    m_off[Index(box)] = !checked;
}

bool PlayerOptions::FollowRunningMode() {
    m_on[Index(Box::Mode)] = false;
    m_off[Index(Box::Mode)] = false;
    KeepRunningMode(m_session, m_engine);
    return m_engine.AutomaticMode;
}

QString PlayerOptions::Browse(Folder folder) {
    const bool playlists = folder == Folder::Playlist;
    QString chosen = m_session.Dlg().BrowseForFolder(
        (playlists ? QStringLiteral("Set Playlist Folder")
                   : QStringLiteral("Set Time Check Folder")) +
            kCrLf + QStringLiteral("Click 'Cancel' to Set Default Location"),
        m_session.ProgramFolder());
    if (chosen.isEmpty()) {
        chosen = m_session.ProgramFolder() +
                 (playlists ? QStringLiteral("/Playlists") : QStringLiteral("/Time"));
    }
    (playlists ? m_session.Player.PlaylistFolder : m_session.Player.TimeCheckFolder) = chosen;
    return chosen;
}

PlayerOptions::View PlayerOptions::Apply(const Texts& texts, const std::function<void()>& extra) {
    PlayerSettings& p = m_session.Player;
    const auto pending = [&](Box box, bool& value) {
        if (TurnedOn(box)) value = true;
        if (TurnedOff(box)) value = false;
    };
    pending(Box::SaveSettingsOnExit, p.SaveSettingsOnExit);
    pending(Box::DisplaySplash, p.DisplaySplash);

    if (TurnedOn(Box::ErrorLogging)) {
        m_session.ErrorLoggingEnabled = true;
        LogEvent(m_session, QStringLiteral("Error Logging Enabled"));
    }
    if (TurnedOff(Box::ErrorLogging)) {
        m_session.ErrorLoggingEnabled = false;
        LogEvent(m_session, QStringLiteral("Error Logging Disabled"));
    }
    if (TurnedOn(Box::ProgramLogging)) {
        m_session.ProgramLoggingEnabled = true;
        LogEvent(m_session, QStringLiteral("Program Logging Enabled"));
    }
    if (TurnedOff(Box::ProgramLogging)) {
        m_session.ProgramLoggingEnabled = false;
        LogEvent(m_session, QStringLiteral("Program Logging Disabled"));
    }

    // The folders come before the mode: automatic chosen together with a new
    // folder looks for the hour's playlist there. The list on air plays on;
    // the next hour is read from the new folder.
    p.PlaylistFolder = texts.playlistFolder;
    p.TimeCheckFolder = texts.timeCheckFolder;

    // The box's last click decides; both the engine and memory follow, so
    // what is stored is what runs. The switch may wait for an element change
    // and outlive the window (OK), so it holds no reference to it.
    bool toAutomatic = false;
    Session& session = m_session;
    PlayerEngine& engine = m_engine;
    if (TurnedOff(Box::Mode) && !m_engine.ManualMode) {
        p.Automatic = false;
        p.Manual = true;
        m_engine.RunCommand([&session, &engine] {
            engine.SwitchToManualMode();
            KeepRunningMode(session, engine);
        });
    } else if (TurnedOn(Box::Mode) && !m_engine.AutomaticMode) {
        toAutomatic = true;
        p.Automatic = true;
        p.Manual = false;
        // Cancel at a missing hour playlist goes back to manual; memory follows.
        m_engine.RunCommand([&session, &engine] {
            engine.SwitchToAutomaticMode();
            KeepRunningMode(session, engine);
        });
    }

    // Both copies change; the next element loaded is opened the new way.
    if (TurnedOn(Box::Synchronous)) p.SynchronousOperation = true;
    if (TurnedOff(Box::Synchronous)) p.SynchronousOperation = false;
    m_engine.SynchronousOperation = p.SynchronousOperation;

    m_session.ProgramLogFileName = texts.programLogFileName;
    m_session.ErrorLogFileName = texts.errorLogFileName;
    // A log whose name was emptied is switched off, as when the window opens.
    if (m_session.ProgramLogFileName.isEmpty()) m_session.ProgramLoggingEnabled = false;
    if (m_session.ErrorLogFileName.isEmpty()) m_session.ErrorLoggingEnabled = false;
    // Applied once: a later Apply for some other box must not switch the mode
    // again (dropping the list on air) nor log the same change twice.
    m_on = {};
    m_off = {};

    // The hour switch reports a missing folder itself when it looks there.
    if (!toAutomatic && !QFileInfo(p.PlaylistFolder).isDir()) {
        m_session.Dlg().MsgBox(
            QStringLiteral("The Playlist Folder does not exist:") + kCrLf + kCrLf +
                p.PlaylistFolder + kCrLf + kCrLf +
                QStringLiteral("The playlist on air plays on, but the playlists of the hours to "
                               "come cannot be found until the folder is created or set again."),
            MsgButtons::OK, MsgIcon::Exclamation, QStringLiteral("Sonavel Player"));
    }

    if (extra) extra();
    WriteRegistry(m_session);
    return Current();
}

}  // namespace sonavel
