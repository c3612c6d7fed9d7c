#include "CommonModule.h"
#include "ErrorNumber.h"
#include "FakeWindows.h"
#include "ProgramSettings.h"
#include "RuntimeError.h"
#include "TempFolder.h"
#include "TextFile.h"

#include <sqlite3.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace sonavel;

namespace {

class CommonModuleTest : public TempFolderTest {
  protected:
    QStringList Keys(const char* section) {
        QStringList keys;
        for (const SettingRow& row : m_store->GetAllSettings("Sonavel", section))
            keys << row.first;
        return keys;
    }
    QString Get(const char* section, const char* key) {
        return m_store->GetSetting("Sonavel", section, key);
    }
    // First start on a fresh system: welcome, defaults, folders, farewell.
    void FirstStart(Session& s) {
        m_dialogs.ExpectMessage("First Time Use").ExpectMessage(s.ProductName());
        const bool read =
            s.GetProduct() == Product::Player ? ReadPlayerSettings(s) : ReadCreatorSettings(s);
        EXPECT_FALSE(read) << "a fresh system must end after first-time use";
    }
};

TEST_F(CommonModuleTest, FirstStartWritesBothProgramsDefaultsInOrderAndEnds) {
    Session& s = MakeSession(Product::Player);
    FirstStart(s);

    const auto messages = m_dialogs.Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].prompt, "Welcome to Sonavel Player!" + kCrLf + kCrLf +
                                      "Ready to Initialize Program Settings." + kCrLf + kCrLf +
                                      "Click 'OK' to continue.");
    EXPECT_EQ(messages[0].icon, MsgIcon::Information);
    EXPECT_EQ(messages[1].prompt, "Sonavel Player has been successfully installed" + kCrLf + kCrLf +
                                      "Sonavel Player must be restarted before use." + kCrLf +
                                      "Click 'OK' to end the program. You will need to restart it "
                                      "yourself.");

    EXPECT_EQ(Keys("Player Settings"),
              QString("Program Logging Enabled|Program Log File Name|Error Log File Name|"
                      "Error Logging Enabled|Suppress Error Reporting|Automatic|Manual|"
                      "Save Settings On Exit|Display Splash|Start Hidden|Playlist Folder|"
                      "Time Check Folder|Synchronous Operation|Last File Saved|Last File Opened|"
                      "Last Save Folder|Last Open Folder|Window State|Height|Width|"
                      "Position Left|Position Top")
                  .split('|'));
    EXPECT_EQ(Keys("Creator Settings"),
              QString("Save Settings On Exit|Display Splash|Keyword Default Color|"
                      "Keyword Default Description|Keyword Default Folder|"
                      "Keyword Default Estimated Time|Keyword Default Notes|Estimate Time|"
                      "Last File Saved|Last File Opened|Last Save Folder|Last Open Folder|"
                      "Clock Folder|Playlist Folder|Backup Location|Separation Characters|"
                      "Playlist Extension|Window State|Height|Width|Position Left|Position Top|"
                      "Include Comments|Backup Saved Files")
                  .split('|'));
    const QString folder = ProgramFolder();
    EXPECT_EQ(Get("Player Settings", "Program Log File Name"), folder + "/Logs/Program.log");
    EXPECT_EQ(Get("Player Settings", "Manual"), "True");
    EXPECT_EQ(Get("Player Settings", "Height"), "7110");
    // Centred on a 15360 x 11520 twip screen, in single precision.
    EXPECT_EQ(Get("Player Settings", "Position Left"), "2992.5");
    EXPECT_EQ(Get("Player Settings", "Position Top"), "2347.5");
    EXPECT_EQ(Get("Creator Settings", "Position Left"), "3435");
    EXPECT_EQ(Get("Creator Settings", "Position Top"), "2557.5");
    EXPECT_EQ(Get("Creator Settings", "Keyword Default Folder"), folder);
    EXPECT_EQ(Get("Creator Settings", "Separation Characters"), " - ");
    EXPECT_EQ(Get("Creator Settings", "Estimate Time"), "False");
    for (const char* sub : {"Playlists", "Logs", "Time", "Clocks", "Backup"}) {
        EXPECT_TRUE(QFileInfo(folder + "/" + sub).isDir()) << sub;
    }

    // The next start reads quietly; half-way positions round to the even neighbour.
    m_dialogs.Clear();
    ASSERT_TRUE(ReadPlayerSettings(s));
    EXPECT_TRUE(m_dialogs.Shown().empty());
    EXPECT_EQ(s.Player.Window.PositionLeft, 2992);
    EXPECT_EQ(s.Player.Window.PositionTop, 2348);
    EXPECT_TRUE(s.Player.Manual);
    EXPECT_FALSE(s.Player.Automatic);
    EXPECT_EQ(s.ErrorLogFileName, folder + "/Logs/Error.log");

    Session creator(Product::Creator, folder, *m_store, m_dialogs, m_clock);
    ASSERT_TRUE(ReadCreatorSettings(creator));
    EXPECT_EQ(creator.Creator.Window.PositionLeft, 3435);
    EXPECT_EQ(creator.Creator.ClockFolder, folder + "/Clocks");
}

