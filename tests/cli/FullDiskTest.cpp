#include "AsRunLog.h"
#include "BackupModule.h"
#include "CapturedConsole.h"
#include "ClockEditor.h"
#include "ClockModule.h"
#include "CommonModule.h"
#include "EditorWindow.h"
#include "ErrorModule.h"
#include "FakeClock.h"
#include "FileBytes.h"
#include "FullDisk.h"
#include "HourlyClocks.h"
#include "KeywordModule.h"
#include "RunDisplay.h"
#include "SchedulerModule.h"
#include "ScriptedDialogs.h"
#include "Session.h"
#include "SettingsStore.h"
#include "TextFile.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <functional>
#include <iostream>
#include <memory>

using namespace sonavel;

namespace {

void Put(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// A log whose size is a whole page: on a full tmpfs the next line needs a
// page of its own, as it would on a disk that filled up between two lines.
QByteArray PageOfLog() {
    QByteArray bytes;
    while (bytes.size() + 22 <= 4096)
        bytes += "12/5/2026 4:55:22 PM\r\n";
    bytes += QByteArray(4096 - bytes.size() - 2, ' ') + "\r\n";
    return bytes;
}

// Every file below a folder with its bytes, hidden ones included; the
// filler of a full tmpfs and the settings store's own files left out.
QMap<QString, QByteArray> Contents(const QString& folder) {
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString name = it.fileName();
        if (name == "filler" || name.startsWith("settings.db")) continue;
        files.insert(path, FileBytes(path));
    }
    return files;
}

// One station's services, with its program folder where the case needs it.
struct Station {
    Station(Product product, const QString& programFolder, const QString& storeFile)
        : store(storeFile), session(product, programFolder, store, dialogs, clock) {
        QDir().mkpath(programFolder);
        SetMissingRegistryDefaults(session);
        if (product == Product::Creator) {
            EXPECT_TRUE(ReadCreatorSettings(session));
        } else {
            EXPECT_TRUE(ReadPlayerSettings(session));
        }
    }
    // A keyword whose folder, with two sounds, lies outside the full disk.
    void AddKeyword(const QString& name, const QString& folder) {
        KeywordModule keywords(session);
        keywords.RefreshKeywordList();
        ASSERT_TRUE(keywords.AddKeywordEntry(name));
        store.SaveSetting(kKeywordApp, name, "Folder", folder);
        for (const char* sound : {"one.wav", "two.wav"})
            Put(folder + "/" + sound, {});
    }

