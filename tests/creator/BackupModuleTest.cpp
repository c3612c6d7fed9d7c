#include "BackupModule.h"
#include "ClockModule.h"
#include "FileBytes.h"
#include "KeywordModule.h"
#include "TempFolder.h"
#include "TextFile.h"

#include <QDir>
#include <QFile>
#include <utility>

using namespace sonavel;

namespace {

void Put(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
}

QStringList Names(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

const QString kFailureTail = QStringLiteral(
    "\r\n\r\nPlease check diskette or folder.\r\n\r\n"
    "If using  diskette, please make sure that diskette is not write-protected or full.\r\n\r\n"
    "If using a folder, please make sure that it is not a CDROM drive or full.\r\n\r\n"
    "If the folder is on a network or Windows NT computer, please make sure\r\n"
    "that you have permission to write to it\r\n");

class BackupModuleTest : public TempFolderTest {
  protected:
    BackupModuleTest()
        : keywords(MakeSession(Product::Creator)),
          clocks(*m_session, keywords),
          backup(*m_session, keywords, clocks) {
        m_session->Creator.ClockFolder = Path("Clocks");
        m_store->SaveSetting(kKeywordApp, "Keywords", KeywordModule::KeywordKey(0), "News");
        m_store->ReplaceSection(kKeywordApp, "News",
                                {{"Description", "News"},
                                 {"Folder", "/srv/news"},
                                 {"Estimated Time", "180"},
                                 {"Color", "255"},
                                 {"Notes", ""}});
        Put(ProgramFolder() + "/Default.clk", "News\r\n");
        Put(Path("Clocks/Mon0700.clk"), "News\r\n");
        Put(Path("Clocks/Tue0800.CLK"), "News\r\nNews\r\n");
        QDir().mkpath(Path("Clocks/x.clk"));
        Put(Path("Clocks/notes.txt"), "not a clock");
        backup.MountedVolumes = [this] { return volumes; };
        backup.RemovableDiskParents = {Path("media/station")};
    }

    BackupModule::Outcome Run(const QString& location, bool overwrite = false) {
        BackupModule::Options options;
        options.overwrite = overwrite;
        return backup.Backup(location, options, [this](int value, int maximum) {
            steps << qMakePair(value, maximum);
        });
    }
    void AddClocks(int count) {
        for (int i = 0; i < count; ++i)
            Put(Path(QString("Clocks/Wed%1.clk").arg(i, 4, 10, QLatin1Char('0'))), "News\r\n");
    }

    KeywordModule keywords;
    ClockModule clocks;
    BackupModule backup;
    QList<MountedVolume> volumes;
    QList<QPair<int, int>> steps;
};

TEST_F(BackupModuleTest, CopiesKeyFileDefaultClockAndClocksThenNewNamesOrOverwrites) {
    const QString dest = Path("Backups/tonight");  // not there yet: made
    ASSERT_EQ(Run(dest), BackupModule::Outcome::Done);
    EXPECT_EQ(Names(dest), QStringList({"Clocks", "Default.clk", "backup.key"}));
    EXPECT_EQ(Names(dest + "/Clocks"), QStringList({"Mon0700.clk", "Tue0800.CLK"}))
        << "files of any letter case, no folder, nothing else";
    EXPECT_EQ(FileBytes(dest + "/Clocks/Tue0800.CLK"), "News\r\nNews\r\n");
    const QStringList key = textfile::ReadLines(dest + "/backup.key");
    ASSERT_EQ(key.size(), 4 + 13);
    EXPECT_TRUE(key[0].startsWith("' Sonavel Keyword Definition File "));
    EXPECT_EQ(key.mid(4, 4), QStringList({"' Keyword", "News", "' Description", "News"}));
    EXPECT_EQ(key[15], "None") << "an empty value goes as the file's default";
    EXPECT_EQ(steps, (QList<QPair<int, int>>{{0, 4}, {1, 4}, {2, 4}, {3, 4}, {4, 4}}));
    EXPECT_EQ(backup.FilesCopied(), 4);

    // A second run beside the first keeps both; with "Backup Saved Files" on
    // the previous backup.key survives in the program folder as backup.bak.
    m_session->Creator.BackupSavedFiles = true;
    const QByteArray firstKey = FileBytes(ProgramFolder() + "/backup.key");
    Put(Path("Clocks/Mon0700.clk"), "News\r\nNews\r\nNews\r\n");
    ASSERT_EQ(Run(dest), BackupModule::Outcome::Done);
    EXPECT_EQ(Names(dest), QStringList({"Clocks", "Default (2).clk", "Default.clk",
                                        "backup (2).key", "backup.key"}));
    EXPECT_EQ(Names(dest + "/Clocks"),
              QStringList({"Mon0700 (2).clk", "Mon0700.clk", "Tue0800 (2).CLK", "Tue0800.CLK"}));
    EXPECT_EQ(FileBytes(dest + "/Clocks/Mon0700.clk"), "News\r\n") << "the first copy is untouched";
    EXPECT_EQ(FileBytes(ProgramFolder() + "/backup.bak"), firstKey);

    // Overwrite replaces in place and leaves no temporary file behind.
    ASSERT_EQ(Run(dest, true), BackupModule::Outcome::Done);
    EXPECT_EQ(Names(dest + "/Clocks").size(), 4);
    EXPECT_EQ(FileBytes(dest + "/Clocks/Mon0700.clk"), "News\r\nNews\r\nNews\r\n");
    EXPECT_TRUE(m_dialogs.Shown().empty());
}

TEST_F(BackupModuleTest, RefusalsComeBeforeAnythingIsWritten) {
    const QStringList programFiles = Names(ProgramFolder());
    const QByteArray defaultClock = FileBytes(ProgramFolder() + "/Default.clk");
    const auto refused = [&](const QString& location, const QString& prompt) {
        m_dialogs.Clear();
        m_dialogs.ExpectMessage("Unable to Backup");
        EXPECT_EQ(Run(location, true), BackupModule::Outcome::Refused) << location.toStdString();
        EXPECT_TRUE(m_dialogs.LastMessage().prompt.startsWith(prompt))
            << m_dialogs.LastMessage().prompt.toStdString();
    };
    refused("", "Please choose where to back up to");
    refused("backups", "The backup location \"backups\" is not a full path.");
    // Onto itself, also by another spelling of the same folder.
    refused(ProgramFolder() + "/../Sonavel/", "The backup location");
    m_session->Creator.ClockFolder = Path("Dest/Clocks");
    refused(Path("Dest"), "The backup location");
    // Into the Clock Folder, or a folder below it, whether there yet or not.
    for (const QString& inside : {Path("Dest/Clocks"), Path("Dest/Clocks/./old/../kept")})
        refused(inside, "The backup location " + inside + " holds the files");
    EXPECT_FALSE(QFileInfo::exists(Path("Dest/Clocks"))) << "nothing was made";
    EXPECT_EQ(m_dialogs.LastMessage().icon, MsgIcon::Information);
    EXPECT_EQ(Names(ProgramFolder()), programFiles) << "no backup.key was written";
    EXPECT_EQ(FileBytes(ProgramFolder() + "/Default.clk"), defaultClock);
    m_session->Creator.ClockFolder = Path("Clocks");

    // A file where the clocks' folder belongs is found before copying.
    Put(Path("Dest/Clocks"), "a file");
    refused(Path("Dest"), "Unable to backup Clock folder to " + Path("Dest"));
    EXPECT_EQ(m_dialogs.LastMessage().prompt,
              "Unable to backup Clock folder to " + Path("Dest") + kFailureTail);
    EXPECT_EQ(m_dialogs.LastMessage().icon, MsgIcon::Critical);
    EXPECT_EQ(Names(Path("Dest")), QStringList({"Clocks"}));

    // No keywords: nothing to rebuild from; the window goes back to idle.
    m_store->DeleteApplication(kKeywordApp);
    refused(Path("Out"), "You must create and save keywords before using Backup.");
    EXPECT_FALSE(QFileInfo::exists(Path("Out")));

    // No default clock: the window closes after the message.
    QFile::remove(ProgramFolder() + "/Default.clk");
    m_dialogs.Clear();
    m_dialogs.ExpectMessage("Unable to Backup");
    EXPECT_EQ(Run(Path("Out")), BackupModule::Outcome::Abandoned);
    EXPECT_EQ(m_dialogs.LastMessage().prompt,
              "You must create and save a default clock file before using Backup.");
}

TEST_F(BackupModuleTest, FailuresHalfWayAndOfTheKeyFileStopTheBackup) {
    // A folder where the overwrite must put Tue0800.CLK: the third clock fails.
    const QString dest = Path("Dest");
    QDir().mkpath(dest + "/Clocks/Tue0800.CLK/inside");
    m_dialogs.ExpectMessage("Unable to Backup");
    EXPECT_EQ(Run(dest, true), BackupModule::Outcome::Abandoned);
    EXPECT_EQ(m_dialogs.LastMessage().prompt,
              "Unable to backup Clock folder to " + dest + kFailureTail);
    EXPECT_EQ(backup.FilesCopied(), 3) << "what was copied before stays";
    EXPECT_TRUE(QFileInfo(dest + "/Clocks/Mon0700.clk").isFile());

    // backup.key cannot be written: its stale copy must not be backed up.
    QFile::remove(ProgramFolder() + "/backup.key");
    QDir().mkpath(ProgramFolder() + "/backup.key/blocked");
    m_dialogs.Clear();
    m_dialogs.ExpectMessage("Unable to Backup");
    EXPECT_EQ(Run(Path("Other")), BackupModule::Outcome::Abandoned);
    EXPECT_TRUE(m_dialogs.LastMessage().prompt.startsWith("Unable to backup Keywords to " +
                                                          Path("Other") + "\r\n"));
    EXPECT_EQ(backup.FilesCopied(), 0);
}

TEST_F(BackupModuleTest, RemovableDiskIsAMountedWritableVolumeAndManyClocksAskForPatience) {
    // A folder left by an unplugged stick is no disk: it is not mounted.
    QDir().mkpath(Path("media/station/OLD"));
    QDir().mkpath(Path("media/station/STICK"));
    m_dialogs.ExpectMessage("Unable to Backup");
    EXPECT_EQ(Run("A:"), BackupModule::Outcome::Refused);
    EXPECT_EQ(m_dialogs.LastMessage().prompt, "Unable to backup to A:" + kFailureTail);
    EXPECT_EQ(Names(Path("media/station/OLD")), QStringList());

    volumes = {{Path("media/station/OLD"), true, true},  // locked
               {Path("media"), true, false},             // not below the parents
               {Path("media/station/STICK"), true, false}};
    EXPECT_EQ(BackupModule::FirstWritableVolume(volumes, backup.RemovableDiskParents),
              Path("media/station/STICK"));

    // 25 clocks (two and 23 more) to the disk: no question.
    AddClocks(23);
    m_dialogs.Clear();
    ASSERT_EQ(Run("a:"), BackupModule::Outcome::Done);
    EXPECT_TRUE(m_dialogs.Shown().empty());
    EXPECT_EQ(Names(Path("media/station/STICK/Clocks")).size(), 25);

    // 26 to a folder: no question; to "a:", written in small letters: asked.
    AddClocks(24);
    ASSERT_EQ(Run(Path("Folder")), BackupModule::Outcome::Done);
    EXPECT_TRUE(m_dialogs.Shown().empty());
    m_dialogs.ExpectMessage("Please Be Patient!", MsgResult::Cancel);
    EXPECT_EQ(Run("a:"), BackupModule::Outcome::Abandoned);
    const MessageRequest& asked = m_dialogs.LastMessage();
    EXPECT_EQ(asked.prompt,
              "There are 26 clock files to be backed up.\r\n"
              "Backing up this number of small files to a floppy disk can take a long time.\r\n\r\n"
              "Please be patient, or choose 'Cancel'");
    EXPECT_EQ(asked.buttons, MsgButtons::OKCancel);
    EXPECT_EQ(asked.icon, MsgIcon::Information);
    EXPECT_EQ(backup.FilesCopied(), 0);
    EXPECT_EQ(Names(Path("media/station/STICK/Clocks")).size(), 25);
}

}  // namespace
