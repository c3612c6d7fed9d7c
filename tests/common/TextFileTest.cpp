#include "ErrorNumber.h"
#include "FileBytes.h"
#include "RuntimeError.h"
#include "TextFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <QFile>
#include <QTemporaryDir>
#include "QtPrinters.h"

using namespace sonavel;

namespace {

TEST(TextFileTest, WritesCrLfAndReadsBothLineEnds) {
    QTemporaryDir dir;
    const QString path = dir.filePath("a.txt");
    textfile::WriteLines(path, {"one", QStringLiteral("zwö"), ""});
    EXPECT_EQ(FileBytes(path), QByteArray("one\r\nzw\xc3\xb6\r\n\r\n"));
    EXPECT_EQ(textfile::ReadLines(path), QStringList({"one", QStringLiteral("zwö"), ""}));

    textfile::AppendLine(path, "four");
    textfile::AppendLines(path, {"five", "six"});
    EXPECT_EQ(textfile::ReadLines(path).mid(3), QStringList({"four", "five", "six"}));

    QFile lf(dir.filePath("lf.txt"));
    ASSERT_TRUE(lf.open(QIODevice::WriteOnly));
    lf.write("a\nb\r\nc");
    lf.close();
    EXPECT_EQ(textfile::ReadLines(lf.fileName()), QStringList({"a", "b", "c"}));
}

TEST(TextFileTest, FailuresCarryTheNumbersProceduresTestFor) {
    QTemporaryDir dir;
    EXPECT_EQ(ErrorNumberOf([&] { textfile::ReadAll(dir.filePath("missing.txt")); }),
              err::kFileNotFound);
    EXPECT_EQ(ErrorNumberOf([&] { textfile::ReadAll(dir.filePath("no/such/a.txt")); }),
              err::kPathNotFound);
    EXPECT_EQ(ErrorNumberOf([&] { textfile::AppendLine(dir.filePath("no/such/a.txt"), "x"); }),
              err::kPathNotFound);
    EXPECT_EQ(ErrorNumberOf([&] { textfile::ReadAll(dir.path()); }), err::kPathFileAccess);
    EXPECT_EQ(ErrorNumberOf([&] { textfile::WriteAll("", "x"); }), err::kBadFileName);

    // A failed whole-file write leaves the old content in place.
    const QString path = dir.filePath("keep.txt");
    textfile::WriteAll(path, "old");
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
    const int number = ErrorNumberOf([&] { textfile::WriteAll(path, "new"); });
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (number != 0) {  // root may write anyway
        EXPECT_EQ(FileBytes(path), QByteArray("old"));
    }
}

TEST(TextFileTest, OnlyRegularFilesOfBoundedSizeAreRead) {
    QTemporaryDir dir;
    // A pipe without a writer would block the open for ever; a device or a
    // link to one would be read without end.
    const QString pipe = dir.filePath("Mon0900.lst");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const QString zero = dir.filePath("Tue0900.lst");
    ASSERT_TRUE(QFile::link("/dev/zero", zero));
    for (const QString& path : {pipe, zero, QStringLiteral("/dev/null")}) {
        EXPECT_EQ(ErrorNumberOf([&] { textfile::ReadLines(path); }), err::kPathFileAccess)
            << path.toStdString();
    }

    // Up to the bound a file is read whole; one byte beyond and it is refused.
    const QString big = dir.filePath("big.clk");
    {
        QFile file(big);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(textfile::kMostBytes));  // sparse: costs no disk
    }
    EXPECT_EQ(textfile::ReadBytes(big).size(), textfile::kMostBytes);
    {
        QFile file(big);
        ASSERT_TRUE(file.open(QIODevice::Append));
        ASSERT_EQ(file.write("x"), 1);
    }
    try {
        textfile::ReadAll(big);
        FAIL() << "a file beyond the bound must be refused";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.Number(), err::kPathFileAccess);
        EXPECT_TRUE(error.Description().contains(big)) << error.Description().toStdString();
    }

    // A link to a regular file is read as the file.
    textfile::WriteLines(dir.filePath("real.lst"), {"a"});
    ASSERT_TRUE(QFile::link(dir.filePath("real.lst"), dir.filePath("link.lst")));
    EXPECT_EQ(textfile::ReadLines(dir.filePath("link.lst")), QStringList{"a"});
}

TEST(TextFileTest, DamagedBytesShowAsTheReplacementMark) {
    QTemporaryDir dir;
    const QString path = dir.filePath("Default.clk");
    const QChar mark = QChar::ReplacementCharacter;
    auto write = [&](const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    };
    // A sequence cut off at the very end of the file is damage like any other.
    write("News\r\nSports\r\n\xC3");
    EXPECT_EQ(textfile::ReadLines(path), QStringList({"News", "Sports", QString(mark)}));
    write("News\r\nZw\xC3");
    EXPECT_EQ(textfile::ReadAll(path), "News\r\nZw" + QString(mark));
    // Cut off at the end or in mid-line, a sequence shows the same marks.
    write(
        "a\xE2\x82"
        "b\r\n\xE2\x82");
    EXPECT_EQ(textfile::ReadLines(path),
              QStringList({"a" + QString(2, mark) + "b", QString(2, mark)}));
    // A file's own byte-order mark is no text; one further on is.
    write("\xEF\xBB\xBFNews\r\n\xEF\xBB\xBFSports");
    EXPECT_EQ(textfile::ReadLines(path),
              QStringList({"News", QString(QChar::ByteOrderMark) + "Sports"}));

    EXPECT_TRUE(textfile::ReadsBackAsWritten(QStringLiteral("Zwölf \U0001F4FB")));
    EXPECT_FALSE(textfile::ReadsBackAsWritten(QString(QChar::ByteOrderMark) + "News"));
    EXPECT_TRUE(textfile::ReadsBackAsWritten("News" + QString(QChar::ByteOrderMark)));
    EXPECT_FALSE(textfile::ReadsBackAsWritten(QString("News") + QChar(0xD800)));
    EXPECT_FALSE(textfile::ReadsBackAsWritten(QString(QChar(0xDC00)) + "News"));
}

}  // namespace
