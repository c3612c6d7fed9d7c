#include "CommonModule.h"

#include "ErrorModule.h"
#include "RecentFiles.h"
#include "RuntimeError.h"
#include "TextFile.h"
#include "Windows.h"

#include <QDir>
#include <QHash>
#include <QLocale>
#include <cmath>
#include <limits>

namespace sonavel {

namespace {

const QString kApp = QString::fromLatin1(kAppName);
const QString kPlayer = QString::fromLatin1(kPlayerSection);
const QString kCreator = QString::fromLatin1(kCreatorSection);

double ReadNumber(const QString& text) {
    const QString trimmed = text.trimmed();
    bool ok = false;
    double value = QLocale::c().toDouble(trimmed, &ok);
    if (!ok) value = QLocale::system().toDouble(trimmed, &ok);
    if (!ok || !std::isfinite(value)) throw MakeError(err::kTypeMismatch);
    return value;
}

template <typename T>
T ReadInteger(const QString& text) {
    // Ties go to the even neighbour, as the platform's integer conversion does.
    const double rounded = std::nearbyint(ReadNumber(text));
    if (rounded < static_cast<double>(std::numeric_limits<T>::min()) ||
        rounded > static_cast<double>(std::numeric_limits<T>::max())) {
        throw MakeError(err::kOverflow);
    }
    return static_cast<T>(rounded);
}

// A text converted to a Boolean: "True"/"False" in any case, or a number.
bool ReadBoolean(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) return true;
    if (trimmed.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) return false;
    return ReadNumber(trimmed) != 0.0;
}

QString Int(std::int64_t value) {
    return QString::number(value);
}

// The defaults of one section, in the order they are written.
QList<SettingRow> PlayerDefaults(const Session& s) {
    const QString folder = s.ProgramFolder();
    const float left = (static_cast<float>(s.ScreenWidthTwips) - 9375.0f) / 2.0f;
    const float top = (static_cast<float>(s.ScreenHeightTwips) - 6825.0f) / 2.0f;
    return {
        {QStringLiteral("Program Logging Enabled"), QStringLiteral("False")},
        {QStringLiteral("Program Log File Name"), folder + QStringLiteral("/Logs/Program.log")},
        {QStringLiteral("Error Log File Name"), folder + QStringLiteral("/Logs/Error.log")},
        {QStringLiteral("Error Logging Enabled"), QStringLiteral("False")},
        {QStringLiteral("Suppress Error Reporting"), QStringLiteral("False")},
        {QStringLiteral("Automatic"), QStringLiteral("False")},
        {QStringLiteral("Manual"), QStringLiteral("True")},
        {QStringLiteral("Save Settings On Exit"), QStringLiteral("True")},
        {QStringLiteral("Display Splash"), QStringLiteral("True")},
        {QStringLiteral("Start Hidden"), QStringLiteral("False")},
        {QStringLiteral("Playlist Folder"), folder + QStringLiteral("/Playlists")},
        {QStringLiteral("Time Check Folder"), folder + QStringLiteral("/Time")},
        {QStringLiteral("Synchronous Operation"), QStringLiteral("False")},
        {QStringLiteral("Last File Saved"), QString()},
        {QStringLiteral("Last File Opened"), QString()},
        {QStringLiteral("Last Save Folder"), QString()},
        {QStringLiteral("Last Open Folder"), QString()},
        {QStringLiteral("Window State"), QStringLiteral("0")},
        {QStringLiteral("Height"), QStringLiteral("7110")},
        {QStringLiteral("Width"), QStringLiteral("9360")},
        {QStringLiteral("Position Left"), SingleText(left)},
        {QStringLiteral("Position Top"), SingleText(top)},
    };
}

QList<SettingRow> CreatorDefaults(const Session& s) {
    const QString folder = s.ProgramFolder();
    const float left = (static_cast<float>(s.ScreenWidthTwips) - 8490.0f) / 2.0f;
    const float top = (static_cast<float>(s.ScreenHeightTwips) - 6405.0f) / 2.0f;
    return {
        {QStringLiteral("Save Settings On Exit"), QStringLiteral("True")},
        {QStringLiteral("Display Splash"), QStringLiteral("True")},
        {QStringLiteral("Keyword Default Color"), QStringLiteral("0")},
        {QStringLiteral("Keyword Default Description"), QStringLiteral("None")},
        {QStringLiteral("Keyword Default Folder"), folder},
        {QStringLiteral("Keyword Default Estimated Time"), QStringLiteral("1")},
        {QStringLiteral("Keyword Default Notes"), QStringLiteral("None")},
        {QStringLiteral("Estimate Time"), QStringLiteral("False")},
        {QStringLiteral("Last File Saved"), QString()},
        {QStringLiteral("Last File Opened"), QString()},
        {QStringLiteral("Last Save Folder"), QString()},
        {QStringLiteral("Last Open Folder"), QString()},
        {QStringLiteral("Clock Folder"), folder + QStringLiteral("/Clocks")},
        {QStringLiteral("Playlist Folder"), folder + QStringLiteral("/Playlists")},
        {QStringLiteral("Backup Location"), folder + QStringLiteral("/Backup")},
        {QStringLiteral("Separation Characters"), QStringLiteral(" - ")},
        {QStringLiteral("Playlist Extension"), QStringLiteral(".lst")},
        {QStringLiteral("Window State"), QStringLiteral("0")},
        {QStringLiteral("Height"), QStringLiteral("7215")},
        {QStringLiteral("Width"), QStringLiteral("5655")},
        {QStringLiteral("Position Left"), SingleText(left)},
        {QStringLiteral("Position Top"), SingleText(top)},
        {QStringLiteral("Include Comments"), QStringLiteral("False")},
        {QStringLiteral("Backup Saved Files"), QStringLiteral("False")},
    };
}

QList<SettingRow> PlayerCurrent(const Session& s) {
    const PlayerSettings& p = s.Player;
    return {
        {QStringLiteral("Program Logging Enabled"), FlagText(s.ProgramLoggingEnabled)},
        {QStringLiteral("Program Log File Name"), s.ProgramLogFileName},
        {QStringLiteral("Error Log File Name"), s.ErrorLogFileName},
        {QStringLiteral("Error Logging Enabled"), FlagText(s.ErrorLoggingEnabled)},
        {QStringLiteral("Automatic"), FlagText(p.Automatic)},
        {QStringLiteral("Manual"), FlagText(p.Manual)},
        {QStringLiteral("Save Settings On Exit"), FlagText(p.SaveSettingsOnExit)},
        {QStringLiteral("Display Splash"), FlagText(p.DisplaySplash)},
        {QStringLiteral("Start Hidden"), FlagText(p.StartHidden)},
        {QStringLiteral("Playlist Folder"), p.PlaylistFolder},
        {QStringLiteral("Time Check Folder"), p.TimeCheckFolder},
        {QStringLiteral("Synchronous Operation"), FlagText(p.SynchronousOperation)},
        {QStringLiteral("Last File Saved"), p.LastFileSaved},
        {QStringLiteral("Last File Opened"), p.LastFileOpened},
        {QStringLiteral("Last Save Folder"), p.LastSaveFolder},
        {QStringLiteral("Last Open Folder"), p.LastOpenFolder},
        {QStringLiteral("Window State"), Int(p.Window.WindowState)},
        {QStringLiteral("Height"), Int(p.Window.Height)},
        {QStringLiteral("Width"), Int(p.Window.Width)},
        {QStringLiteral("Position Left"), Int(p.Window.PositionLeft)},
        {QStringLiteral("Position Top"), Int(p.Window.PositionTop)},
    };
}

QList<SettingRow> CreatorCurrent(const Session& s) {
    const CreatorSettings& c = s.Creator;
    return {
        {QStringLiteral("Save Settings On Exit"), FlagText(c.SaveSettingsOnExit)},
        {QStringLiteral("Display Splash"), FlagText(c.DisplaySplash)},
        {QStringLiteral("Keyword Default Color"), c.KeywordDefaultColor},
        {QStringLiteral("Keyword Default Description"), c.KeywordDefaultDescription},
        // The keyword window sets the full folder; before it opens there is none.
        {QStringLiteral("Keyword Default Folder"),
         c.KeywordDefaultFolder.isEmpty() ? s.ProgramFolder() : c.KeywordDefaultFolder},
        {QStringLiteral("Keyword Default Estimated Time"), c.KeywordDefaultEstimatedTime},
        {QStringLiteral("Keyword Default Notes"), c.KeywordDefaultNotes},
        {QStringLiteral("Estimate Time"), FlagText(c.EstimateTime)},
        {QStringLiteral("Last File Saved"), c.LastFileSaved},
        {QStringLiteral("Last File Opened"), c.LastFileOpened},
        {QStringLiteral("Last Save Folder"), c.LastSaveFolder},
        {QStringLiteral("Last Open Folder"), c.LastOpenFolder},
        {QStringLiteral("Clock Folder"), c.ClockFolder},
        {QStringLiteral("Playlist Folder"), c.PlaylistFolder},
        {QStringLiteral("Backup Location"), c.BackupLocation},
        {QStringLiteral("Separation Characters"), c.SeparationCharacters},
        {QStringLiteral("Playlist Extension"), c.PlaylistExtension},
        {QStringLiteral("Window State"), Int(c.Window.WindowState)},
        {QStringLiteral("Height"), Int(c.Window.Height)},
        {QStringLiteral("Width"), Int(c.Window.Width)},
        {QStringLiteral("Position Left"), Int(c.Window.PositionLeft)},
        {QStringLiteral("Position Top"), Int(c.Window.PositionTop)},
        {QStringLiteral("Include Comments"), FlagText(c.IncludeComments)},
        {QStringLiteral("Backup Saved Files"), FlagText(c.BackupSavedFiles)},
    };
}

void WriteRows(Session& session, ErrorTrap& trap, const QString& section,
               const QList<SettingRow>& rows) {
    for (const SettingRow& row : rows) {
        trap([&] { session.Store().SaveSetting(kApp, section, row.first, row.second); });
    }
}

void ReadWindow(Session& s, const QString& section, WindowPlacement& window) {
    SettingsStore& st = s.Store();
    window.WindowState = ReadInt16(st.GetSetting(kApp, section, QStringLiteral("Window State")));
    window.PositionLeft = ReadInt32(st.GetSetting(kApp, section, QStringLiteral("Position Left")));
    window.PositionTop = ReadInt32(st.GetSetting(kApp, section, QStringLiteral("Position Top")));
    window.Height = ReadInt32(st.GetSetting(kApp, section, QStringLiteral("Height")));
    window.Width = ReadInt32(st.GetSetting(kApp, section, QStringLiteral("Width")));
}

bool IsConversionFailure(const RuntimeError& error) {
    return error.Number() == err::kTypeMismatch || error.Number() == err::kOverflow;
}

// Whether a stored text is one the reading procedures accept for its key:
// the numbers must convert, and Player's loading mode must be a Boolean.
// Every other key takes any text.
bool Converts(const QString& section, const QString& key, const QString& text) {
    try {
        if (key == QLatin1String("Window State")) {
            ReadInt16(text);
        } else if (key == QLatin1String("Position Left") || key == QLatin1String("Position Top") ||
                   key == QLatin1String("Height") || key == QLatin1String("Width")) {
            ReadInt32(text);
        } else if (section == kPlayer && key == QLatin1String("Synchronous Operation")) {
            ReadBoolean(text);
        }
        return true;
    } catch (const RuntimeError& error) {
        if (!IsConversionFailure(error)) throw;
        return false;
    }
}

// Runs a settings reader; a value that does not convert means the settings
// are missing, and first-time use takes over at start-up. A running program
// never goes there: it keeps what it holds and says why. Failures of the
// store itself are neither: they go to the caller, so that a busy or damaged
// store never has the defaults written over a station's settings.
bool ReadOrFirstTimeUse(Session& session, SettingsRead mode, const std::function<void()>& read) {
    try {
        read();
        return true;
    } catch (const RuntimeError& error) {
        if (!IsConversionFailure(error)) throw;
    }
    if (mode == SettingsRead::Running) {
        ShowInformation(session,
                        QStringLiteral("The stored settings of ") + session.FullName() +
                            QStringLiteral(" are incomplete or damaged, so they were not "
                                           "loaded.") +
                            kCrLf + kCrLf +
                            QStringLiteral("The settings in use stay as they are. Restart ") +
                            session.FullName() + QStringLiteral(" to set up the missing ones."),
                        session.FullName());
        return false;
    }
    FirstTimeUse(session);
    return false;
}

}  // namespace