TEST_F(CommonModuleTest, StoredTextsDecodeAsThePlatformDid) {
    EXPECT_FALSE(ReadFlag("False"));
    for (const char* text : {"True", "false", "FALSE", "", "0", "False "}) {
        EXPECT_TRUE(ReadFlag(text)) << text;
    }
    EXPECT_EQ(ReadInt16(" 2 "), 2);
    EXPECT_EQ(ReadInt32("2992.5"), 2992);
    EXPECT_EQ(ReadInt32("2347.5"), 2348);
    EXPECT_EQ(ReadInt32("-187.5"), -188);
    EXPECT_EQ(ReadInt16("32767"), 32767);
    EXPECT_EQ(ErrorNumberOf([] { ReadInt16("32768"); }), err::kOverflow);
    EXPECT_EQ(ErrorNumberOf([] { ReadInt32("3000000000"); }), err::kOverflow);
    EXPECT_EQ(ErrorNumberOf([] { ReadInt16(""); }), err::kTypeMismatch);
    EXPECT_EQ(ErrorNumberOf([] { ReadInt32("12px"); }), err::kTypeMismatch);
    EXPECT_EQ(SingleText(2992.5f), "2992.5");
    EXPECT_EQ(SingleText(3435.0f), "3435");
}

TEST_F(CommonModuleTest, DamagedValueRepairsOnlyWhatCannotBeRead) {
    Session& s = MakeSession(Product::Player);
    FirstStart(s);
    m_dialogs.Clear();

    // A flag in another case is simply "on"; nothing is rewritten.
    m_store->SaveSetting("Sonavel", "Player Settings", "Save Settings On Exit", "false");
    ASSERT_TRUE(ReadPlayerSettings(s));
    EXPECT_TRUE(s.Player.SaveSettingsOnExit);

    // A station's own choices, in both programs, and some damage among them.
    m_store->SaveSetting("Sonavel", "Creator Settings", "Clock Folder", "/mine");
    m_store->SaveSetting("Sonavel", "Creator Settings", "Playlist Folder", "/air/out");
    m_store->SaveSetting("Sonavel", "Creator Settings", "Height", "tall");
    m_store->SaveSetting("Sonavel", "Player Settings", "Playlist Folder", "/air/in");
    m_store->SaveSetting("Sonavel", "Player Settings", "Error Log File Name", "");
    m_store->SaveSetting("Sonavel", "Player Settings", "Width", "8000");
    m_store->SaveSetting("Sonavel", "Player Settings", "Synchronous Operation", "maybe");
    m_store->SaveSetting("Sonavel", "Player Settings", "Window State", "99999");
    m_store->DeleteSetting("Sonavel", "Player Settings", "Time Check Folder");
    const QStringList playerKeys = Keys("Player Settings");

    // The welcome and the restart still come: the damage ends this start.
    FirstStart(s);
    EXPECT_EQ(Get("Player Settings", "Window State"), "0");
    EXPECT_EQ(Get("Player Settings", "Synchronous Operation"), "False");
    EXPECT_EQ(Get("Player Settings", "Time Check Folder"), ProgramFolder() + "/Time");
    EXPECT_EQ(Get("Creator Settings", "Height"), "7215");
    // Everything that could be read is as the station left it, an empty
    // name included; the repaired keys keep their places.
    EXPECT_EQ(Get("Player Settings", "Playlist Folder"), "/air/in");
    EXPECT_EQ(Get("Player Settings", "Error Log File Name"), "");
    EXPECT_EQ(Get("Player Settings", "Width"), "8000");
    EXPECT_EQ(Get("Player Settings", "Save Settings On Exit"), "false");
    EXPECT_EQ(Get("Creator Settings", "Clock Folder"), "/mine");
    EXPECT_EQ(Get("Creator Settings", "Playlist Folder"), "/air/out");
    EXPECT_EQ(Keys("Player Settings"), playerKeys + QStringList{"Time Check Folder"});

    // The restart reads them quietly.
    m_dialogs.Clear();
    ASSERT_TRUE(ReadPlayerSettings(s));
    EXPECT_TRUE(m_dialogs.Shown().empty());
    EXPECT_EQ(s.Player.PlaylistFolder, "/air/in");
    EXPECT_EQ(s.Player.Window.Width, 8000);
    Session creator(Product::Creator, ProgramFolder(), *m_store, m_dialogs, m_clock);
    ASSERT_TRUE(ReadCreatorSettings(creator));
    EXPECT_EQ(creator.Creator.ClockFolder, "/mine");
    EXPECT_EQ(creator.Creator.Window.Height, 7215);
}

