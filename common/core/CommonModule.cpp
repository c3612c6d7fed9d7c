#include "CommonModule.h"

#include "ErrorModule.h"
#include "ProgramSettings.h"
#include "RecentFiles.h"
#include "RuntimeError.h"
#include "TextFile.h"
#include "Windows.h"

#include <QDir>
#include <QHash>

namespace sonavel {

namespace {

const QString kApp = QString::fromLatin1(kAppName);

// The running program's in-memory settings into its own section, in one save.
void SaveOwnSection(Session& session) {
    const ProgramSection& own = OwnSettings(session);
    session.Store().SaveSettings(kApp, {{own.Name(), StoredRows(own.fields, session)}});
}

// Whether the program saves its settings as it ends; the main window's
// placement is taken into them when it does.
bool TakePlacementToSave(Session& session, const WindowPlacement& mainWindow) {
    const bool player = session.GetProduct() == Product::Player;
    if (!(player ? session.Player.SaveSettingsOnExit : session.Creator.SaveSettingsOnExit))
        return false;
    (player ? session.Player.Window : session.Creator.Window) = mainWindow;
    return true;
}

bool IsConversionFailure(const RuntimeError& error) {
    return error.Number() == err::kTypeMismatch || error.Number() == err::kOverflow;
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

QStringList WorkingFolders(const Session& session) {
    QStringList folders;
    for (const char* name : {"Playlists", "Logs", "Time", "Clocks", "Backup"}) {
        folders << session.ProgramFolder() + QLatin1Char('/') + QLatin1String(name);
    }
    return folders;
}

bool ReadPlayerSettings(Session& session, SettingsRead mode) {
    return ReadOrFirstTimeUse(session, mode, [&] {
        // Read whole and taken over only at the end: a value that does not
        // convert leaves the settings in memory as they were.
        ReadSettingFields(session.Store(), kApp, kPlayerSettings.Name(), kPlayerSettings.fields,
                          session);
    });
}

bool ReadCreatorSettings(Session& session, SettingsRead mode) {
    return ReadOrFirstTimeUse(session, mode, [&] {
        ReadSettingFields(session.Store(), kApp, kCreatorSettings.Name(), kCreatorSettings.fields,
                          session);
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
        QList<SectionRows> repairs;
        for (const ProgramSection* section : {&kPlayerSettings, &kCreatorSettings}) {
            const QString name = section->Name();
            // What the section holds now, with missing keys told apart from
            // keys stored empty: an empty folder or file name is a choice.
            QHash<QString, QString> stored;
            bool known = false;
            trap([&] {
                if (session.Store().SectionExists(kApp, name)) {
                    for (const SettingRow& row : session.Store().GetAllSettings(kApp, name))
                        stored.insert(row.first, row.second);
                }
                known = true;
            });
            // A section that could not be read is left alone rather than
            // taken for empty and written over.
            if (!known) continue;
            QList<SettingRow> rows;
            for (const ProgramField* field : section->fields) {
                const auto it = stored.constFind(field->Key());
                if (it == stored.cend() || !SettingConverts(field->kind, *it))
                    rows.append({field->Key(), DefaultText(*field, session)});
            }
            repairs.append({name, rows});
        }
        repairs.append({QString::fromLatin1(kGlobalSection), {}});
        trap([&] { session.Store().SaveSettings(kApp, repairs); });
    });
}

void SetRegistryDefaults(Session& session) {
    ErrorTrap trap(session, QStringLiteral("SetRegistryDefaults"));
    trap.Run([&] {
        QList<SectionRows> sections;
        for (const ProgramSection* section : {&kPlayerSettings, &kCreatorSettings}) {
            QList<SettingRow> rows;
            for (const ProgramField* field : section->fields) {
                // The running program's estimate flag is written first and the
                // default then overwrites it in place, so "False" is what stays.
                if (field == &creatorfield::EstimateTime)
                    rows.append({field->Key(), field->StoredText(session)});
                rows.append({field->Key(), DefaultText(*field, session)});
            }
            sections.append({section->Name(), rows});
        }
        // Kept as an existing, empty section: the settings viewer lists it
        // like the others instead of reporting it missing.
        sections.append({QString::fromLatin1(kGlobalSection), {}});
        // One save: a store that fails half-way keeps what it held.
        trap([&] { session.Store().SaveSettings(kApp, sections); });
    });
}

void WriteRegistry(Session& session) {
    ErrorTrap trap(session, QStringLiteral("WriteRegistry"));
    trap.Run([&] { trap([&] { SaveOwnSection(session); }); });
}

void DisplayRegistrySection(Session& session, const QString& Section) {
    ErrorTrap trap(session, QStringLiteral("DisplayRegistrySection"), QStringLiteral("Section"),
                   [&] { return Section; });
    trap.Run([&] {
        Windows* windows = session.GetWindows();
        if (!windows) return;
        SettingsViewer& viewer = windows->InfoForm();
        constexpr Color kNavy{0, 0, 128};
        constexpr Color kBlack{0, 0, 0};
        constexpr Color kGreen{0, 128, 0};
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

bool ConfirmDeleteAllSettings(Session& session) {
    const QString prompt =
        QStringLiteral("This action will delete ALL settings for Sonavel stored in the Registry") +
        kCrLf + QStringLiteral("and ALL saved Keyword definitions.") + kCrLf + kCrLf +
        QStringLiteral("Export your Keywords and back up any Clocks before you go on.") + kCrLf +
        kCrLf + QStringLiteral("It is recommended that you uninstall Sonavel using your system's") +
        kCrLf +
        QStringLiteral("software manager and then reinstall after performing this function.") +
        kCrLf + kCrLf + QStringLiteral("Are you sure you want to do this?");
    return session.Dlg().MsgBox(
               prompt, MsgButtons::YesNo, MsgIcon::Critical,
               QStringLiteral("WARNING: You are about to delete ALL settings for Sonavel!"),
               2) == MsgResult::Yes;
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
    if (TakePlacementToSave(session, mainWindow)) WriteRegistry(session);
}

QString SaveSettingsWithoutAsking(Session& session, const WindowPlacement& mainWindow) {
    if (!TakePlacementToSave(session, mainWindow)) return {};
    try {
        SaveOwnSection(session);
        return {};
    } catch (const RuntimeError& error) {
        // The error log hears of it as from the error box; a log without a
        // file would ask for one in a box of its own, so it is left out.
        if (!session.ErrorLogFileName.isEmpty()) {
            LogError(session, error.Number(), error.Source(), error.Description(),
                     QStringLiteral("WriteRegistry"), QStringLiteral("Unknown"),
                     QStringLiteral("Unknown"));
        }
        return QStringLiteral("Error ") + QString::number(error.Number()) + QLatin1Char(' ') +
               error.Description();
    }
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
        const ProgramField& field =
            player ? playerfield::PlaylistFolder : creatorfield::PlaylistFolder;
        QString message;
        if (folder.isEmpty()) {
            folder = DefaultText(field, session);
            message = QStringLiteral("Playlist Folder was set to default location:");
        } else {
            message = player ? QStringLiteral("Playlist Folder has been set and saved:")
                             : QStringLiteral("Playlist has been set and saved:");
        }
        field.Set(session, folder);
        trap([&] { WriteSetting(session, OwnSettings(session), field); });
        trap([&] {
            ShowInformation(session, message + kCrLf + kCrLf + folder, session.FullName());
        });
    });
}

void ShowInformation(Session& session, const QString& Prompt, const QString& Title) {
    session.Dlg().MsgBox(Prompt, MsgButtons::OK, MsgIcon::Information, Title);
}

}  // namespace sonavel