// ---------------------------------------------------------------------------

QString FlagText(bool value) {
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

bool ReadFlag(const QString& text) {
    return text != QLatin1String("False");
}

std::int16_t ReadInt16(const QString& text) {
    return ReadInteger<std::int16_t>(text);
}

std::int32_t ReadInt32(const QString& text) {
    return ReadInteger<std::int32_t>(text);
}

QString SingleText(float value) {
    return QString::number(value, 'g', 7);
}

QStringList WorkingFolders(const Session& session) {
    QStringList folders;
    for (const char* name : {"Playlists", "Logs", "Time", "Clocks", "Backup"}) {
        folders << session.ProgramFolder() + QLatin1Char('/') + QLatin1String(name);
    }
    return folders;
}

bool ReadPlayerSettings(Session& session, SettingsRead mode) {
    return ReadOrFirstTimeUse(session, mode, [&] {
        SettingsStore& st = session.Store();
        // Read whole into a copy and taken over only at the end: a value that
        // does not convert leaves the settings in memory as they were.
        PlayerSettings p = session.Player;
        auto get = [&](const char* key) {
            return st.GetSetting(kApp, kPlayer, QLatin1String(key));
        };
        p.PlaylistFolder = get("Playlist Folder");
        const QString programLog = get("Program Log File Name");
        const QString errorLog = get("Error Log File Name");
        p.SynchronousOperation = ReadBoolean(get("Synchronous Operation"));
        p.TimeCheckFolder = get("Time Check Folder");
        p.LastFileOpened = get("Last File Opened");
        p.LastFileSaved = get("Last File Saved");
        p.LastOpenFolder = get("Last Open Folder");
        p.LastSaveFolder = get("Last Save Folder");
        ReadWindow(session, kPlayer, p.Window);
        const bool programLogging = ReadFlag(get("Program Logging Enabled"));
        const bool errorLogging = ReadFlag(get("Error Logging Enabled"));
        p.Automatic = ReadFlag(get("Automatic"));
        p.Manual = ReadFlag(get("Manual"));
        p.SaveSettingsOnExit = ReadFlag(get("Save Settings On Exit"));
        p.DisplaySplash = ReadFlag(get("Display Splash"));
        // Loaded so that a station that asked to start hidden gets it, and so
        // that writing the settings back keeps what the operator chose. Only
        // an exact "True" hides: a window never vanishes by a missing value.
        p.StartHidden = get("Start Hidden") == QLatin1String("True");
        session.Player = p;
        session.ProgramLogFileName = programLog;
        session.ErrorLogFileName = errorLog;
        session.ProgramLoggingEnabled = programLogging;
        session.ErrorLoggingEnabled = errorLogging;
    });
}

bool ReadCreatorSettings(Session& session, SettingsRead mode) {
    return ReadOrFirstTimeUse(session, mode, [&] {
        SettingsStore& st = session.Store();
        CreatorSettings c = session.Creator;
        auto get = [&](const char* key) {
            return st.GetSetting(kApp, kCreator, QLatin1String(key));
        };
        c.PlaylistFolder = get("Playlist Folder");
        c.ClockFolder = get("Clock Folder");
        c.PlaylistExtension = get("Playlist Extension");
        c.SeparationCharacters = get("Separation Characters");
        c.LastFileOpened = get("Last File Opened");
        c.LastFileSaved = get("Last File Saved");
        c.LastOpenFolder = get("Last Open Folder");
        c.LastSaveFolder = get("Last Save Folder");
        c.BackupLocation = get("Backup Location");
        ReadWindow(session, kCreator, c.Window);
        c.SaveSettingsOnExit = ReadFlag(get("Save Settings On Exit"));
        c.DisplaySplash = ReadFlag(get("Display Splash"));
        c.IncludeComments = ReadFlag(get("Include Comments"));
        c.BackupSavedFiles = ReadFlag(get("Backup Saved Files"));
        c.EstimateTime = ReadFlag(get("Estimate Time"));
        session.Creator = c;
    });
}

bool ReadSettingsAtStart(Session& session, int& exitCode) {
    exitCode = 0;
    try {
        return session.GetProduct() == Product::Player ? ReadPlayerSettings(session)
                                                       : ReadCreatorSettings(session);
    } catch (const StoreFailure& failure) {
        ShowStoreFailure(session.Dlg(), session.FullName(), failure.Path(), failure.Reason());
    } catch (const RuntimeError& error) {
        ShowStoreFailure(session.Dlg(), session.FullName(), session.Store().Path(),
                         error.Description());
    }
    exitCode = 1;
    return false;
}

void ShowStoreFailure(Dialogs& dialogs, const QString& fullName, const QString& path,
                      const QString& reason) {
    dialogs.MsgBox(QStringLiteral("The settings file cannot be read:") + kCrLf + kCrLf + path +
                       kCrLf + kCrLf + reason + kCrLf + kCrLf + fullName +
                       QStringLiteral(" has left the file as it is and will end. Repair or move "
                                      "the file, then start again."),
                   MsgButtons::OK, MsgIcon::Critical, fullName);
}

void SetMissingRegistryDefaults(Session& session) {
    ErrorTrap trap(session, QStringLiteral("SetRegistryDefaults"));
    trap.Run([&] {
        for (const auto& sectionDefaults : {std::pair{kPlayer, PlayerDefaults(session)},
                                            std::pair{kCreator, CreatorDefaults(session)}}) {
            // Named, not bound: the lambdas below may not capture a structured
            // binding on every compiler the checks run with.
            const QString& section = sectionDefaults.first;
            const auto& defaults = sectionDefaults.second;
            // What the section holds now, with missing keys told apart from
            // keys stored empty: an empty folder or file name is a choice.
            QHash<QString, QString> stored;
            bool known = false;
            trap([&] {
                if (session.Store().SectionExists(kApp, section)) {
                    for (const SettingRow& row : session.Store().GetAllSettings(kApp, section))
                        stored.insert(row.first, row.second);
                }
                known = true;
            });
            // A section that could not be read is left alone rather than
            // taken for empty and written over.
            if (!known) continue;
            QList<SettingRow> repairs;
            for (const SettingRow& row : defaults) {
                const auto it = stored.constFind(row.first);
                if (it == stored.cend() || !Converts(section, row.first, *it)) repairs << row;
            }
            WriteRows(session, trap, section, repairs);
        }
        trap([&] { session.Store().CreateSection(kApp, QString::fromLatin1(kGlobalSection)); });
    });
}

void SetRegistryDefaults(Session& session) {
    ErrorTrap trap(session, QStringLiteral("SetRegistryDefaults"));
    trap.Run([&] {
        WriteRows(session, trap, kPlayer, PlayerDefaults(session));
        for (const SettingRow& row : CreatorDefaults(session)) {
            // The running program's estimate flag is written first and the
            // default then overwrites it in place, so "False" is what stays.
            if (row.first == QLatin1String("Estimate Time")) {
                trap([&] {
                    session.Store().SaveSetting(kApp, kCreator, row.first,
                                                FlagText(session.Creator.EstimateTime));
                });
            }
            trap([&] { session.Store().SaveSetting(kApp, kCreator, row.first, row.second); });
        }
        // Kept as an existing, empty section: the settings viewer lists it
        // like the others instead of reporting it missing.
        trap([&] { session.Store().CreateSection(kApp, QString::fromLatin1(kGlobalSection)); });
    });
}

void WriteRegistry(Session& session) {
    ErrorTrap trap(session, QStringLiteral("WriteRegistry"));
    trap.Run([&] {
        if (session.GetProduct() == Product::Player) {
            WriteRows(session, trap, kPlayer, PlayerCurrent(session));
        } else {
            WriteRows(session, trap, kCreator, CreatorCurrent(session));
        }
    });
}

void DisplayRegistrySection(Session& session, const QString& Section) {
    ErrorTrap trap(session, QStringLiteral("DisplayRegistrySection"), QStringLiteral("Section"),
                   [&] { return Section; });
    trap.Run([&] {
        Windows* windows = session.GetWindows();
        if (!windows) return;
        SettingsViewer& viewer = windows->InfoForm();
        constexpr TextColor kNavy{0, 0, 128};
        constexpr TextColor kBlack{0, 0, 0};
        constexpr TextColor kGreen{0, 128, 0};
        trap([&] { viewer.AppendText(QStringLiteral(" ") + Section + kCrLf + kCrLf, kNavy); });
        QList<SettingRow> rows;
        trap([&] { rows = session.Store().GetAllSettings(kApp, Section); });
        for (const SettingRow& row : rows) {
            trap([&] {
                viewer.AppendText(QStringLiteral(" ") + row.first + QStringLiteral(" = "), kBlack);
            });
            trap([&] { viewer.AppendText(QStringLiteral(" ") + row.second + kCrLf, kGreen); });
        }
        trap([&] { viewer.AppendText(kCrLf, kGreen); });
    });
}

void DisplayCurrentSettings(Session& session) {
    ErrorTrap trap(session, QStringLiteral("DisplayCurrentSettings"));
    trap.Run([&] {
        Windows* windows = session.GetWindows();
        if (!windows) return;
        SettingsViewer& viewer = windows->InfoForm();
        trap([&] { viewer.Load(); });
        trap([&] { viewer.ClearText(); });
        trap([&] { viewer.SetProgramChoice(session.OwnSection()); });
        trap([&] { viewer.ClearText(); });
        trap([&] { DisplayRegistrySection(session, session.OwnSection()); });
        trap([&] { viewer.MoveCaretToTop(); });
    });
}

void DeleteRegistry(Session& session, const ResetHooks& hooks) {
    MsgResult Response = MsgResult::No;
    ErrorTrap trap(session, QStringLiteral("DeleteRegistry"), QStringLiteral("Response"),
                   [&] { return QString::number(static_cast<int>(Response)); });
    trap.Run([&] {
        auto ask = [&](const QString& prompt, const QString& title) {
            trap([&] {
                Response =
                    session.Dlg().MsgBox(prompt, MsgButtons::YesNo, MsgIcon::Question, title, 2);
            });
            return Response != MsgResult::No;
        };
        if (!ask(QStringLiteral(
                     "Are you sure you want to delete ALL Registry settings for Sonavel?"),
                 QStringLiteral("Delete All Registry Settings"))) {
            return;
        }
        trap([&] { session.Store().DeleteApplication(kApp); });
        trap([&] { session.Store().DeleteApplication(QString::fromLatin1(kRecentFilesApp)); });

        const QString allSettings = session.GetProduct() == Product::Creator
                                        ? QStringLiteral("All settings for Sonavel")
                                        : QStringLiteral("All settings for Sonavel ");
        const bool keywordsDeleted = ask(
            allSettings + QStringLiteral("have been deleted from the Registry.") + kCrLf + kCrLf +
                QStringLiteral("Do you now also want to delete ALL saved Keyword definitions?"),
            QStringLiteral("Delete All Keyword Settings"));
        if (keywordsDeleted) {
            trap([&] { session.Store().DeleteApplication(QString::fromLatin1(kKeywordApp)); });
            if (session.GetProduct() == Product::Creator && hooks.clearKeywordPanes) {
                trap([&] { hooks.clearKeywordPanes(); });
            }
        }

        const QString defaultsQuestion =
            QStringLiteral("Do you now want to set the defaults for Sonavel?");
        const QString prompt =
            keywordsDeleted
                ? QStringLiteral("All Keyword definitions have been deleted from the Registry.") +
                      kCrLf + kCrLf + QStringLiteral("You will need to run ") +
                      QStringLiteral("Sonavel Creator") + QStringLiteral(" to create new Keyword") +
                      QStringLiteral(" definitions.") + kCrLf + kCrLf + defaultsQuestion
                : defaultsQuestion;
        if (!ask(prompt, QStringLiteral("Set Default Registry Settings"))) return;

        trap([&] { SetRegistryDefaults(session); });
        if (hooks.readSettings) trap([&] { hooks.readSettings(); });
        if (hooks.afterDefaults) trap([&] { hooks.afterDefaults(); });
    });
}

void FirstTimeUse(Session& session) {
    // Every step runs whatever the previous one did: a folder that exists or
    // cannot be made must not keep the defaults from being written.
    auto ignoring = [](const std::function<void()>& step) {
        try {
            step();
        } catch (const RuntimeError&) {
        }
    };
    const QString product = session.ProductName();
    ignoring([&] {
        ShowInformation(session,
                        QStringLiteral("Welcome to Sonavel ") + product + QStringLiteral("!") +
                            kCrLf + kCrLf +
                            QStringLiteral("Ready to Initialize Program Settings.") + kCrLf +
                            kCrLf + QStringLiteral("Click 'OK' to continue."),
                        QStringLiteral("First Time Use"));
    });
    // Only what is missing or unreadable: one damaged value must not cost a
    // station the rest of its settings, nor the other program's.
    ignoring([&] { SetMissingRegistryDefaults(session); });
    QDir().mkpath(session.ProgramFolder());
    for (const QString& folder : WorkingFolders(session))
        QDir().mkdir(folder);
    ignoring([&] {
        ShowInformation(session,
                        QStringLiteral("Sonavel ") + product +
                            QStringLiteral(" has been successfully installed") + kCrLf + kCrLf +
                            QStringLiteral("Sonavel ") + product +
                            QStringLiteral(" must be restarted before use.") + kCrLf +
                            QStringLiteral("Click 'OK' to end the program. ") +
                            QStringLiteral("You will need to restart it yourself."),
                        product);
    });
}

MsgResult ConfirmExit(Session& session) {
    return session.Dlg().MsgBox(QStringLiteral("Exit ") + session.FullName() + QStringLiteral("?"),
                                MsgButtons::YesNo, MsgIcon::Question, session.FullName(), 2);
}

void SaveSettingsOnExit(Session& session, const WindowPlacement& mainWindow) {
    const bool player = session.GetProduct() == Product::Player;
    if (!(player ? session.Player.SaveSettingsOnExit : session.Creator.SaveSettingsOnExit)) return;
    (player ? session.Player.Window : session.Creator.Window) = mainWindow;
    WriteRegistry(session);
}

void SetPlaylistFolder(Session& session) {
    ErrorTrap trap(session, QStringLiteral("SetPlaylistFolder"));
    trap.Run([&] {
        QString folder;
        trap([&] {
            folder = session.Dlg().BrowseForFolder(
                QStringLiteral("Set Playlist Folder") + kCrLf +
                    QStringLiteral("Click 'Cancel' to Set Default Location"),
                session.ProgramFolder());
        });
        const bool player = session.GetProduct() == Product::Player;
        QString& inMemory = player ? session.Player.PlaylistFolder : session.Creator.PlaylistFolder;
        QString message;
        if (folder.isEmpty()) {
            folder = session.ProgramFolder() + QStringLiteral("/Playlists");
            message = QStringLiteral("Playlist Folder was set to default location:");
        } else {
            message = player ? QStringLiteral("Playlist Folder has been set and saved:")
                             : QStringLiteral("Playlist has been set and saved:");
        }
        inMemory = folder;
        trap([&] {
            session.Store().SaveSetting(kApp, session.OwnSection(),
                                        QStringLiteral("Playlist Folder"), folder);
        });
        trap([&] {
            ShowInformation(session, message + kCrLf + kCrLf + folder, session.FullName());
        });
    });
}

void ShowInformation(Session& session, const QString& Prompt, const QString& Title) {
    session.Dlg().MsgBox(Prompt, MsgButtons::OK, MsgIcon::Information, Title);
}

}  // namespace sonavel
