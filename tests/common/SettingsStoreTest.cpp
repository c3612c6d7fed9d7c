#include "RuntimeError.h"
#include "SettingsStore.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <thread>
#include "QtPrinters.h"

using namespace sonavel;

namespace {

class SettingsStoreTest : public ::testing::Test {
  protected:
    QString DbPath() const { return m_dir.filePath(QStringLiteral("cfg/settings.db")); }
    // Runs SQL on the store's file through a connection of its own, as
    // another tool would.
    void Sql(const char* sql) {
        QDir().mkpath(m_dir.filePath("cfg"));
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(QFile::encodeName(DbPath()).constData(), &db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK)
            << sqlite3_errmsg(db);
        sqlite3_close(db);
    }
    QTemporaryDir m_dir;
};

TEST_F(SettingsStoreTest, KeepsFirstWriteOrderAndSeparatesApplications) {
    SettingsStore store(DbPath());
    store.SaveSetting("Sonavel", "Player Settings", "B", "1");
    store.SaveSetting("Sonavel", "Player Settings", "A", "2");
    store.SaveSetting("Sonavel", "Creator Settings", "A", "other");
    store.SaveSetting("Sonavel", "Player Settings", "C", "3");
    store.SaveSetting("Sonavel", "Player Settings", "B", "updated");  // keeps its place

    const QList<SettingRow> rows = store.GetAllSettings("Sonavel", "Player Settings");
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[0], SettingRow("B", "updated"));
    EXPECT_EQ(rows[1], SettingRow("A", "2"));
    EXPECT_EQ(rows[2], SettingRow("C", "3"));
    EXPECT_EQ(store.GetSetting("Sonavel", "Creator Settings", "A"), "other");

    // Missing keys, sections and applications read as empty text.
    EXPECT_EQ(store.GetSetting("Sonavel", "Player Settings", "Missing"), "");
    EXPECT_EQ(store.GetSetting("Nobody", "Player Settings", "A"), "");

    // Values survive a reopen, unicode and all.
    store.SaveSetting("Sonavel", "Player Settings", "Folder", QStringLiteral("/home/zoë/Müsik"));
    SettingsStore again(DbPath());
    EXPECT_EQ(again.GetSetting("Sonavel", "Player Settings", "Folder"),
              QStringLiteral("/home/zoë/Müsik"));
}

TEST_F(SettingsStoreTest, NamesAndValuesComeBackToTheLastCharacter) {
    SettingsStore store(DbPath());
    const QString bom = QString(QChar::ByteOrderMark);
    const QStringList texts = {bom + "News",       bom,
                               "News" + bom,       QStringLiteral("\U0001F4FB radio"),
                               " lead and trail ", ""};
    for (const QString& text : texts) {
        store.SaveSetting("Sonavel Keyword Definitions", text, "Description", text);
        store.SaveSetting("Sonavel Keyword Definitions", "Keywords", "Keyword " + text, text);
    }
    for (const QString& text : texts) {
        EXPECT_EQ(store.GetSetting("Sonavel Keyword Definitions", text, "Description"), text)
            << text.toStdString();
        EXPECT_TRUE(store.SectionExists("Sonavel Keyword Definitions", text));
    }
    const QList<SettingRow> rows = store.GetAllSettings("Sonavel Keyword Definitions", "Keywords");
    ASSERT_EQ(rows.size(), texts.size());
    for (qsizetype i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i], SettingRow("Keyword " + texts[i], texts[i]));
    }
}

