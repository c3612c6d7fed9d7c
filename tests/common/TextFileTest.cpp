#include "ErrorNumber.h"
#include "RuntimeError.h"
#include "TextFile.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>
#include "QtPrinters.h"

using namespace sonavel;

namespace {

QByteArray Bytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(TextFileTest, WritesCrLfAndReadsBothLineEnds) {
    QTemporaryDir dir;
    const QString path = dir.filePath("a.txt");
    textfile::WriteLines(path, {"one", QStringLiteral("zwö"), ""});
    EXPECT_EQ(Bytes(path), QByteArray("one\r\nzw\xc3\xb6\r\n\r\n"));
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
        EXPECT_EQ(Bytes(path), QByteArray("old"));
    }
}

}  // namespace