TEST_F(CommonModuleTest, RunningProgramNeverEntersFirstTimeUse) {
    Session& s = MakeSession(Product::Player);
    FirstStart(s);
    ASSERT_TRUE(ReadPlayerSettings(s));
    s.Player.PlaylistFolder = "/air/lists";
    s.ProgramLogFileName = "/air/program.log";
    s.ErrorLoggingEnabled = true;

    // A reset without defaults leaves the store empty under a running Player.
    m_store->DeleteApplication("Sonavel");
    m_dialogs.Clear();
    m_dialogs.ExpectMessage("Sonavel Player");
    EXPECT_FALSE(ReadPlayerSettings(s, SettingsRead::Running));
    ASSERT_EQ(m_dialogs.Messages().size(), 1u);
    EXPECT_EQ(m_dialogs.LastMessage().icon, MsgIcon::Information);
    EXPECT_EQ(m_dialogs.LastMessage().prompt,
              "The stored settings of Sonavel Player are incomplete or damaged, so they were not "
              "loaded." +
                  kCrLf + kCrLf +
                  "The settings in use stay as they are. Restart Sonavel Player to set up the "
                  "missing ones.");
    // Nothing blanked in memory, nothing written behind the operator's back.
    EXPECT_EQ(s.Player.PlaylistFolder, "/air/lists");
    EXPECT_EQ(s.ProgramLogFileName, "/air/program.log");
    EXPECT_TRUE(s.ErrorLoggingEnabled);
    EXPECT_FALSE(m_store->SectionExists("Sonavel", "Player Settings"));

    // Settings that read are taken over whole.
    SetRegistryDefaults(s);
    m_store->SaveSetting("Sonavel", "Player Settings", "Playlist Folder", "/new/lists");
    EXPECT_TRUE(ReadPlayerSettings(s, SettingsRead::Running));
    EXPECT_EQ(s.Player.PlaylistFolder, "/new/lists");
    EXPECT_FALSE(s.ErrorLoggingEnabled);
}

TEST_F(CommonModuleTest, StoreFailingAtStartEndsWithItsMessage) {
    Session& s = MakeSession(Product::Creator);
    int exitCode = -1;
    FirstStart(s);
    ASSERT_TRUE(ReadSettingsAtStart(s, exitCode));
    EXPECT_EQ(exitCode, 0);

    // Another tool swaps the table for one of another shape while we run.
    ReshapeStoreTable();
    m_dialogs.Clear();
    m_dialogs.ExpectMessage("Sonavel Creator");
    EXPECT_FALSE(ReadSettingsAtStart(s, exitCode));
    EXPECT_EQ(exitCode, 1);
    const MessageRequest box = m_dialogs.LastMessage();
    EXPECT_EQ(box.icon, MsgIcon::Critical);
    EXPECT_TRUE(box.prompt.startsWith("The settings file cannot be read:" + kCrLf + kCrLf +
                                      m_store->Path() + kCrLf + kCrLf))
        << box.prompt.toStdString();
    EXPECT_TRUE(box.prompt.contains("no such column: value")) << box.prompt.toStdString();
    EXPECT_TRUE(
        box.prompt.endsWith("Sonavel Creator has left the file as it is and will end. "
                            "Repair or move the file, then start again."));
    // Not a first start: nothing was written, nothing welcomed.
    EXPECT_EQ(m_dialogs.Messages().size(), 1u);
}

