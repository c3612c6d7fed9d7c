#include "BackupCommand.h"
#include "CapturedConsole.h"
#include "CommonModule.h"
#include "FakeClock.h"
#include "KeywordModule.h"
#include "ScriptedDialogs.h"
#include "Session.h"
#include "SettingsStore.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <memory>

using namespace sonavel;

namespace {

class BackupCommandTest : public ::testing::Test {
  protected:
    BackupCommandTest() {
        station.settingsFile = m_dir.filePath("config/settings.db");
        station.programFolder = m_dir.filePath("Sonavel");
        QDir().mkpath(station.programFolder);
        SettingsStore store(station.settingsFile);
        ScriptedDialogs dialogs;
        SystemClock clock;
        Session session(Product::Creator, station.programFolder, store, dialogs, clock);
        SetMissingRegistryDefaults(session);
        store.SaveSetting(kKeywordApp, "Keywords", KeywordModule::KeywordKey(0), "News");
        store.ReplaceSection(kKeywordApp, "News", {{"Color", "255"}});
        Put("Default.clk", "News\r\n");
        Put("Clocks/Mon0700.clk", "News\r\n");
        Put("Clocks/Sun2300.clk", "News\r\nNews\r\n");
    }

    void Put(const QString& name, const QByteArray& bytes) {
        const QString path = station.programFolder + "/" + name;
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    // Each file of a folder with its bytes.
    static QMap<QString, QByteArray> Contents(const QString& folder) {
        QMap<QString, QByteArray> contents;
        for (const QString& name : Files(folder)) {
            QFile file(folder + "/" + name);
            contents[name] = file.open(QIODevice::ReadOnly) ? file.readAll() : "unreadable";
        }
        return contents;
    }
    static QStringList Files(const QString& folder) {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
    int Run(const QStringList& arguments) {
        console = std::make_unique<CapturedConsole>();
        return console->Run(arguments, station);
    }

    QTemporaryDir m_dir;
    StationPaths station;
    std::unique_ptr<CapturedConsole> console;
};

TEST_F(BackupCommandTest, CopiesEverythingNewNamesOnASecondRunAndRefusesItsOwnFolders) {
    const QString dest = m_dir.filePath("nightly");
    ASSERT_EQ(Run({"backup", "--to", dest}), kExitSuccess) << console->errText.toStdString();
    EXPECT_EQ(Files(dest), QStringList({"Default.clk", "backup.key"}));
    EXPECT_EQ(Files(dest + "/Clocks"), QStringList({"Mon0700.clk", "Sun2300.clk"}));
    EXPECT_TRUE(console->errText.contains("4 of 4 files copied to " + dest));

    ASSERT_EQ(Run({"backup", "--to=" + dest}), kExitSuccess);
    EXPECT_EQ(Files(dest + "/Clocks"),
              QStringList({"Mon0700 (2).clk", "Mon0700.clk", "Sun2300 (2).clk", "Sun2300.clk"}));
    ASSERT_EQ(Run({"backup", "--overwrite", "--to", dest}), kExitSuccess);
    EXPECT_EQ(Files(dest + "/Clocks").size(), 4);

    // Onto the program folder, into the Clock Folder or below it: refused,
    // every file as it was.
    const auto programFiles = Contents(station.programFolder);
    const auto clockFiles = Contents(station.programFolder + "/Clocks");
    for (const QString& own : {station.programFolder, station.programFolder + "/Clocks",
                               station.programFolder + "/Clocks/old"}) {
        EXPECT_EQ(Run({"backup", "--overwrite", "--to", own}), kExitFailure);
        EXPECT_TRUE(console->errText.startsWith("Unable to Backup: The backup location " + own))
            << console->errText.toStdString();
        EXPECT_EQ(Contents(station.programFolder), programFiles);
        EXPECT_EQ(Contents(station.programFolder + "/Clocks"), clockFiles);
    }
    EXPECT_FALSE(QFileInfo::exists(station.programFolder + "/Clocks/old"));

    // A clock that cannot be copied fails the run; a usage error is 2.
    QFile::remove(dest + "/Clocks/Sun2300.clk");
    QDir().mkpath(dest + "/Clocks/Sun2300.clk/inside");
    EXPECT_EQ(Run({"backup", "--overwrite", "--to", dest}), kExitFailure);
    EXPECT_TRUE(console->errText.contains("Unable to backup Clock folder to " + dest));
    EXPECT_TRUE(console->errText.contains("3 of 4 files copied"));
    EXPECT_EQ(Run({"backup"}), kExitUsage);
    EXPECT_EQ(Run({"backup", "--to"}), kExitUsage);
}

TEST_F(BackupCommandTest, KeepWritesADatedFolderAndRemovesOnlyTheOldestOfThem) {
    const QString dest = m_dir.filePath("nightly");
    // Earlier runs, and what else lives there: a folder of the operator's, a
    // file and a link named like a run, a name that is no time, a run of a
    // clock set wrong into the future.
    for (const char* folder :
         {"2026-11-01_023000", "2026-11-02_023000", "2026-11-03_023000", "2999-01-01_000000",
          "notes", "2026-11-04_023000.old", "2026-13-01_023000", "precious"}) {
        QDir().mkpath(dest + "/" + folder + "/Clocks");
    }
    QFile(dest + "/2026-11-05_023000").open(QIODevice::WriteOnly);
    QFile::link(dest + "/precious", dest + "/2026-11-06_023000");
    QFile(dest + "/precious/Default.clk").open(QIODevice::WriteOnly);

    ASSERT_EQ(Run({"backup", "--to", dest, "--keep", "3"}), kExitSuccess)
        << console->errText.toStdString();
    // The new run and the two newest of the others stay, the clock's mistake among them.
    const QStringList left =
        QDir(dest).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDir::Name);
    const QString made = QDir(dest)
                             .entryList({QDate::currentDate().toString("yyyy-MM-dd_*")},
                                        QDir::Dirs | QDir::NoSymLinks)
                             .value(0);
    EXPECT_TRUE(QRegularExpression("^\\d{4}-\\d{2}-\\d{2}_\\d{6}$").match(made).hasMatch());
    QStringList expected{"2026-11-03_023000",
                         "2026-11-04_023000.old",
                         "2026-11-05_023000",
                         "2026-11-06_023000",
                         made,
                         "2026-13-01_023000",
                         "2999-01-01_000000",
                         "notes",
                         "precious"};
    expected.sort();
    EXPECT_EQ(left, expected);
    EXPECT_EQ(Files(dest + "/" + made), QStringList({"Default.clk", "backup.key"}));
    EXPECT_EQ(Files(dest + "/" + made + "/Clocks"), QStringList({"Mon0700.clk", "Sun2300.clk"}));
    EXPECT_TRUE(QFile::exists(dest + "/precious/Default.clk"));
    EXPECT_TRUE(console->errText.contains("4 of 4 files copied to " + dest + "/" + made + "\n"));
    EXPECT_TRUE(
        console->errText.contains("removed the old backup " + dest + "/2026-11-01_023000\n"));
    EXPECT_TRUE(
        console->errText.contains("removed the old backup " + dest + "/2026-11-02_023000\n"));

    // Keeping none would remove the backup just made.
    for (const char* keep : {"0", "-1", "two"}) {
        EXPECT_EQ(Run({"backup", "--to", dest, "--keep", keep}), kExitUsage);
        EXPECT_TRUE(console->errText.startsWith(
            QStringLiteral("sonavel: backup: invalid number of backups to keep '") + keep + "'"));
    }
}

TEST_F(BackupCommandTest, KeepNamesTheFolderByTheStartAndNeverWritesIntoAnExistingOne) {
    const QString dest = m_dir.filePath("nightly");
    FakeClock clock;
    clock.Set(QDateTime(QDate(2026, 12, 7), QTime(2, 30, 5)));
    BackupRunOptions options;
    options.keep = 2;
    options.clock = &clock;
    ScriptedDialogs dialogs;
    QString err;
    QTextStream stream(&err);
    ASSERT_EQ(BackupRun(station, dest, options, dialogs, stream), kExitSuccess)
        << err.toStdString();
    EXPECT_EQ(Files(dest + "/2026-12-07_023005"), QStringList({"Default.clk", "backup.key"}));
    // A second run in the same second would mix its copies with the first's.
    EXPECT_EQ(BackupRun(station, dest, options, dialogs, stream), kExitFailure);
    EXPECT_TRUE(err.endsWith("sonavel: backup: " + dest + "/2026-12-07_023005 already exists\n"))
        << err.toStdString();
    EXPECT_EQ(Files(dest + "/2026-12-07_023005"), QStringList({"Default.clk", "backup.key"}));

    // The next night's run fails: the older backup may be the only good one.
    clock.Advance(qint64{24} * 3600 * 1000);
    options.keep = 1;
    QFile::remove(station.programFolder + "/Default.clk");
    dialogs.ExpectMessage("Unable to Backup");
    err.clear();
    EXPECT_EQ(BackupRun(station, dest, options, dialogs, stream), kExitFailure);
    EXPECT_TRUE(err.endsWith("sonavel: backup: no older backup was removed\n"))
        << err.toStdString();
    EXPECT_EQ(Files(dest + "/2026-12-07_023005"), QStringList({"Default.clk", "backup.key"}));
}

TEST_F(BackupCommandTest, StationWithoutSettingsFailsWithoutWritingAnything) {
    QFile::remove(station.settingsFile);
    EXPECT_EQ(Run({"backup", "--to", m_dir.filePath("out")}), kExitFailure);
    EXPECT_FALSE(QFileInfo::exists(m_dir.filePath("out")));
}

}  // namespace