    SettingsStore store;
    ScriptedDialogs dialogs;
    FakeClock clock;
    Session session;
};

class NoRunDisplay final : public RunDisplay {
  public:
    void ShowStatus(const QString&) override {}
    void HideStatus() override {}
    void ShowProgress(const QString&, int) override {}
    void SetProgressLabel(const QString&) override {}
    void SetProgressValue(int) override {}
    void EnableOk() override {}
    void SetMeasureProgress(int, int, const QString&) override {}
    void UnloadProgress() override {}
};

struct Case {
    const char* name;
    Product product;
    // Whether the program folder is on the full disk, or elsewhere.
    bool programOnDisk;
    // Writes what is there before the disk fills.
    std::function<void(Station&, const FullDisk&, const QString& elsewhere)> prepare;
    // The write on the full disk; returns what the program said about it.
    std::function<QString(Station&, const FullDisk&, const QString& elsewhere)> write;
    // What it must have said.
    QString expected;
};

// Every writer of the programs, and every log, on a disk that is full: each
// says so in its own words, stops, leaves every old file byte for byte as it
// was and no temporary file behind. Where the test may mount a tmpfs the disk
// is really full; elsewhere the writers' seam fails their writes with ENOSPC.
TEST(FullDiskTest, EveryWriterSaysSoAndLeavesTheOldFilesAsTheyWere) {
    const QString noSpace = QStringLiteral("No space left on device");
    QStringList told;
    const StandardErrorCatcher previous =
        CatchStandardError([&told](const QString& text) { told << text; });

    const std::vector<Case> cases = {
        {"Save As Hourly Clock stops at the first slot", Product::Creator, true,
         [](Station& s, const FullDisk&, const QString&) {
             Put(s.session.Creator.ClockFolder + "/Mon0700.clk", "Music\r\n");
         },
         [](Station& s, const FullDisk&, const QString&) {
             KeywordModule keywords(s.session);
             ClockModule clocks(s.session, keywords);
             HeadlessEditorWindow window;
             ClockEditor editor(s.session, keywords, clocks, window);
             HourlyClocks hourly(s.session, editor, window);
             window.text = "News\r\n";
             editor.Saved = false;
             SlotGrid ticked{};
             for (int day = 0; day < 3; ++day)
                 ticked[day][7] = true;
             s.dialogs.ExpectMessage("File Save Error");
             EXPECT_EQ(hourly.SaveHourlyClocks(ticked, {}), HourlyClocks::SaveOutcome::Failed);
             EXPECT_FALSE(editor.Saved);
             return s.dialogs.LastMessage().prompt;
         },
         "/Sonavel/Clocks/Mon0700.clk could not be saved.\r\n\r\nCheck Clock Folder setting, "
         "read-only attribute or hard drive\r\n\r\nSave as Hourly Clock aborted."},

        {"Save of a clock", Product::Creator, true,
         [](Station& s, const FullDisk&, const QString&) {
             Put(s.session.Creator.ClockFolder + "/Sat1200.clk", "Music\r\n");
         },
         [](Station& s, const FullDisk&, const QString&) {
             KeywordModule keywords(s.session);
             ClockModule clocks(s.session, keywords);
             HeadlessEditorWindow window;
             ClockEditor editor(s.session, keywords, clocks, window);
             editor.LoadClockFile(s.session.Creator.ClockFolder + "/Sat1200.clk");
             window.text = "News\r\n";
             editor.Saved = false;
             s.dialogs.ExpectMessage("File Save Error");
             editor.SaveClock();
             EXPECT_FALSE(editor.Saved);
             return s.dialogs.LastMessage().prompt;
         },
         "/Sonavel/Clocks/Sat1200.clk could not be saved.\r\n\r\nNo space left on device."},

        {"Save as Default Clock", Product::Creator, true,
         [](Station& s, const FullDisk&, const QString&) {
             Put(s.session.ProgramFolder() + "/Default.clk", "Music\r\n");
         },
         [](Station& s, const FullDisk&, const QString&) {
             KeywordModule keywords(s.session);
             ClockModule clocks(s.session, keywords);
             HeadlessEditorWindow window;
             ClockEditor editor(s.session, keywords, clocks, window);
             window.text = "News\r\n";
             s.dialogs.ExpectMessage("Creator");
             EXPECT_FALSE(editor.SaveDefaultClock());
             return s.dialogs.LastMessage().prompt;
         },
         "Error Saving Default Clock File.\r\nCheck File Attributes."},

        {"Keyword export", Product::Creator, true,
         [](Station& s, const FullDisk&, const QString& elsewhere) {
             s.AddKeyword("Music", elsewhere + "/Music");
             Put(s.session.ProgramFolder() + "/keywords.key", "' an older export\r\n");
         },
         [](Station& s, const FullDisk&, const QString&) {
             KeywordModule keywords(s.session);
             s.dialogs.ExpectMessage("Sonavel Creator", MsgResult::Abort);
             EXPECT_FALSE(
                 keywords.ExportKeywordDefinitionsTo(s.session.ProgramFolder() + "/keywords.key"));
             return s.dialogs.LastMessage().prompt;
         },
         "Error 61 Disk full: "},

        {"Playlist creation run", Product::Creator, true,
         [](Station& s, const FullDisk&, const QString& elsewhere) {
             s.AddKeyword("Music", elsewhere + "/Music");
             Put(s.session.ProgramFolder() + "/Default.clk", "Music\r\n");
             Put(s.session.Creator.PlaylistFolder + "/Sun0000.lst", "/old/Sun0000.wav\r\n");
             Put(s.session.Creator.PlaylistFolder + "/Sat2300.lst", "/old/Sat2300.wav\r\n");
         },
         [](Station& s, const FullDisk&, const QString&) {
             KeywordModule keywords(s.session);
             ClockModule clocks(s.session, keywords);
             HeadlessEditorWindow window;
             ClockEditor editor(s.session, keywords, clocks, window);
             SchedulerModule scheduler(s.session, keywords, clocks);
             NoRunDisplay display;
             scheduler.SetEditor(&editor);
             scheduler.SetDisplay(&display);
             ClockTicker ticker(s.clock, 500);
             s.dialogs.ExpectMessage("Ready to Create Playlists", MsgResult::Yes)
                 .ExpectMessage("Unable to Create Playlist");
             scheduler.CreatePlaylists();
             EXPECT_TRUE(
                 scheduler.WriteFailure().endsWith("/Sun0000.lst (No space left on device)"))
                 << scheduler.WriteFailure().toStdString();
             return s.dialogs.LastMessage().prompt;
         },
         "Creator has encountered an error creating playlist: \r\n\r\n"},

        {"Backup, the program folder full", Product::Creator, true,
         [](Station& s, const FullDisk&, const QString& elsewhere) {
             s.AddKeyword("Music", elsewhere + "/Music");
             Put(s.session.ProgramFolder() + "/Default.clk", "Music\r\n");
             Put(s.session.ProgramFolder() + "/backup.key", "' last night's keywords\r\n");
         },
         [](Station& s, const FullDisk&, const QString& elsewhere) {
             KeywordModule keywords(s.session);
             ClockModule clocks(s.session, keywords);
             BackupModule backup(s.session, keywords, clocks);
             const QString location = elsewhere + "/backup";
             s.dialogs.ExpectMessage("Unable to Backup");
             EXPECT_EQ(backup.Backup(location, {}), BackupModule::Outcome::Abandoned);
             EXPECT_TRUE(backup.FailureReason().endsWith("(No space left on device)"));
             EXPECT_FALSE(QFileInfo::exists(location + "/backup.key"));
             return s.dialogs.LastMessage().prompt;
         },
         "Unable to backup Keywords to "},

        {"Backup onto a full disk", Product::Creator, false,
         [](Station& s, const FullDisk& disk, const QString&) {
             s.AddKeyword("Music", s.session.ProgramFolder() + "/Music");
             Put(s.session.ProgramFolder() + "/Default.clk", "Music\r\n");
             Put(disk.FilePath("backup/backup.key"), "' the backup before\r\n");
             Put(disk.FilePath("backup/Default.clk"), "News\r\n");
         },
         [](Station& s, const FullDisk& disk, const QString&) {
             KeywordModule keywords(s.session);
             ClockModule clocks(s.session, keywords);
             BackupModule backup(s.session, keywords, clocks);
             s.dialogs.ExpectMessage("Unable to Backup");
             BackupModule::Options options;
             options.overwrite = true;
             EXPECT_EQ(backup.Backup(disk.FilePath("backup"), options),
                       BackupModule::Outcome::Abandoned);
             EXPECT_EQ(backup.FilesCopied(), 0);
             return s.dialogs.LastMessage().prompt + backup.FailureReason();
         },
         "Unable to backup Keywords to "},

        {"Save Error Log", Product::Player, true,
         [](Station& s, const FullDisk&, const QString&) {
             s.session.ErrorLogFileName = s.session.ProgramFolder() + "/Logs/Error.log";
             Put(s.session.ErrorLogFileName, "Error Log Created: 12/5/2026 4:55:22 PM\r\n");
             Put(s.session.ProgramFolder() + "/Logs/Error.bak", "an older copy\r\n");
         },
         [](Station& s, const FullDisk&, const QString&) {
             s.dialogs.ExpectFile(s.session.ProgramFolder() + "/Logs/Error.bak", "Save Log File")
                 .ExpectMessage("Sonavel Player", MsgResult::Abort);
             SaveErrorLogFile(s.session);
             return s.dialogs.LastMessage().prompt;
         },
         "Error 61 Disk full: "},

        {"Demo station", Product::Creator, false, [](Station&, const FullDisk&, const QString&) {},
         [](Station&, const FullDisk& disk, const QString&) {
             CapturedConsole console;
             EXPECT_EQ(console.Run({"demo-station", "--tones", disk.FilePath("station")}),
                       kExitFailure);
             return console.errText;
         },
         "sonavel: demo-station: "},

        {"Text file appends", Product::Player, true,
         [](Station& s, const FullDisk&, const QString&) {
             Put(s.session.ProgramFolder() + "/x.log", PageOfLog());
         },
         [](Station& s, const FullDisk&, const QString&) {
             try {
                 textfile::AppendLines(s.session.ProgramFolder() + "/x.log", {"one", "two"});
             } catch (const FileWriteError& error) {
                 EXPECT_EQ(error.Number(), err::kDiskFull);
                 return error.Description();
             }
             return QString("no error");
         },
         "Disk full: "},

        {"Program log", Product::Player, true,
         [](Station& s, const FullDisk&, const QString& elsewhere) {
             s.session.ProgramLoggingEnabled = true;
             s.session.ProgramLogFileName = s.session.ProgramFolder() + "/Logs/Sonavel.log";
             Put(s.session.ProgramLogFileName, PageOfLog());
             s.session.ErrorLoggingEnabled = true;
             s.session.ErrorLogFileName = elsewhere + "/Error.log";
         },
         [&told](Station& s, const FullDisk&, const QString&) {
             told.clear();
             LogEvent(s.session, "Program Element: a");
             LogEvent(s.session, "Program Element: b");
             // Said once, and in the error log, which still works.
             EXPECT_EQ(told.size(), 1) << told.join('\n').toStdString();
             const QString errorLog = textfile::ReadAll(s.session.ErrorLogFileName);
             EXPECT_EQ(errorLog.count("    Error Description: Program log could not be written: " +
                                      s.session.ProgramLogFileName + " (No space left on device)"),
                       1)
                 << errorLog.toStdString();
             return told.join('\n');
         },
         "Program log could not be written: "},

        {"Error log", Product::Player, true,
         [](Station& s, const FullDisk&, const QString& elsewhere) {
             s.session.ErrorLoggingEnabled = true;
             s.session.ErrorLogFileName = s.session.ProgramFolder() + "/Logs/Error.log";
             Put(s.session.ErrorLogFileName, PageOfLog());
             s.session.ProgramLoggingEnabled = true;
             s.session.ProgramLogFileName = elsewhere + "/Sonavel.log";
         },
         [&told](Station& s, const FullDisk&, const QString&) {
             told.clear();
             LogError(s.session, 53, "Sonavel", "File not found", "LoadProgramElement", "file",
                      "/snd/a.wav");
             LogError(s.session, 53, "Sonavel", "File not found", "LoadProgramElement", "file",
                      "/snd/b.wav");
             EXPECT_EQ(told.size(), 1) << told.join('\n').toStdString();
             const QStringList programLog = textfile::ReadLines(s.session.ProgramLogFileName);
             EXPECT_EQ(programLog.size(), 1);
             EXPECT_TRUE(programLog.value(0).endsWith(
                 "  Error log could not be written: " + s.session.ErrorLogFileName +
                 " (No space left on device)"));
             return told.join('\n');
         },
         "Error log could not be written: "},

        {"As-run log", Product::Player, true,
         [](Station& s, const FullDisk&, const QString&) {
             asrun::Line line;
             line.start = line.end = s.clock.Now();
             line.element = "first";
             // Written once before the disk fills: the log exists, and a
             // run of failures of an earlier test is over.
             ASSERT_TRUE(asrun::Append(s.session.ProgramFolder(), line));
             const QString file = asrun::FileName(s.session.ProgramFolder(), line.end.date());
             Put(file, FileBytes(file) + PageOfLog().mid(FileBytes(file).size()));
         },
         [&told](Station& s, const FullDisk&, const QString&) {
             told.clear();
             asrun::Line line;
             line.start = line.end = s.clock.Now();
             line.element = "second";
             EXPECT_FALSE(asrun::Append(s.session.ProgramFolder(), line));
             EXPECT_FALSE(asrun::Append(s.session.ProgramFolder(), line));
             EXPECT_EQ(told.size(), 1) << told.join('\n').toStdString();
             return told.join('\n');
         },
         "As-run log could not be written: "},
    };

    bool real = true;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FullDisk disk;
        real = disk.Real();
        QTemporaryDir elsewhere;
        const QString programFolder =
            c.programOnDisk ? disk.FilePath("Sonavel") : elsewhere.filePath("Sonavel");
        Station station(c.product, programFolder, elsewhere.filePath("config/settings.db"));
        c.prepare(station, disk, elsewhere.path());
        const QMap<QString, QByteArray> before = Contents(disk.Path());
        disk.Fill();
        const QString said = c.write(station, disk, elsewhere.path());
        EXPECT_TRUE(said.contains(c.expected)) << said.toStdString();
        if (said.contains("Disk full") || said.contains("could not be written")) {
            EXPECT_TRUE(said.contains(noSpace)) << said.toStdString();
        }
        EXPECT_TRUE(station.dialogs.AllAnswered());
        // Byte for byte as before: nothing new, not even an empty file or a
        // temporary one, and nothing cut.
        const QMap<QString, QByteArray> after = Contents(disk.Path());
        EXPECT_EQ(after.keys(), before.keys());
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            EXPECT_EQ(after.value(it.key()), it.value()) << it.key().toStdString();
    }
    CatchStandardError(previous);
    if (!real)
        std::cout << "[ NOTE     ] full disk emulated by the writers' seam: a tmpfs "
                     "cannot be mounted here\n";
}