TEST_F(CommonModuleTest, WriteRegistryStoresTheRunningProgramsMemory) {
    Session& s = MakeSession(Product::Player);
    FirstStart(s);
    ASSERT_TRUE(ReadPlayerSettings(s));
    s.Player.Automatic = true;
    s.Player.Manual = false;
    s.ErrorLoggingEnabled = true;
    s.Player.PlaylistFolder = "/air/lists";
    m_store->SaveSetting("Sonavel", "Player Settings", "Suppress Error Reporting", "kept");
    SaveSettingsOnExit(s, WindowPlacement{2, 4000, 5000, 100, 200});

    EXPECT_EQ(Get("Player Settings", "Automatic"), "True");
    EXPECT_EQ(Get("Player Settings", "Manual"), "False");
    EXPECT_EQ(Get("Player Settings", "Error Logging Enabled"), "True");
    EXPECT_EQ(Get("Player Settings", "Playlist Folder"), "/air/lists");
    EXPECT_EQ(Get("Player Settings", "Window State"), "2");
    EXPECT_EQ(Get("Player Settings", "Height"), "4000");
    EXPECT_EQ(Get("Player Settings", "Position Top"), "200");
    EXPECT_EQ(Get("Player Settings", "Suppress Error Reporting"), "kept");
    EXPECT_EQ(Keys("Player Settings").size(), 22);

    // With saving switched off, leaving changes nothing.
    s.Player.SaveSettingsOnExit = false;
    s.Player.PlaylistFolder = "/elsewhere";
    SaveSettingsOnExit(s, WindowPlacement{});
    EXPECT_EQ(Get("Player Settings", "Playlist Folder"), "/air/lists");

    Session creator(Product::Creator, ProgramFolder(), *m_store, m_dialogs, m_clock);
    ASSERT_TRUE(ReadCreatorSettings(creator));
    creator.Creator.IncludeComments = true;
    WriteRegistry(creator);
    EXPECT_EQ(Get("Creator Settings", "Include Comments"), "True");
    EXPECT_EQ(Get("Creator Settings", "Keyword Default Folder"), ProgramFolder());
    EXPECT_EQ(Get("Creator Settings", "Keyword Default Description"), "None");
}

