#pragma once

#include "Session.h"
#include "SettingsSchema.h"

#include <array>

namespace sonavel {

// The keys of both programs' sections of application "Sonavel": one table
// each, which the defaults, the reading and writing procedures, the options
// windows and the demo station all go through. The tables list the keys in
// the order they are stored; the other program and existing stores rely on
// both the names and that order.
using ProgramField = SettingField<Session>;

namespace playerfield {
inline constexpr ProgramField ProgramLoggingEnabled{
    "Program Logging Enabled", SettingKind::Flag, Fixed("False"),
    Bind<Session>([](auto& s) -> auto& { return s.ProgramLoggingEnabled; })};
inline constexpr ProgramField ProgramLogFileName{
    "Program Log File Name", SettingKind::Text, InProgramFolder("/Logs/Program.log"),
    Bind<Session>([](auto& s) -> auto& { return s.ProgramLogFileName; })};
inline constexpr ProgramField ErrorLogFileName{
    "Error Log File Name", SettingKind::Text, InProgramFolder("/Logs/Error.log"),
    Bind<Session>([](auto& s) -> auto& { return s.ErrorLogFileName; })};
inline constexpr ProgramField ErrorLoggingEnabled{
    "Error Logging Enabled", SettingKind::Flag, Fixed("False"),
    Bind<Session>([](auto& s) -> auto& { return s.ErrorLoggingEnabled; })};
// Error reporting always stays on; the key only keeps its place in the section.
inline constexpr ProgramField SuppressErrorReporting{
    "Suppress Error Reporting", SettingKind::Flag, Fixed("False"), {}, SettingUse::DefaultOnly};
inline constexpr ProgramField Automatic{
    "Automatic", SettingKind::Flag, Fixed("False"),
    Bind<Session>([](auto& s) -> auto& { return s.Player.Automatic; })};
inline constexpr ProgramField Manual{
    "Manual", SettingKind::Flag, Fixed("True"),
    Bind<Session>([](auto& s) -> auto& { return s.Player.Manual; })};
inline constexpr ProgramField SaveSettingsOnExit{
    "Save Settings On Exit", SettingKind::Flag, Fixed("True"),
    Bind<Session>([](auto& s) -> auto& { return s.Player.SaveSettingsOnExit; })};
inline constexpr ProgramField DisplaySplash{
    "Display Splash", SettingKind::Flag, Fixed("True"),
    Bind<Session>([](auto& s) -> auto& { return s.Player.DisplaySplash; })};
// A window never vanishes by a missing or mistyped value.
inline constexpr ProgramField StartHidden{
    "Start Hidden", SettingKind::OnlyTrue, Fixed("False"),
    Bind<Session>([](auto& s) -> auto& { return s.Player.StartHidden; })};
inline constexpr ProgramField PlaylistFolder{
    "Playlist Folder", SettingKind::Text, InProgramFolder("/Playlists"),
    Bind<Session>([](auto& s) -> auto& { return s.Player.PlaylistFolder; })};
inline constexpr ProgramField TimeCheckFolder{
    "Time Check Folder", SettingKind::Text, InProgramFolder("/Time"),
    Bind<Session>([](auto& s) -> auto& { return s.Player.TimeCheckFolder; })};
inline constexpr ProgramField SynchronousOperation{
    "Synchronous Operation", SettingKind::Boolean, Fixed("False"),
    Bind<Session>([](auto& s) -> auto& { return s.Player.SynchronousOperation; })};
inline constexpr ProgramField LastFileSaved{
    "Last File Saved", SettingKind::Text, Fixed(""),
    Bind<Session>([](auto& s) -> auto& { return s.Player.LastFileSaved; })};
inline constexpr ProgramField LastFileOpened{
    "Last File Opened", SettingKind::Text, Fixed(""),
    Bind<Session>([](auto& s) -> auto& { return s.Player.LastFileOpened; })};
inline constexpr ProgramField LastSaveFolder{
    "Last Save Folder", SettingKind::Text, Fixed(""),
    Bind<Session>([](auto& s) -> auto& { return s.Player.LastSaveFolder; })};
inline constexpr ProgramField LastOpenFolder{
    "Last Open Folder", SettingKind::Text, Fixed(""),
    Bind<Session>([](auto& s) -> auto& { return s.Player.LastOpenFolder; })};
inline constexpr ProgramField WindowState{
    "Window State", SettingKind::Int16, Fixed("0"),
    Bind<Session>([](auto& s) -> auto& { return s.Player.Window.WindowState; })};
inline constexpr ProgramField Height{
    "Height", SettingKind::Int32, Fixed("7110"),
    Bind<Session>([](auto& s) -> auto& { return s.Player.Window.Height; })};
inline constexpr ProgramField Width{
    "Width", SettingKind::Int32, Fixed("9360"),
    Bind<Session>([](auto& s) -> auto& { return s.Player.Window.Width; })};
inline constexpr ProgramField PositionLeft{
    "Position Left", SettingKind::Int32, CentredLeft(9375),
    Bind<Session>([](auto& s) -> auto& { return s.Player.Window.PositionLeft; })};
inline constexpr ProgramField PositionTop{
    "Position Top", SettingKind::Int32, CentredTop(6825),
    Bind<Session>([](auto& s) -> auto& { return s.Player.Window.PositionTop; })};
}  // namespace playerfield

namespace creatorfield {
inline constexpr ProgramField SaveSettingsOnExit{
    "Save Settings On Exit", SettingKind::Flag, Fixed("True"),
    Bind<Session>([](auto& s) -> auto& { return s.Creator.SaveSettingsOnExit; })};
inline constexpr ProgramField DisplaySplash{
    "Display Splash", SettingKind::Flag, Fixed("True"),
    Bind<Session>([](auto& s) -> auto& { return s.Creator.DisplaySplash; })};
// The keyword defaults are stored and listed only: a new keyword takes its
// values from the keyword code.
inline constexpr ProgramField KeywordDefaultColor{
    "Keyword Default Color", SettingKind::Text, Fixed("0"),
    Bind<Session>([](auto& s) -> auto& { return s.Creator.KeywordDefaultColor; }),
    SettingUse::WrittenOnly};
inline constexpr ProgramField KeywordDefaultDescription{
    "Keyword Default Description", SettingKind::Text, Fixed("None"),
    Bind<Session>([](auto& s) -> auto& { return s.Creator.KeywordDefaultDescription; }),
    SettingUse::WrittenOnly};
// The keyword window sets the full folder; before it opens there is none,
// and the program folder stands in.
inline constexpr ProgramField KeywordDefaultFolder{
    "Keyword Default Folder",
    SettingKind::Text,
    InProgramFolder(),
    {[](const Session& s) {
         return SettingValue(s.Creator.KeywordDefaultFolder.isEmpty()
                                 ? s.ProgramFolder()
                                 : s.Creator.KeywordDefaultFolder);
     },
     [](Session& s, const SettingValue& value) {
         s.Creator.KeywordDefaultFolder = std::get<QString>(value);
     }},
    SettingUse::WrittenOnly};
inline constexpr ProgramField KeywordDefaultEstimatedTime{
    "Keyword Default Estimated Time", SettingKind::Text, Fixed("1"),
    Bind<Session>([](auto& s) -> auto& { return s.Creator.KeywordDefaultEstimatedTime; }),
    SettingUse::WrittenOnly};
inline constexpr ProgramField KeywordDefaultNotes{
    "Keyword Default Notes", SettingKind::Text, Fixed("None"),
    Bind<Session>([](auto& s) -> auto& { return s.Creator.KeywordDefaultNotes; }),
    SettingUse::WrittenOnly};
inline constexpr ProgramField EstimateTime{
    "Estimate Time", SettingKind::Flag, Fixed("False"),
    Bind<Session>([](auto& s) -> auto& { return s.Creator.EstimateTime; })};
inline constexpr ProgramField LastFileSaved{
    "Last File Saved", SettingKind::Text, Fixed(""),
    Bind<Session>([](auto& s) -> auto& { return s.Creator.LastFileSaved; })};
inline constexpr ProgramField LastFileOpened{
    "Last File Opened", SettingKind::Text, Fixed(""),
    Bind<Session>([](auto& s) -> auto& { return s.Creator.LastFileOpened; })};
inline constexpr ProgramField LastSaveFolder{
    "Last Save Folder", SettingKind::Text, Fixed(""),
    Bind<Session>([](auto& s) -> auto& { return s.Creator.LastSaveFolder; })};
inline constexpr ProgramField LastOpenFolder{
    "Last Open Folder", SettingKind::Text, Fixed(""),
    Bind<Session>([](auto& s) -> auto& { return s.Creator.LastOpenFolder; })};
inline constexpr ProgramField ClockFolder{
    "Clock Folder", SettingKind::Text, InProgramFolder("/Clocks"),
    Bind<Session>([](auto& s) -> auto& { return s.Creator.ClockFolder; })};
inline constexpr ProgramField PlaylistFolder{
    "Playlist Folder", SettingKind::Text, InProgramFolder("/Playlists"),
    Bind<Session>([](auto& s) -> auto& { return s.Creator.PlaylistFolder; })};
inline constexpr ProgramField BackupLocation{
    "Backup Location", SettingKind::Text, InProgramFolder("/Backup"),
    Bind<Session>([](auto& s) -> auto& { return s.Creator.BackupLocation; })};
inline constexpr ProgramField SeparationCharacters{
    "Separation Characters", SettingKind::Text, Fixed(" - "),
    Bind<Session>([](auto& s) -> auto& { return s.Creator.SeparationCharacters; })};
inline constexpr ProgramField PlaylistExtension{
    "Playlist Extension", SettingKind::Text, Fixed(".lst"),
    Bind<Session>([](auto& s) -> auto& { return s.Creator.PlaylistExtension; })};
inline constexpr ProgramField WindowState{
    "Window State", SettingKind::Int16, Fixed("0"),
    Bind<Session>([](auto& s) -> auto& { return s.Creator.Window.WindowState; })};
inline constexpr ProgramField Height{
    "Height", SettingKind::Int32, Fixed("7215"),
    Bind<Session>([](auto& s) -> auto& { return s.Creator.Window.Height; })};
inline constexpr ProgramField Width{
    "Width", SettingKind::Int32, Fixed("5655"),
    Bind<Session>([](auto& s) -> auto& { return s.Creator.Window.Width; })};
inline constexpr ProgramField PositionLeft{
    "Position Left", SettingKind::Int32, CentredLeft(8490),
    Bind<Session>([](auto& s) -> auto& { return s.Creator.Window.PositionLeft; })};
inline constexpr ProgramField PositionTop{
    "Position Top", SettingKind::Int32, CentredTop(6405),
    Bind<Session>([](auto& s) -> auto& { return s.Creator.Window.PositionTop; })};
inline constexpr ProgramField IncludeComments{
    "Include Comments", SettingKind::Flag, Fixed("False"),
    Bind<Session>([](auto& s) -> auto& { return s.Creator.IncludeComments; })};
inline constexpr ProgramField BackupSavedFiles{
    "Backup Saved Files", SettingKind::Flag, Fixed("False"),
    Bind<Session>([](auto& s) -> auto& { return s.Creator.BackupSavedFiles; })};
}  // namespace creatorfield

// One program's section: its name and its keys in stored order.
struct ProgramSection {
    const char* name;
    SettingFields<Session> fields;