// The settings store on a full disk: a save that fails is reported and no
// value of it is kept. Only a real full disk makes the store's own writes fail.
TEST(FullDiskTest, ASettingsSaveThatFailsKeepsEveryOldValue) {
    FullDisk disk;
    if (!disk.Real()) GTEST_SKIP() << "skipped: " << disk.WhyNotReal().toStdString();
    Station station(Product::Creator, disk.FilePath("Sonavel"), disk.FilePath("settings.db"));
    Session& session = station.session;
    const QList<SettingRow> before = station.store.GetAllSettings(kAppName, kCreatorSection);
    disk.Fill();
    // Long values, so the save needs pages a full disk does not have.
    session.Creator.ClockFolder = QString(20000, 'c');
    session.Creator.PlaylistFolder = QString(20000, 'p');
    session.Creator.BackupLocation = QString(20000, 'b');
    station.dialogs.ExpectMessage("Sonavel Creator", MsgResult::Abort);
    WriteRegistry(session);
    EXPECT_TRUE(station.dialogs.AllAnswered());
    EXPECT_TRUE(station.dialogs.LastMessage().prompt.startsWith(
        "Error 75 Settings store save failed: database or disk is full"))
        << station.dialogs.LastMessage().prompt.toStdString();
    EXPECT_EQ(station.store.GetAllSettings(kAppName, kCreatorSection), before);
    SettingsStore reopened(disk.FilePath("settings.db"));
    EXPECT_EQ(reopened.GetAllSettings(kAppName, kCreatorSection), before);
}

