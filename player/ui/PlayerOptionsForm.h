#pragma once

#include "PlayerOptions.h"

#include <QWidget>
#include <functional>
#include <vector>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace sonavel {

class AudioEngine;
class MainWindow;
class PlayerEngine;
class Session;
class Streaming;

// "Sonavel Player Options": Player's switches, folders and logs, and the
// maintenance of the stored settings. Modeless and owned by the main window,
// which it shows again when it goes. The work is PlayerOptions'; this window
// only shows and collects.
class PlayerOptionsForm final : public QWidget {
    Q_OBJECT
  public:
    // `audio` is the engine the programme sounds through, moved by the sound
    // output page, and `streaming` the stream to listeners; without them those
    // pages only store the choice.
    PlayerOptionsForm(Session& session, PlayerEngine& engine, MainWindow& mainWindow,
                      QWidget* parent, AudioEngine* audio = nullptr,
                      Streaming* streaming = nullptr);

    // A further page after the five of the window: `apply` runs at Apply and
    // OK, before the settings are stored.
    void AddPage(QWidget* page, const QString& caption, std::function<void()> apply);
    // The same for a page with a changed() signal and an Apply() method.
    template <class Page>
    void AddPage(Page* page, const QString& caption) {
        AddPage(page, caption, [page] { page->Apply(); });
        connect(page, &Page::changed, this, &PlayerOptionsForm::EnableApply);
    }

    void EnableApply();
    const PlayerOptions& Options() const { return m_options; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildGeneral();
    void BuildFolder();
    void BuildLogFiles();
    void BuildMediaPlayer();
    void BuildAdvanced();
    // The pages other parts of the program add to this window.
    void AddExtraPages();
    void Show(const PlayerOptions::View& view);
    QCheckBox* Check(QWidget* parent, const char* name, const QString& caption,
                     PlayerOptions::Box box, const QString& tip = {});

    void commandApply_Click();
    void commandOK_Click();
    void commandCancel_Click();
    void commandBrowse_Click(PlayerOptions::Folder folder);
    void commandSetProgramLog_Click();
    void commandSetErrorLogFile_Click();
    void commandViewCurrentSettings_Click();
    void commandDeleteSettings_Click();

    Session& m_session;
    PlayerEngine& m_engine;
    AudioEngine* m_audio;
    Streaming* m_streaming;
    MainWindow& m_mainWindow;
    PlayerOptions m_options;
    std::vector<std::function<void()>> m_pageApplies;

    QTabWidget* m_tabs = nullptr;
    QCheckBox* m_checkMode = nullptr;
    QCheckBox* m_checkDisplaySplash = nullptr;
    QCheckBox* m_checkSaveSettingsOnExit = nullptr;
    QCheckBox* m_checkEnableErrorLogging = nullptr;
    QCheckBox* m_checkEnableProgramLogging = nullptr;
    QCheckBox* m_checkSynchronousOperation = nullptr;
    QLineEdit* m_textPlaylistFolder = nullptr;
    QLineEdit* m_textTimeCheckFolder = nullptr;
    QLineEdit* m_textProgramLogFile = nullptr;
    QLineEdit* m_textErrorLogFile = nullptr;
    QPushButton* m_commandApply = nullptr;
    bool m_showing = false;  // the window fills its controls; nothing is a change
};

}  // namespace sonavel