// The store fails half-way through a save, as on a full disk: it is said, in
// the error box or, with nobody there to answer one, as text for standard
// error, and no value of the save is kept, not even those before the one that
// failed.
TEST_F(CommonModuleTest, ASaveThatFailsHalfWayKeepsEveryOldValue) {
    Session& s = MakeSession(Product::Player);
    FirstStart(s);
    ASSERT_TRUE(ReadPlayerSettings(s));
    const QList<SettingRow> before = m_store->GetAllSettings("Sonavel", "Player Settings");
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(m_store->Path()).constData(), &db), SQLITE_OK);
    // The last key of the section fails: a save of one transaction per key
    // would have kept every other.
    ASSERT_EQ(sqlite3_exec(db,
                           "CREATE TRIGGER full BEFORE UPDATE ON settings WHEN NEW.key = "
                           "'Position Top' BEGIN SELECT RAISE(ABORT, 'database or disk is full'); "
                           "END;",
                           nullptr, nullptr, nullptr),
              SQLITE_OK)
        << sqlite3_errmsg(db);
    sqlite3_close(db);
    s.Player.Automatic = true;
    s.Player.PlaylistFolder = "/air/lists";
    const WindowPlacement moved{0, 4000, 5000, 100, 200};

    m_dialogs.ExpectMessage("Sonavel Player", MsgResult::Abort);
    SaveSettingsOnExit(s, moved);
    EXPECT_TRUE(m_dialogs.LastMessage().prompt.startsWith(
        "Error 75 Settings store save failed: database or disk is full ("));
    EXPECT_EQ(m_store->GetAllSettings("Sonavel", "Player Settings"), before);

    m_dialogs.ExpectMessage("Sonavel Player", MsgResult::Ignore);
    SetRegistryDefaults(s);
    EXPECT_EQ(m_store->GetAllSettings("Sonavel", "Player Settings"), before);

    s.ErrorLoggingEnabled = true;
    s.ErrorLogFileName = Path("error.log");
    EXPECT_EQ(
        SaveSettingsWithoutAsking(s, moved),
        "Error 75 Settings store save failed: database or disk is full (" + m_store->Path() + ")");
    EXPECT_TRUE(m_dialogs.AllAnswered());
    EXPECT_TRUE(textfile::ReadLines(s.ErrorLogFileName)
                    .contains("    Error Description: Settings store save failed: database or "
                              "disk is full (" +
                              m_store->Path() + ")"));
    EXPECT_EQ(m_store->GetAllSettings("Sonavel", "Player Settings"), before);

    s.Player.SaveSettingsOnExit = false;
    EXPECT_EQ(SaveSettingsWithoutAsking(s, moved), QString());
}

// Every key written from memory reads back into the same member: a key bound
// to another key's member, or converting the wrong way, loses a value. Each
// pass gives the flags another bit of their position, so any two flags differ
// in some pass.
TEST_F(CommonModuleTest, EveryKeyReadsBackIntoTheMemberItWasWrittenFrom) {
    FirstStart(MakeSession(Product::Player));
    for (const ProgramSection* section : {&kPlayerSettings, &kCreatorSettings}) {
        const Product product = section == &kPlayerSettings ? Product::Player : Product::Creator;
        for (int pass = 0; pass < 5; ++pass) {
            Session written(product, ProgramFolder(), *m_store, m_dialogs, m_clock);
            std::vector<SettingValue> values;
            for (std::size_t i = 0; i < section->fields.size(); ++i) {
                const ProgramField& field = *section->fields[i];
                const int n = static_cast<int>(i) + 10 * pass;
                SettingValue value = QStringLiteral("/value %1").arg(n);
                if (field.kind == SettingKind::Int16) value = static_cast<std::int16_t>(n);
                if (field.kind == SettingKind::Int32) value = static_cast<std::int32_t>(-1000 * n);
                if (field.kind == SettingKind::Flag || field.kind == SettingKind::OnlyTrue ||
                    field.kind == SettingKind::Boolean) {
                    value = ((i >> pass) & 1u) != 0;
                }
                if (field.InMemory()) field.Set(written, value);
                values.push_back(value);
            }
            WriteRegistry(written);

            Session read(product, ProgramFolder(), *m_store, m_dialogs, m_clock);
            ASSERT_TRUE(product == Product::Player ? ReadPlayerSettings(read)
                                                   : ReadCreatorSettings(read));
            for (std::size_t i = 0; i < section->fields.size(); ++i) {
                const ProgramField& field = *section->fields[i];
                if (!field.InMemory()) continue;
                EXPECT_EQ(Get(section->name, field.key), SettingText(values[i])) << field.key;
                if (field.Read()) {
                    EXPECT_EQ(field.Get(read), values[i]) << field.key;
                }
            }
        }
    }
    EXPECT_EQ(Get("Player Settings", "Suppress Error Reporting"), "False") << "defaults only";
}

TEST_F(CommonModuleTest, ColoursKeepTheirByteOrderEachWay) {
    // Stored colours carry red in the low byte, the display's in the high one.
    constexpr Color red{255, 0, 0};
    EXPECT_EQ(Color::FromStored(0x0000FF), red);
    EXPECT_EQ(red.Stored(), 0x0000FF);
    EXPECT_EQ(red.Rgb(), 0xFF0000u);
    EXPECT_EQ(Color::FromRgb(0x123456).Stored(), 0x563412);
    EXPECT_EQ(Color::FromStored(0x563412).Rgb(), 0x123456u);
    // The picker's "default" bit in the top byte is no colour.
    EXPECT_EQ(Color::FromStored(-1), (Color{255, 255, 255}));
    EXPECT_EQ(Color::FromStored(-1).Stored(), 16777215);
}

