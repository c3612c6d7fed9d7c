#include "CreatorOptions.h"

#include "CommonModule.h"
#include "ErrorModule.h"
#include "ProgramSettings.h"
#include "TextFile.h"

namespace sonavel {

namespace {

// The switches' keys, in the order of CreatorSwitch.
constexpr std::array<const ProgramField*, kCreatorSwitchCount> kSwitchFields{
    &creatorfield::SaveSettingsOnExit, &creatorfield::DisplaySplash,
    &creatorfield::BackupSavedFiles, &creatorfield::EstimateTime, &creatorfield::IncludeComments};

const ProgramField& FolderField(OptionsFolder folder) {
    return folder == OptionsFolder::Clock ? creatorfield::ClockFolder
                                          : creatorfield::PlaylistFolder;
}

bool SwitchOn(const Session& session, CreatorSwitch which) {
    return std::get<bool>(kSwitchFields[static_cast<std::size_t>(which)]->Get(session));
}

void SetSwitch(Session& session, CreatorSwitch which, bool on) {
    kSwitchFields[static_cast<std::size_t>(which)]->Set(session, on);
}

QString StoredText(const Session& session, const ProgramField& field) {
    return std::get<QString>(field.Get(session));
}

// Only ".m3u" means the other format: whatever else is stored, typed by hand
// or left by an older version, is a Sonavel list.
bool IsM3u(const QString& extension) {
    return extension.compare(QStringLiteral(".m3u"), Qt::CaseInsensitive) == 0;
}

}  // namespace

CreatorOptions::CreatorOptions(Session& session, KeywordModule& keywords, EditorWindow& editor,
                               CreatorOptionsView& view, Hooks hooks)
    : m_session(session),
      m_keywords(keywords),
      m_editor(editor),
      m_view(view),
      m_hooks(std::move(hooks)) {}

void CreatorOptions::Open() {
    ErrorTrap trap(m_session, QStringLiteral("Form_Load"));
    trap.Run([&] {
        trap([&] { WriteRegistry(m_session); });
        trap([&] { ReadCreatorSettings(m_session, SettingsRead::Running); });
    });
    ShowSettings();
}

void CreatorOptions::ShowSettings() {
    CreatorOptionsFields fields;
    fields.m3u = IsM3u(StoredText(m_session, creatorfield::PlaylistExtension));
    if (fields.m3u) SetSwitch(m_session, CreatorSwitch::IncludeComments, false);
    fields.includeCommentsEnabled = !fields.m3u;
    for (std::size_t i = 0; i < kCreatorSwitchCount; ++i)
        fields.switches[i] = SwitchOn(m_session, static_cast<CreatorSwitch>(i));
    m_clockFolder = fields.clockFolder = StoredText(m_session, creatorfield::ClockFolder);
    m_playlistFolder = fields.playlistFolder = StoredText(m_session, creatorfield::PlaylistFolder);
    m_view.ShowFields(fields);
    ClearPending();
    EnableApply(false);
}

void CreatorOptions::ClearPending() {
    m_switches.fill({});
    m_chooseLst = m_chooseM3u = false;
}

void CreatorOptions::EnableApply(bool enabled) {
    m_applyEnabled = enabled;
    m_view.SetApplyEnabled(enabled);
}

const QString& CreatorOptions::FolderText(OptionsFolder folder) const {
    return folder == OptionsFolder::Clock ? m_clockFolder : m_playlistFolder;
}

void CreatorOptions::SwitchClicked(CreatorSwitch which, bool checked) {
    Pending& pending = m_switches[static_cast<std::size_t>(which)];
    pending.turnOn = checked;
    pending.turnOff = !checked;
    EnableApply(true);
}

void CreatorOptions::FormatClicked(bool m3u) {
    m_chooseM3u = m3u;
    m_chooseLst = !m3u;
    EnableApply(true);
}

void CreatorOptions::FolderEdited(OptionsFolder folder, const QString& text) {
    (folder == OptionsFolder::Clock ? m_clockFolder : m_playlistFolder) = text;
    EnableApply(true);
}

void CreatorOptions::Browse(OptionsFolder folder) {
    const QString title = (folder == OptionsFolder::Clock ? QStringLiteral("Set Clock Folder")
                                                          : QStringLiteral("Set Playlist Folder")) +
                          kCrLf + QStringLiteral("Click 'Cancel' to Set Default Location");
    QString chosen = m_session.Dlg().BrowseForFolder(title, m_session.ProgramFolder());
    if (chosen.isEmpty()) chosen = DefaultText(FolderField(folder), m_session);
    (folder == OptionsFolder::Clock ? m_clockFolder : m_playlistFolder) = chosen;
    m_view.ShowFolder(folder, chosen);
    EnableApply(true);
}

bool CreatorOptions::RefusedDuringRun() {
    if (!m_hooks.runInProgress || !m_hooks.runInProgress()) return false;
    // The run reads the folders, the format and the comments switch as it
    // goes; a change now would split the week between two settings.
    ShowInformation(m_session,
                    QStringLiteral("Playlists are being created.") + kCrLf + kCrLf +
                        QStringLiteral("Settings can be changed when the playlists are done."),
                    m_session.FullName());
    return true;
}

bool CreatorOptions::Apply() {
    if (!m_applyEnabled) return true;
    if (RefusedDuringRun()) return false;

    for (std::size_t i = 0; i < kCreatorSwitchCount; ++i) {
        const auto which = static_cast<CreatorSwitch>(i);
        if (m_switches[i].turnOn) SetSwitch(m_session, which, true);
        if (m_switches[i].turnOff) SetSwitch(m_session, which, false);
    }
    const Pending& estimate = m_switches[static_cast<std::size_t>(CreatorSwitch::EstimateTime)];
    if (estimate.turnOn && !m_editor.EditText().isEmpty()) {
        m_editor.EstimateClockTime(EstimateStart::Command);
    } else if (estimate.turnOff) {
        m_editor.SetPreviewHeader(QStringLiteral("Preview: Not Enabled"));
        m_editor.ClearPreview();
    }

    const ProgramField& extension = creatorfield::PlaylistExtension;
    if (m_chooseM3u) {
        extension.Set(m_session, QStringLiteral(".m3u"));
        SetSwitch(m_session, CreatorSwitch::IncludeComments, false);
        m_view.ShowIncludeComments(false, false);
    } else if (m_chooseLst || !IsM3u(StoredText(m_session, extension))) {
        extension.Set(m_session, QStringLiteral(".lst"));
        m_view.ShowIncludeComments(SwitchOn(m_session, CreatorSwitch::IncludeComments), true);
    }

    creatorfield::ClockFolder.Set(m_session, m_clockFolder);
    creatorfield::PlaylistFolder.Set(m_session, m_playlistFolder);
    WriteRegistry(m_session);
    // What was pending is now in effect; a later Apply must not replay it
    // over settings loaded in between.
    ClearPending();
    EnableApply(false);
    return true;
}

void CreatorOptions::ViewSettings() {
    DisplayCurrentSettings(m_session);
}

void CreatorOptions::Load() {
    if (RefusedDuringRun()) return;
    bool stored = false;
    bool loaded = false;
    ErrorTrap trap(m_session, QStringLiteral("commandLoadSavedSettings_Click"));
    trap.Run([&] {
        trap([&] {
            stored = m_session.Store().SectionExists(QString::fromLatin1(kAppName),
                                                     kCreatorSettings.Name());
        });
        if (!stored) return;
        // A running program keeps what it holds when the stored values do
        // not convert; the reader says so itself.
        trap([&] { loaded = ReadCreatorSettings(m_session, SettingsRead::Running); });
    });
    if (!stored) {
        ShowInformation(m_session,
                        QStringLiteral("No settings of ") + m_session.FullName() +
                            QStringLiteral(" are stored, so none were loaded.") + kCrLf + kCrLf +
                            QStringLiteral("The settings in use stay as they are; 'Apply' "
                                           "stores them."),
                        m_session.FullName());
        return;
    }
    if (loaded) ShowSettings();
}

void CreatorOptions::Delete() {
    if (RefusedDuringRun()) return;
    // Both programs warn in the same words.
    if (!ConfirmDeleteAllSettings(m_session)) return;

    bool closed = false;
    ResetHooks hooks;
    hooks.readSettings = [this] { return ReadCreatorSettings(m_session, SettingsRead::Running); };
    hooks.clearKeywordPanes = m_hooks.clearKeywordPanes;
    hooks.afterDefaults = [&] {
        closed = true;
        if (m_hooks.closeWindow) m_hooks.closeWindow();
    };
    DeleteRegistry(m_session, hooks);
    if (!closed) EnableApply(true);
}

}  // namespace sonavel
