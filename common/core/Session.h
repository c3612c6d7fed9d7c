#pragma once

#include "Clock.h"
#include "Dialogs.h"
#include "SettingsStore.h"

#include <QString>
#include <cstdint>
#include <functional>

namespace sonavel {

class Windows;

enum class Product { Player, Creator };

inline constexpr char kAppName[] = "Sonavel";
inline constexpr char kPlayerSection[] = "Player Settings";
inline constexpr char kCreatorSection[] = "Creator Settings";
inline constexpr char kGlobalSection[] = "Global Settings";
inline constexpr char kKeywordApp[] = "Sonavel Keyword Definitions";

// Placement of a main window, in twips, as stored.
struct WindowPlacement {
    std::int16_t WindowState = 0;  // 0 normal, 1 minimised, 2 maximised
    std::int32_t Height = 0;
    std::int32_t Width = 0;
    std::int32_t PositionLeft = 0;
    std::int32_t PositionTop = 0;
};

// In-memory copy of "Player Settings". The logging switches and log names
// live in Session because the common error code of both programs reads them.
struct PlayerSettings {
    bool Automatic = false;
    bool Manual = true;
    bool SaveSettingsOnExit = true;
    bool DisplaySplash = true;
    bool StartHidden = false;
    QString PlaylistFolder;
    QString TimeCheckFolder;
    bool SynchronousOperation = false;
    QString LastFileSaved;
    QString LastFileOpened;
    QString LastSaveFolder;
    QString LastOpenFolder;
    WindowPlacement Window;
};

// In-memory copy of "Creator Settings".
struct CreatorSettings {
    bool SaveSettingsOnExit = true;
    bool DisplaySplash = true;
    QString KeywordDefaultColor = QStringLiteral("0");
    QString KeywordDefaultDescription = QStringLiteral("None");
    // Kept relative to the program folder; WriteRegistry puts the folder back in front.
    QString KeywordDefaultFolder;
    QString KeywordDefaultEstimatedTime = QStringLiteral("1");
    QString KeywordDefaultNotes = QStringLiteral("None");
    bool EstimateTime = false;
    QString LastFileSaved;
    QString LastFileOpened;
    QString LastSaveFolder;
    QString LastOpenFolder;
    QString ClockFolder;
    QString PlaylistFolder;
    QString BackupLocation;
    QString SeparationCharacters = QStringLiteral(" - ");
    QString PlaylistExtension = QStringLiteral(".lst");
    WindowPlacement Window;
    bool IncludeComments = false;
    bool BackupSavedFiles = false;
};

// Program-wide state of the common code: which program runs, where its files
// are, the services it talks to, and the settings it holds in memory. One per
// program, built by the composition root; tests build their own.
class Session {
  public:
    Session(Product product, QString programFolder, SettingsStore& store, Dialogs& dialogs,
            Clock& clock)
        : m_product(product),
          m_programFolder(std::move(programFolder)),
          m_store(store),
          m_dialogs(dialogs),
          m_clock(clock) {}

    Product GetProduct() const { return m_product; }
    // "Player" or "Creator".
    QString ProductName() const;
    // "Sonavel Player" or "Sonavel Creator": message titles and log headers.
    QString FullName() const { return QStringLiteral("Sonavel ") + ProductName(); }
    QString OwnSection() const;
    const QString& ProgramFolder() const { return m_programFolder; }

    SettingsStore& Store() { return m_store; }
    Dialogs& Dlg() { return m_dialogs; }
    const Clock& Time() const { return m_clock; }

    Windows* GetWindows() const { return m_windows; }
    void SetWindows(Windows* windows) { m_windows = windows; }

    // Screen size in twips, from which the default window positions are centred.
    double ScreenWidthTwips = 15360;
    double ScreenHeightTwips = 11520;

    // Logging state, off until the settings are read (and always off in Creator).
    bool ErrorLoggingEnabled = false;
    QString ErrorLogFileName;
    bool ProgramLoggingEnabled = false;
    QString ProgramLogFileName;
    bool SuppressErrorReporting = false;
    // Sees every program-log line as it is written: a run without windows
    // prints the journal as it goes.
    std::function<void(const QString& line)> ProgramLogEcho;
    // Whether the last write of each log failed: a run of failures is told
    // once, at its first, and a write that succeeds again ends the run.
    bool ProgramLogFailing = false;
    bool ErrorLogFailing = false;

    PlayerSettings Player;
    CreatorSettings Creator;

  private:
    Product m_product;
    QString m_programFolder;
    SettingsStore& m_store;
    Dialogs& m_dialogs;
    Clock& m_clock;
    Windows* m_windows = nullptr;
};

}  // namespace sonavel