TEST_F(CommonModuleTest, ResetDialogueBranches) {
    Session& s = MakeSession(Product::Player);
    FirstStart(s);
    m_store->SaveSetting("Sonavel Recent Files", "Player", "File1", "/a.lst");
    m_store->SaveSetting("Sonavel Keyword Definitions", "Keywords", "Keyword 1", "News");
    int reads = 0;
    ResetHooks hooks{[&] {
                         ++reads;
                         return ReadPlayerSettings(s);
                     },
                     {},
                     {}};

    // No at the first question: nothing happens.
    m_dialogs.Clear();
    m_dialogs.ExpectMessage("Delete All Registry Settings", MsgResult::No);
    DeleteRegistry(s, hooks);
    EXPECT_EQ(Get("Player Settings", "Manual"), "True");
    const MessageRequest first = m_dialogs.LastMessage();
    EXPECT_EQ(first.prompt, "Are you sure you want to delete ALL Registry settings for Sonavel?");
    EXPECT_EQ(first.buttons, MsgButtons::YesNo);
    EXPECT_EQ(first.icon, MsgIcon::Question);
    EXPECT_EQ(first.defaultButton, 2);

    // Yes, keep the keywords, no defaults: the store stays empty and the
    // next start welcomes the operator again.
    m_dialogs.Clear();
    m_dialogs.ExpectMessage("Delete All Registry Settings", MsgResult::Yes)
        .ExpectMessage("Delete All Keyword Settings", MsgResult::No)
        .ExpectMessage("Set Default Registry Settings", MsgResult::No);
    DeleteRegistry(s, hooks);
    auto messages = m_dialogs.Messages();
    EXPECT_EQ(messages[1].prompt,
              "All settings for Sonavel have been deleted from the Registry." + kCrLf + kCrLf +
                  "Do you now also want to delete ALL saved Keyword definitions?");
    EXPECT_EQ(messages[2].prompt, "Do you now want to set the defaults for Sonavel?");
    EXPECT_FALSE(m_store->SectionExists("Sonavel", "Player Settings"));
    EXPECT_FALSE(m_store->SectionExists("Sonavel Recent Files", "Player"));
    EXPECT_EQ(m_store->GetSetting("Sonavel Keyword Definitions", "Keywords", "Keyword 1"), "News");
    EXPECT_EQ(reads, 0);
    FirstStart(s);

    // Creator: everything, keywords too, then the defaults again.
    Session creator(Product::Creator, ProgramFolder(), *m_store, m_dialogs, m_clock);
    bool panesCleared = false, shownAgain = false;
    ResetHooks creatorHooks{[&] { return ReadCreatorSettings(creator); },
                            [&] { panesCleared = true; }, [&] { shownAgain = true; }};
    m_dialogs.Clear();
    m_dialogs.ExpectMessage("Delete All Registry Settings", MsgResult::Yes)
        .ExpectMessage("Delete All Keyword Settings", MsgResult::Yes)
        .ExpectMessage("Set Default Registry Settings", MsgResult::Yes);
    creator.Creator.ClockFolder = "stale";
    DeleteRegistry(creator, creatorHooks);
    messages = m_dialogs.Messages();
    EXPECT_TRUE(messages[1].prompt.startsWith("All settings for Sonavelhave been deleted"));
    EXPECT_EQ(messages[2].prompt,
              "All Keyword definitions have been deleted from the Registry." + kCrLf + kCrLf +
                  "You will need to run Sonavel Creator to create new Keyword definitions." +
                  kCrLf + kCrLf + "Do you now want to set the defaults for Sonavel?");
    EXPECT_FALSE(m_store->SectionExists("Sonavel Keyword Definitions", "Keywords"));
    EXPECT_TRUE(panesCleared);
    EXPECT_TRUE(shownAgain);
    EXPECT_EQ(creator.Creator.ClockFolder, ProgramFolder() + "/Clocks");
    EXPECT_EQ(Get("Player Settings", "Manual"), "True");
}

