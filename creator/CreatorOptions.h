#pragma once

#include "EditorWindow.h"
#include "KeywordModule.h"
#include "Session.h"

#include <QString>
#include <array>
#include <functional>

namespace sonavel {

// The switches of the options window, in the order Apply turns them.
enum class CreatorSwitch {
    SaveSettingsOnExit,
    DisplaySplash,
    BackupSavedFiles,
    EstimateTime,
    IncludeComments
};
inline constexpr std::size_t kCreatorSwitchCount = 5;

enum class OptionsFolder { Clock, Playlist };

// What the options window shows.
struct CreatorOptionsFields {
    std::array<bool, kCreatorSwitchCount> switches{};
    bool includeCommentsEnabled = true;
    bool m3u = false;
    QString clockFolder;
    QString playlistFolder;
};

// The options window as the options code drives it.
class CreatorOptionsView {
  public:
    virtual ~CreatorOptionsView() = default;
    // Refills every control without recording a change.
    virtual void ShowFields(const CreatorOptionsFields& fields) = 0;
    virtual void ShowFolder(OptionsFolder folder, const QString& text) = 0;
    virtual void ShowIncludeComments(bool checked, bool enabled) = 0;
    virtual void SetApplyEnabled(bool enabled) = 0;
};

// Creator's options: changes collected while the window is open and taken
// over only on Apply, the keyword file, and the settings-store maintenance.
// Every setting goes through the Creator settings table.
class CreatorOptions {
  public:
    struct Hooks {
        // A creation run is writing playlists; the settings must hold still.
        std::function<bool()> runInProgress;
        // The keyword definitions were deleted: empty every keyword view.
        std::function<void()> clearKeywordPanes;
        // The defaults were set again: close the options window, show the main one.
        std::function<void()> closeWindow;
    };

    CreatorOptions(Session& session, KeywordModule& keywords, EditorWindow& editor,
                   CreatorOptionsView& view, Hooks hooks);

    // The window opens: the settings in memory go to the store and are read
    // back, the fields show them and nothing is pending.
    void Open();

    // A box or format option was clicked, a folder typed or browsed.
    void SwitchClicked(CreatorSwitch which, bool checked);
    void FormatClicked(bool m3u);
    void FolderEdited(OptionsFolder folder, const QString& text);
    // Cancel in the folder browser sets the folder's default location.
    void Browse(OptionsFolder folder);

    // Takes the pending changes over and writes every Creator setting. False
    // when nothing was applied because a creation run is in progress (the
    // changes stay pending). Does nothing, successfully, while Apply is off.
    bool Apply();

    void ImportKeywords() { m_keywords.ImportKeywordDefinitions(); }
    void ExportKeywords() { m_keywords.ExportKeywordDefinitions(); }
    void ViewSettings();
    // Reads the stored settings again and shows them; pending changes are dropped.
    void Load();
    // The warning, then the reset dialogue.
    void Delete();

    bool ApplyEnabled() const { return m_applyEnabled; }
    // The folder texts as Apply will take them.
    const QString& FolderText(OptionsFolder folder) const;

  private:
    struct Pending {
        bool turnOn = false;
        bool turnOff = false;
    };
    void ShowSettings();
    void ClearPending();
    void EnableApply(bool enabled);
    bool RefusedDuringRun();

    Session& m_session;
    KeywordModule& m_keywords;
    EditorWindow& m_editor;
    CreatorOptionsView& m_view;
    Hooks m_hooks;
    std::array<Pending, kCreatorSwitchCount> m_switches{};
    bool m_chooseLst = false;
    bool m_chooseM3u = false;
    QString m_clockFolder;
    QString m_playlistFolder;
    bool m_applyEnabled = false;
};

}  // namespace sonavel