TEST_F(SettingsStoreTest, TableOfAnotherShapeIsRefusedNamingTheFile) {
    Sql("CREATE TABLE settings(app TEXT, section TEXT, key TEXT, val TEXT);"
        "INSERT INTO settings VALUES('Sonavel', 'Player Settings', 'Manual', 'True');");
    try {
        SettingsStore store(DbPath());
        FAIL() << "a table of another shape must be refused when the store opens";
    } catch (const StoreError& error) {
        EXPECT_EQ(error.Path(), DbPath());
        EXPECT_EQ(error.Reason(), "no such column: value");
    }

    // Reshaped while the store is open: the operation that meets it fails
    // naming the file, as an error the calling procedure's trap can report.
    QFile::remove(DbPath());
    SettingsStore store(DbPath());
    store.SaveSetting("Sonavel", "Player Settings", "Manual", "True");
    Sql("DROP TABLE settings; CREATE TABLE settings(app, section, key, val);");
    try {
        store.GetSetting("Sonavel", "Player Settings", "Manual");
        FAIL() << "reading a reshaped table must fail";
    } catch (const StoreFailure& failure) {
        EXPECT_EQ(failure.Number(), err::kPathFileAccess);
        EXPECT_EQ(failure.Path(), DbPath());
        EXPECT_EQ(failure.Reason(), "no such column: value");
    }
}

TEST_F(SettingsStoreTest, MissingSectionIsAnErrorButAnEmptyOneIsNot) {
    SettingsStore store(DbPath());
    try {
        store.GetAllSettings("Sonavel", "Global Settings");
        FAIL() << "reading a missing section must fail";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.Number(), err::kTypeMismatch);
    }
    store.CreateSection("Sonavel", "Global Settings");
    EXPECT_TRUE(store.GetAllSettings("Sonavel", "Global Settings").isEmpty());

    store.SaveSetting("Sonavel", "Player Settings", "A", "1");
    store.DeleteSetting("Sonavel", "Player Settings", "A");
    EXPECT_TRUE(store.GetAllSettings("Sonavel", "Player Settings").isEmpty());

    store.SaveSetting("Sonavel Recent Files", "Player", "File1", "x");
    store.DeleteApplication("Sonavel");
    EXPECT_FALSE(store.SectionExists("Sonavel", "Player Settings"));
    EXPECT_FALSE(store.SectionExists("Sonavel", "Global Settings"));
    EXPECT_EQ(store.GetSetting("Sonavel Recent Files", "Player", "File1"), "x");

    store.DeleteSection("Sonavel Recent Files", "Player");
    EXPECT_THROW(store.GetAllSettings("Sonavel Recent Files", "Player"), RuntimeError);
}

// Both programs write the one store; neither may lose the other's writes.
TEST_F(SettingsStoreTest, TwoProgramsWritingAtOnceLoseNothing) {
    { SettingsStore create(DbPath()); }  // the schema, once
    constexpr int kWrites = 300;
    auto writer = [&](const char* section) {
        SettingsStore store(DbPath());
        for (int i = 0; i < kWrites; ++i) {
            store.SaveSetting("Sonavel", section, QString::number(i), QString::number(i * 2));
            if (i % 50 == 0) store.DeleteSetting("Sonavel", section, QStringLiteral("none"));
        }
    };
    std::thread player(writer, "Player Settings");
    std::thread creator(writer, "Creator Settings");
    player.join();
    creator.join();

    SettingsStore reader(DbPath());
    for (const char* section : {"Player Settings", "Creator Settings"}) {
        const QList<SettingRow> rows = reader.GetAllSettings("Sonavel", section);
        ASSERT_EQ(rows.size(), kWrites) << section;
        for (int i = 0; i < kWrites; ++i) {
            EXPECT_EQ(rows[i], SettingRow(QString::number(i), QString::number(i * 2)));
        }
    }
}

TEST_F(SettingsStoreTest, DamagedFileIsRefusedAndLeftAsItIs) {
    QDir().mkpath(m_dir.filePath("cfg"));
    QByteArray garbage(8192, '\0');
    for (int i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<char>((i * 37 + 11) % 251);
    {
        QFile file(DbPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(garbage);
    }
    try {
        SettingsStore store(DbPath());
        FAIL() << "a damaged store must be refused";
    } catch (const StoreError& error) {
        EXPECT_EQ(error.Path(), DbPath());
        EXPECT_FALSE(error.Reason().isEmpty());
    }
    QFile file(DbPath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), garbage);
}

}  // namespace