    QString Name() const { return QString::fromLatin1(name); }
    // The section's field of that key; nullptr when the section has none.
    const ProgramField* Find(const QString& key) const;
};

inline constexpr std::array<const ProgramField*, 22> kPlayerFields{
    &playerfield::ProgramLoggingEnabled,
    &playerfield::ProgramLogFileName,
    &playerfield::ErrorLogFileName,
    &playerfield::ErrorLoggingEnabled,
    &playerfield::SuppressErrorReporting,
    &playerfield::Automatic,
    &playerfield::Manual,
    &playerfield::SaveSettingsOnExit,
    &playerfield::DisplaySplash,
    &playerfield::StartHidden,
    &playerfield::PlaylistFolder,
    &playerfield::TimeCheckFolder,
    &playerfield::SynchronousOperation,
    &playerfield::LastFileSaved,
    &playerfield::LastFileOpened,
    &playerfield::LastSaveFolder,
    &playerfield::LastOpenFolder,
    &playerfield::WindowState,
    &playerfield::Height,
    &playerfield::Width,
    &playerfield::PositionLeft,
    &playerfield::PositionTop,
};

inline constexpr std::array<const ProgramField*, 24> kCreatorFields{
    &creatorfield::SaveSettingsOnExit,
    &creatorfield::DisplaySplash,
    &creatorfield::KeywordDefaultColor,
    &creatorfield::KeywordDefaultDescription,
    &creatorfield::KeywordDefaultFolder,
    &creatorfield::KeywordDefaultEstimatedTime,
    &creatorfield::KeywordDefaultNotes,
    &creatorfield::EstimateTime,
    &creatorfield::LastFileSaved,
    &creatorfield::LastFileOpened,
    &creatorfield::LastSaveFolder,
    &creatorfield::LastOpenFolder,
    &creatorfield::ClockFolder,
    &creatorfield::PlaylistFolder,
    &creatorfield::BackupLocation,
    &creatorfield::SeparationCharacters,
    &creatorfield::PlaylistExtension,
    &creatorfield::WindowState,
    &creatorfield::Height,
    &creatorfield::Width,
    &creatorfield::PositionLeft,
    &creatorfield::PositionTop,
    &creatorfield::IncludeComments,
    &creatorfield::BackupSavedFiles,
};

inline constexpr ProgramSection kPlayerSettings{kPlayerSection, kPlayerFields};
inline constexpr ProgramSection kCreatorSettings{kCreatorSection, kCreatorFields};

// The running program's own section.
const ProgramSection& OwnSettings(const Session& session);

// The default text of a key of either program.
inline QString DefaultText(const ProgramField& field, const Session& session) {
    return DefaultText(field.byDefault, session);
}

// Stores the in-memory value of one key of the section, as the options
// windows and the single-value setters do. Failures raise StoreFailure.
void WriteSetting(Session& session, const ProgramSection& section, const ProgramField& field);
// Stores a value under the field's key without touching memory.
void WriteSetting(Session& session, const ProgramSection& section, const ProgramField& field,
                  const SettingValue& value);

}  // namespace sonavel