TEST_F(CommonModuleTest, SectionListingAndItsFailures) {
    Session& s = MakeSession(Product::Creator);
    FakeWindows windows;
    s.SetWindows(&windows);
    FirstStart(s);
    m_dialogs.Clear();

    DisplayCurrentSettings(s);
    EXPECT_EQ(windows.info.choice, "Creator Settings");
    EXPECT_TRUE(windows.info.caretAtTop);
    const auto& pieces = windows.info.pieces;
    ASSERT_GE(pieces.size(), 4u);
    EXPECT_EQ(pieces[0].first, " Creator Settings" + kCrLf + kCrLf);
    EXPECT_EQ(pieces[0].second, (Color{0, 0, 128}));
    EXPECT_EQ(pieces[3].first, " Display Splash = ");
    EXPECT_EQ(pieces[3].second, (Color{0, 0, 0}));
    EXPECT_EQ(pieces[4].first, " True" + kCrLf);
    EXPECT_EQ(pieces[4].second, (Color{0, 128, 0}));
    EXPECT_TRUE(windows.info.Text().contains(" Display Splash =  True\r\n"));
    EXPECT_TRUE(windows.info.Text().endsWith(" False" + kCrLf + kCrLf));

    // The global section exists but holds nothing: heading and one more break.
    windows.info.ClearText();
    DisplayRegistrySection(s, "Global Settings");
    EXPECT_EQ(windows.info.Text(), " Global Settings" + kCrLf + kCrLf + kCrLf);

    // After a reset without defaults, listing is a reported failure.
    m_store->DeleteApplication("Sonavel");
    m_dialogs.ExpectMessage("Sonavel Creator", MsgResult::Abort);
    DisplayRegistrySection(s, "Player Settings");
    const QString text = m_dialogs.LastMessage().prompt;
    EXPECT_TRUE(text.contains("Module: DisplayRegistrySection\r\n")) << text.toStdString();
    EXPECT_TRUE(text.contains("Variable: Section (Player Settings)\r\n")) << text.toStdString();
}

TEST_F(CommonModuleTest, PlaylistFolderExitQuestionAndInformation) {
    Session& player = MakeSession(Product::Player);
    m_dialogs.ExpectFolder("", "Set Playlist Folder\r\nClick 'Cancel' to Set Default Location")
        .ExpectMessage("Sonavel Player");
    SetPlaylistFolder(player);
    EXPECT_EQ(player.Player.PlaylistFolder, ProgramFolder() + "/Playlists");
    EXPECT_EQ(Get("Player Settings", "Playlist Folder"), ProgramFolder() + "/Playlists");
    EXPECT_EQ(m_dialogs.Shown()[0].folderInitial, ProgramFolder());
    EXPECT_EQ(m_dialogs.LastMessage().prompt, "Playlist Folder was set to default location:" +
                                                  kCrLf + kCrLf + ProgramFolder() + "/Playlists");

    Session creator(Product::Creator, ProgramFolder(), *m_store, m_dialogs, m_clock);
    m_dialogs.ExpectFolder("/srv/lists").ExpectMessage("Sonavel Creator");
    SetPlaylistFolder(creator);
    EXPECT_EQ(creator.Creator.PlaylistFolder, "/srv/lists");
    EXPECT_EQ(Get("Creator Settings", "Playlist Folder"), "/srv/lists");
    EXPECT_EQ(Get("Player Settings", "Playlist Folder"), ProgramFolder() + "/Playlists");
    EXPECT_EQ(m_dialogs.LastMessage().prompt,
              "Playlist has been set and saved:" + kCrLf + kCrLf + "/srv/lists");

    m_dialogs.ExpectMessage("Sonavel Player", MsgResult::No);
    EXPECT_EQ(ConfirmExit(player), MsgResult::No);
    const MessageRequest exit = m_dialogs.LastMessage();
    EXPECT_EQ(exit.prompt, "Exit Sonavel Player?");
    EXPECT_EQ(exit.buttons, MsgButtons::YesNo);
    EXPECT_EQ(exit.icon, MsgIcon::Question);
    EXPECT_EQ(exit.defaultButton, 2);
}

}  // namespace
