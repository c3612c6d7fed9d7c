#pragma once

#include "PlayerModule.h"
#include "PlayerStart.h"
#include "Session.h"
#include "WidgetEntries.h"

#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <array>

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QSystemTrayIcon;
class QTextEdit;
class QTimer;
class QToolBar;

namespace sonavel {

class AboutForm;
class PlayerOptionsForm;
class Streaming;
class PlaylistForm;

// Player's main window: the two player panels, the playlist pane, the menus
// and toolbar the operator steers playback with, and the tray icon while the
// window is hidden. It holds no playback logic: commands go to the engine, and
// the engine hands back what to show through Render.
class PlayerForm final : public QMainWindow, public PlayerWindow, public PlayerMainWindow {
    Q_OBJECT
  public:
    // The two players are the composition root's; they outlive the window.
    PlayerForm(Session& session, MediaPlayer* player1, MediaPlayer* player2,
               QWidget* parent = nullptr);
    ~PlayerForm() override;

    MediaPlayer& MediaPlayer1() { return *m_player1; }
    MediaPlayer& MediaPlayer2() { return *m_player2; }

    // The engine is built on this window's players and this window, so it
    // arrives after construction. Until then commands and ticks do nothing.
    void SetEngine(PlayerEngine* engine);
    // The stream to listeners, shown in the status bar and set in the options.
    void SetStreaming(Streaming* streaming);

    // PlayerWindow
    void Render(const PlayerDisplay& display) override;
    NamedEntries& Entries() override { return m_entries; }
    void Unload() override { close(); }

    // PlayerMainWindow
    WindowPlacement Placement() const override;
    void Place(const WindowPlacement& placement) override;
    void ShowSplash() override;
    void ShowMain() override { ShowPlayer(); }
    // Hides to the tray; where the desktop has no tray the window is minimised
    // instead, so there is always a way back.
    void HidePlayer() override;
    void SetTrayTip(const QString& tip) override;
    void SetApplicationLabel(const QString& text) override;

    void ShowPlayer();

    // The shut-down has run: the program is over, whether or not its event
    // loop was running when the operator confirmed.
    bool IsUnloaded() const { return m_unloaded; }
    // The system ends the program (SIGTERM at a shut-down, SIGINT on a
    // terminal): it shuts down as on Exit, without the question nobody is
    // there to answer.
    void EndOnSignal();
    bool EndedBySignal() const { return m_endWithoutAsking; }

    // Whether the maintenance entries are shown; Ctrl+Alt+Shift+F12 in the
    // element list switches them.
    bool MaintenanceEntriesShown() const { return m_maintenanceShown; }

  signals:
    // The shut-down has run and the window is going: the program ends.
    void Unloaded();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct PanelControls {
        QGroupBox* frame = nullptr;
        QLineEdit* text = nullptr;
        QLabel* time = nullptr;
        QLabel* remaining = nullptr;
        QProgressBar* bar = nullptr;
    };

    void BuildMenus();
    void BuildToolbar();
    void BuildPanes();
    void BuildStatusBar();
    void BuildTray();
    QAction* MenuEntry(QMenu* menu, const QString& caption, const QString& name,
                       void (PlayerForm::*handler)());
    void PlaceControls();
    void StorePlacement();

    void RenderElementList(const QStringList& names, int highlighted);
    void RenderCommands(const PlayerDisplay& display);

    // The menu entry (slot 0) or toolbar button (slot 1) of a command.
    void AttachCommand(QAction* action, PlayerCommand command, std::size_t slot);
    void RunCommand(PlayerCommand command);
    void ToggleMaintenanceEntries();
    void TrayActivated(int reason);

    void menuOpenPlaylist_Click();
    void menuViewPlaylist_Click();
    void menuExit_Click();
    void menuHide_Click();
    void menuShow_Click();
    void menuDisplayProgramLog_Click();
    void menuDisplayErrorLog_Click();
    void menuHelpTopics_Click();
    void menuAbout_Click();
    void menuAboutMediaPlayerControl_Click();
    void menuOptions_Click();
    void menuDisplayCurrentSettings_Click();
    void menuLoadSettings_Click();
    void menuDeleteRegistry_Click();
    void menuSuppressErrorReporting_Click();
    void timerDisplay_Timer();

    Session& m_session;
    MediaPlayer* m_player1 = nullptr;
    MediaPlayer* m_player2 = nullptr;
    PlayerEngine* m_engine = nullptr;
    Streaming* m_streaming = nullptr;
    int m_streamListener = 0;
    QLabel* m_statusStream = nullptr;
    WidgetEntries m_entries{this};

    QToolBar* m_toolbar = nullptr;
    QMenu* m_menuControl = nullptr;
    QAction* m_menuShow = nullptr;
    QAction* m_menuExitNow = nullptr;
    QAction* m_menuOpenPlaylist = nullptr;
    QAction* m_menuSuppressErrorReporting = nullptr;
    QList<QAction*> m_maintenanceEntries;
    // Per command, its menu entry and its toolbar button.
    std::array<std::array<QAction*, 2>, static_cast<std::size_t>(PlayerCommand::kCount)>
        m_commands{};

    QWidget* m_inner = nullptr;
    QLabel* m_labelApplication = nullptr;
    QLabel* m_labelMode = nullptr;
    QGroupBox* m_framePlaylist = nullptr;
    QLabel* m_labelPlaylistTime = nullptr;
    QLabel* m_labelPlaylistTimeRemaining = nullptr;
    QProgressBar* m_barPlaylist = nullptr;
    QLineEdit* m_textPlaylist = nullptr;
    QTextEdit* m_textCurrentPlaylist = nullptr;
    QWidget* m_listViewport = nullptr;  // where the element list's clicks arrive
    QPointer<PlaylistForm> m_playlistForm;
    std::array<PanelControls, 2> m_panels{};
    QLabel* m_statusElement = nullptr;
    QLabel* m_statusTime = nullptr;
    QTimer* m_timerDisplay = nullptr;
    QSystemTrayIcon* m_tray = nullptr;
    QPointer<AboutForm> m_about;
    QPointer<PlayerOptionsForm> m_options;

    // What the element list shows, so a tick with the same list only recolours.
    QStringList m_shownElements;
    int m_shownHighlight = -1;
    // The last state the engine asked for; a click on a checkable entry flips
    // it by itself, and this puts it back.
    PlayerDisplay m_lastDisplay;
    bool m_maintenanceShown = false;
    bool m_unloading = false;
    bool m_unloaded = false;
    bool m_closeDue = false;  // the exit that waited for a switch is asked now
    bool m_endWithoutAsking = false;
};

// Player's start-up on this window and engine, then its event loop until the
// window has been unloaded. Returns the loop's result, or the start-up's exit
// status when the program ended before the loop ran.
int RunPlayer(Session& session, PlayerForm& form, PlayerEngine& engine);

}  // namespace sonavel