// The station's timers, as a station runs them: `sonavel create-playlists
// --yes` and `sonavel backup --to DIR` with the program folder on a full
// disk end with status 1, say why, and leave every file as it was.
TEST(FullDiskProgramTest, CreatePlaylistsAndBackupOnAFullDiskExitOneAndKeepEveryFile) {
    FullDisk disk;
    if (!disk.Real()) {
        std::cout << "[ SKIPPED  ] the programs on a full disk: " << disk.WhyNotReal().toStdString()
                  << '\n';
        GTEST_SKIP() << "skipped: " << disk.WhyNotReal().toStdString();
    }
    QTemporaryDir elsewhere;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", elsewhere.filePath("config"));
    env.insert("XDG_DATA_HOME", disk.FilePath("data"));
    env.insert("XDG_RUNTIME_DIR", elsewhere.filePath("run"));
    QDir().mkpath(elsewhere.filePath("run"));
    QFile::setPermissions(elsewhere.filePath("run"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    {
        Station station(Product::Creator, disk.FilePath("data/Sonavel"),
                        elsewhere.filePath("config/Sonavel/settings.db"));
        station.AddKeyword("Music", elsewhere.filePath("Music"));
        Put(station.session.ProgramFolder() + "/Default.clk", "Music\r\nMusic\r\n");
        Put(station.session.Creator.ClockFolder + "/Mon0700.clk", "Music\r\n");
        QDir().mkpath(station.session.Creator.PlaylistFolder);
    }
    const auto run = [&](const QStringList& arguments, QString& err) {
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(SONAVEL_PROGRAM), arguments);
        EXPECT_TRUE(process.waitForFinished(60000));
        err = QString::fromUtf8(process.readAllStandardError());
        return process.exitCode();
    };
    QString err;
    ASSERT_EQ(run({"create-playlists", "--yes"}, err), 0) << err.toStdString();
    ASSERT_EQ(run({"backup", "--to", elsewhere.filePath("first")}, err), 0) << err.toStdString();
    const QMap<QString, QByteArray> before = Contents(disk.Path());
    ASSERT_EQ(before.size(), 168 + 3);

    disk.Fill();
    EXPECT_EQ(run({"create-playlists", "--yes"}, err), 1);
    EXPECT_TRUE(
        err.contains("Unable to Create Playlist: Creator has encountered an error creating "
                     "playlist: \n\n" +
                     disk.FilePath("data/Sonavel/Playlists/Sun0000.lst")))
        << err.toStdString();
    EXPECT_TRUE(err.contains("sonavel: create-playlists: Disk full: " +
                             disk.FilePath("data/Sonavel/Playlists/Sun0000.lst") +
                             " (No space left on device)\n"))
        << err.toStdString();
    EXPECT_FALSE(err.contains("All Playlists Have Been Created.")) << err.toStdString();

    const QString second = elsewhere.filePath("second");
    EXPECT_EQ(run({"backup", "--to", second}, err), 1);
    EXPECT_TRUE(err.contains("Unable to Backup: Unable to backup Keywords to " + second))
        << err.toStdString();
    EXPECT_TRUE(
        err.contains("sonavel: backup: Disk full: " + disk.FilePath("data/Sonavel/backup.key") +
                     " (No space left on device)\n"))
        << err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(second + "/backup.key"));

    const QMap<QString, QByteArray> after = Contents(disk.Path());
    EXPECT_EQ(after.keys(), before.keys());
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        EXPECT_EQ(after.value(it.key()), it.value()) << it.key().toStdString();
}

}  // namespace
