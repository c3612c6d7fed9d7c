#pragma once

#include "BackupModule.h"
#include "ClockEditor.h"
#include "ClockEstimate.h"
#include "ClockModule.h"
#include "EditorWindow.h"
#include "HourlyClocks.h"
#include "KeywordModule.h"
#include "RunForms.h"
#include "SchedulerModule.h"
#include "SearchModule.h"
#include "Session.h"
#include "WidgetEntries.h"

#include <QMainWindow>
#include <QPointer>
#include <QSet>
#include <QString>
#include <functional>
#include <memory>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QTextDocument;
class QTextEdit;
class QToolBar;
class QToolButton;

namespace sonavel {

class AboutForm;
class CreatorOptionsForm;
class BackupForm;
class HourReportForm;
class KeywordForm;
class AudioEngine;
class MediaPlayer;
class OpenHourlyClockForm;
class SaveHourlyClockForm;
class SearchForm;
class TextEditSearchPane;

// Creator's main window: the keyword pane to pick from, the clock being
// edited, its preview, and every command of the program. The file commands
// live in ClockEditor, which reaches this window as an EditorWindow.
class CreatorForm final : public QMainWindow, public EditorWindow {
    Q_OBJECT
  public:
    // The audio engine only measures here; the program's composition root owns it.
    CreatorForm(Session& session, KeywordModule& keywords, ClockModule& clocks, AudioEngine& audio,
                QWidget* parent = nullptr);
    ~CreatorForm() override;

    ClockEditor& Editor() { return m_editor; }

    // The playlist generator the Create Playlists command runs; it gets this
    // window's editor and run windows. Without one the command does nothing.
    void SetScheduler(SchedulerModule* scheduler);
    RunDisplay& Display() { return m_runDisplay; }

    // Refills the keyword pane from the store: each keyword on a line of its
    // own, sorted by character code, its estimated time in black and its name
    // in its colour.
    void DisplayKeywordPane();

    // Measures sound-file durations for the keyword window; built on first use.
    MediaPlayer& MediaPlayer1();
    // The About window while it is open, for the shut-down to close it.
    QWidget* AboutWindow() const;
    // The keyword window while it exists.
    KeywordForm* KeywordWindow() const;
    // The options window while it is open.
    CreatorOptionsForm* OptionsWindow() const;
    // The hour report while it is open.
    HourReportForm* HourReportWindow() const;

    // Decides whether the window may close (the shut-down's questions); when
    // unset the window simply closes.
    std::function<bool()> onClose;

    // The system ends the program (a signal): any box left open is closed
    // and the window closes without asking.
    void EndOnSignal();
    bool EndedBySignal() const { return m_endedBySignal; }

    // The keyword line last picked in the keyword pane, ending in CR LF.
    QString PickedKeyword;

    // EditorWindow
    QString EditText() const override;
    void SetEditText(const QString& text) override;
    QByteArray EditRichText() const override;
    bool SetEditRichText(const QByteArray& rtf) override;
    void CaretToStart() override;
    void ClearPreview() override;
    void ShowPreview(const std::vector<PreviewRun>& runs) override;
    QString EditHeader() const override;
    void SetEditHeader(const QString& text) override;
    void SetPreviewHeader(const QString& text) override;
    void SetNeighbourButtons(bool enabled) override;
    void SetFileNamePanel(const QString& text) override;
    void SetEstimatedTimePanel(const QString& text, bool enabled) override;
    void SetFileCommandsEnabled(bool enabled) override;
    void SetSaveEnabled(bool enabled) override;
    void EstimateClockTime(EstimateStart start) override;
    NamedEntries& Entries() override { return m_entries; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // The keyword pane as the keyword code empties it.
    class Pane final : public KeywordPane {
      public:
        explicit Pane(CreatorForm& form) : m_form(form) {}
        void Clear() override;
        void Refill() override;

      private:
        CreatorForm& m_form;
    };

    void BuildMenus();
    void BuildToolbar();
    void BuildPanes();
    void BuildStatusBar();
    QAction* MenuEntry(QMenu* menu, const QString& caption, const QString& name,
                       void (CreatorForm::*handler)(), const QKeySequence& shortcut = {});
    // Every change of a command's state goes through here, so that commands
    // whose windows do not exist yet stay greyed whatever the file commands do.
    void SetCommandEnabled(QAction* action, bool enabled);
    QAction* Command(const QString& name) const;
    void PlaceControls();

    void textKeyword_MouseDown();
    void textKeyword_MouseUp();
    void textKeyword_DblClick();
    void textEdit_SelChange();
    void MediaPlayer1_Error();

    void menuNew_Click();
    void menuOpen_Click();
    void menuOpenDefaultClock_Click();
    void menuSave_Click();
    void menuSaveAs_Click();
    void menuSaveAsDefaultClock_Click();
    void menuPrintSetup_Click();
    void menuPrint_Click();
    void menuExit_Click();
    void menuCut_Click();
    void menuCopy_Click();
    void menuPaste_Click();
    void menuClear_Click();
    void menuSelectAll_Click();
    void menuSetFont_Click();
    void menuHelpTopics_Click();
    void menuAbout_Click();
    void menuAboutMediaPlayerControl_Click();
    void menuCreatePlaylists_Click();
    void menuKeywordMaintenance_Click();
    void KeywordForm_Unload();
    void menuOptions_Click();
    void EstimateTime_Click();
    void menuOpenHourlyClock_Click();
    void menuSaveAsHourlyClock_Click();
    void menuFind_Click();
    void menuFindNext_Click();
    void menuReplace_Click();
    void menuBackup_Click();
    void commandHourReport_Click();

    Session& m_session;
    KeywordModule& m_keywords;
    ClockEditor m_editor;
    ClockEstimate m_estimate{m_session, m_keywords, *this};
    HourlyClocks m_hourly{m_session, m_editor, *this};
    SearchModule m_search{m_session};
    BackupModule m_backup;
    std::unique_ptr<TextEditSearchPane> m_searchPane;
    WidgetEntries m_entries{this};
    Pane m_pane{*this};
    QtRunDisplay m_runDisplay{this};
    SchedulerModule* m_scheduler = nullptr;

    QToolBar* m_toolbar = nullptr;
    QWidget* m_inner = nullptr;
    QLineEdit* m_keywordHeader = nullptr;
    QLineEdit* m_editHeader = nullptr;
    QLineEdit* m_previewHeader = nullptr;
    QToolButton* m_previous = nullptr;
    QToolButton* m_next = nullptr;
    QTextEdit* m_keywordPane = nullptr;
    QTextEdit* m_editPane = nullptr;
    QTextEdit* m_previewPane = nullptr;
    // The preview as last filled, while the pane still shows it.
    QPointer<QTextDocument> m_shownPreview;
    std::vector<PreviewRun> m_previewRuns;
    QLabel* m_fileNamePanel = nullptr;
    QLabel* m_estimatedTimePanel = nullptr;
    AudioEngine& m_audio;
    MediaPlayer* m_mediaPlayer = nullptr;
    QPointer<AboutForm> m_about;
    QPointer<KeywordForm> m_keywordForm;
    QPointer<SaveHourlyClockForm> m_saveHourlyForm;
    QPointer<OpenHourlyClockForm> m_openHourlyForm;
    QPointer<SearchForm> m_searchForm;
    QPointer<CreatorOptionsForm> m_optionsForm;
    QPointer<BackupForm> m_backupForm;
    bool m_endedBySignal = false;
    QPointer<HourReportForm> m_hourReportForm;
};

}  // namespace sonavel
