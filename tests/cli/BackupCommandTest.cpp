#include "CapturedConsole.h"
#include "CommonModule.h"
#include "KeywordModule.h"
#include "ScriptedDialogs.h"
#include "Session.h"
#include "SettingsStore.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QMap>
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

TEST_F(BackupCommandTest, StationWithoutSettingsFailsWithoutWritingAnything) {
    QFile::remove(station.settingsFile);
    EXPECT_EQ(Run({"backup", "--to", m_dir.filePath("out")}), kExitFailure);
    EXPECT_FALSE(QFileInfo::exists(m_dir.filePath("out")));
}

}  // namespace
