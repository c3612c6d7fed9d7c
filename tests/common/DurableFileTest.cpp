#include "DurableFile.h"
#include "FileBytes.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include "QtPrinters.h"

using namespace sonavel;

namespace {

using filefault::Call;

QStringList Entries(const QTemporaryDir& dir) {
    return QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

struct FaultGuard {
    ~FaultGuard() { filefault::Clear(); }
};

// Each call of a whole-file write failing in turn, as a full or failing disk
// makes it fail: until the rename the old file stands as it was; after it the
// new one stands whole. Either way the caller hears the system's error and
// no temporary file is left.
TEST(DurableFileTest, EachCallThatFailsIsReportedAndLeavesOneWholeFile) {
    const FaultGuard guard;
    const struct {
        Call call;
        int error;
        bool replaced;
    } faults[] = {{Call::Open, ENOSPC, false},  {Call::Write, ENOSPC, false},
                  {Call::Sync, EIO, false},     {Call::Stat, EIO, false},
                  {Call::Close, EDQUOT, false}, {Call::Rename, EXDEV, false},
                  {Call::SyncFolder, EIO, true}};
    for (const auto& fault : faults) {
        SCOPED_TRACE(static_cast<int>(fault.call));
        QTemporaryDir dir;
        const QString path = dir.filePath("Mon0700.clk");
        ASSERT_TRUE(WriteFileWhole(path, "Music\r\n").Ok());
        filefault::Inject(fault.call, 1, fault.error);
        const FileWriteResult result = WriteFileWhole(path, "News\r\nNews\r\n");
        EXPECT_EQ(result.error, fault.error);
        EXPECT_EQ(result.Reason(), SystemErrorText(fault.error));
        EXPECT_EQ(FileBytes(path), fault.replaced ? "News\r\nNews\r\n" : "Music\r\n");
        EXPECT_EQ(Entries(dir), QStringList{"Mon0700.clk"});
        EXPECT_EQ(filefault::Count(fault.call), 1);
        filefault::Clear();
    }

    // A file that fails in its second write is not written at all.
    QTemporaryDir dir;
    const QString path = dir.filePath("backup.key");
    QByteArray big(qsizetype{3} * 1024 * 1024, 'k');
    filefault::Inject(Call::Write, 2, ENOSPC);
    DurableFile file(path);
    EXPECT_TRUE(file.Write(big.left(10)));
    EXPECT_FALSE(file.Write(big));
    EXPECT_FALSE(file.Replace());
    EXPECT_EQ(file.Error(), ENOSPC);
    EXPECT_TRUE(Entries(dir).isEmpty());
}

// An append either lands whole or not at all: a failed write or close is cut
// off again, so the next line that gets through is not glued to half of one.
TEST(DurableFileTest, AnAppendThatFailsLeavesTheFileAsItWas) {
    const FaultGuard guard;
    QTemporaryDir dir;
    const QString path = dir.filePath("Sonavel.log");
    ASSERT_TRUE(AppendToFile(path, "one\r\n", "header\r\n").Ok());
    ASSERT_TRUE(AppendToFile(path, "two\r\n", "header\r\n").Ok());
    EXPECT_EQ(FileBytes(path), "header\r\none\r\ntwo\r\n");
    for (const Call call : {Call::Open, Call::Stat, Call::Write, Call::Close}) {
        SCOPED_TRACE(static_cast<int>(call));
        filefault::Inject(call, 1, ENOSPC);
        EXPECT_EQ(AppendToFile(path, "three\r\n").error, ENOSPC);
        EXPECT_EQ(FileBytes(path), "header\r\none\r\ntwo\r\n");
    }
    filefault::Clear();
    EXPECT_TRUE(AppendToFile(path, "three\r\n").Ok());
    EXPECT_EQ(FileBytes(path), "header\r\none\r\ntwo\r\nthree\r\n");
    EXPECT_EQ(AppendToFile(dir.filePath("gone/Sonavel.log"), "x").error, ENOENT);
    EXPECT_EQ(Entries(dir), QStringList{"Sonavel.log"});
}

// Saved in place as an editor saves: the file keeps its permissions, a link
// keeps pointing at the file, a folder is not replaced.
TEST(DurableFileTest, ASaveKeepsWhatTheOldFileWas) {
    QTemporaryDir dir;
    const QString path = dir.filePath("Default.clk");
    ASSERT_TRUE(WriteFileWhole(path, "old").Ok());
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0640), 0);
    ASSERT_TRUE(WriteFileWhole(path, "new").Ok());
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);

    const QString link = dir.filePath("link.clk");
    ASSERT_TRUE(QFile::link(path, link));
    ASSERT_TRUE(WriteFileWhole(link, "through the link").Ok());
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(FileBytes(path), "through the link");

    ASSERT_TRUE(QDir().mkpath(dir.filePath("Clocks")));
    EXPECT_EQ(WriteFileWhole(dir.filePath("Clocks"), "x").error, EISDIR);
    EXPECT_EQ(WriteFileWhole(dir.filePath("missing/x.clk"), "x").error, ENOENT);

    // A copy names what it replaces as it stands, and never replaces a file
    // it is only to be placed beside.
    DurableFile copy(link, DurableFile::Kind::Copy);
    ASSERT_TRUE(copy.Write("copied"));
    EXPECT_EQ(copy.PlaceAs(path), DurableFile::Placed::Taken);
    EXPECT_EQ(copy.PlaceAs(dir.filePath("Clocks")), DurableFile::Placed::Taken);
    EXPECT_EQ(copy.PlaceAs(dir.filePath("Default (2).clk")), DurableFile::Placed::Yes);
    EXPECT_EQ(FileBytes(dir.filePath("Default (2).clk")), "copied");
    EXPECT_EQ(FileBytes(path), "through the link");
    EXPECT_EQ(Entries(dir), (QStringList{"Clocks", "Default (2).clk", "Default.clk", "link.clk"}));
}

}  // namespace
