#pragma once

#include "ClockModule.h"
#include "Dialogs.h"
#include "EditorWindow.h"
#include "KeywordModule.h"
#include "Session.h"

namespace sonavel {

// The file commands of the clock editor: new, open, the default clock, save,
// save as, recent files, stepping through the hourly clocks, printing. Works
// on the window through EditorWindow, so it runs in tests without one.
class ClockEditor {
  public:
    ClockEditor(Session& session, KeywordModule& keywords, ClockModule& clocks,
                EditorWindow& window)
        : m_session(session), m_keywords(keywords), m_clocks(clocks), m_window(window) {}

    // Commands of the menus and the toolbar.
    void NewClock();
    void OpenClockCommand();
    void OpenDefaultClockCommand();
    void SaveClock();
    // True when the pane was written to the file the operator chose.
    bool SaveClockAs();
    void SaveAsDefaultClockCommand();
    // caption: the recent-file entry's caption ("&1 /path/Mon0700.clk").
    void OpenRecentFile(const QString& caption);
    void PreviousClock();
    void NextClock();
    void PrintFile();

    // Start-up: the default clock into the edit pane; true when it is there.
    bool LoadDefaultClock();
    bool SaveDefaultClock();
    void OpenClockFile(const QString& path);
    void LoadClockFile(const QString& path);
    // Asks whether to save unsaved changes; No without asking when saved.
    MsgResult FileNotSavedPrompt();
    // The question before the pane's clock is left, with Yes saving through
    // Save As. False when nothing may go on: Cancel, or a Save As that was
    // cancelled or failed, so the unsaved edits are still only in the pane.
    bool OfferToSave();

    // The edit pane's change rule; the window calls it on every change.
    void EditChanged();

    // Lines split at CR LF, empty and single-blank lines dropped, each
    // remaining line followed by CR LF.
    static QString CompactEditText(const QString& text);

    // The file the edit header names; empty while the pane shows no file or
    // a new one. Save writes here and nowhere else: "Last File Opened" may
    // name a clock the operator cannot see.
    QString CurrentPath() const { return m_paneFile; }
    // A clock written elsewhere (the hourly slots) becomes the file the pane names.
    void NamePaneFile(const QString& path) {
        m_session.Creator.LastFileOpened = path;
        m_paneFile = path;
    }
    bool Saved = true;
    bool DefaultClockLoaded = false;

  private:
    // Offers to save unsaved changes, then empties the panes; false on Cancel.
    bool LeaveForNoFile();
    bool OpenDialog(QString& path);
    void LoadIntoPane(const QString& path);
    void Write(const QString& path, bool richAllowed, bool backup);
    // Write, telling the operator when it fails; false then.
    bool WriteOrSay(const QString& path, bool richAllowed, bool backup);
    void ShowLoaded(const QString& path);
    void FileNotFound();
    QString PreviewHeader(const QString& what) const;
    void Walk(bool forward);
    // EnableFileCommands, with Save only when the pane names a file.
    void EnableFileCommands();

    Session& m_session;
    KeywordModule& m_keywords;
    ClockModule& m_clocks;
    EditorWindow& m_window;
    QString m_paneFile;
};

}  // namespace sonavel
