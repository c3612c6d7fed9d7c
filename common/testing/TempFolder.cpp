#include "TempFolder.h"

#include <sqlite3.h>
#include <QDir>
#include <QFile>

namespace sonavel {

TempFolderTest::TempFolderTest() {
    EXPECT_TRUE(m_dir.isValid());
    QDir().mkpath(ProgramFolder());
    m_store = std::make_unique<SettingsStore>(m_dir.filePath(QStringLiteral("config/settings.db")));
}

Session& TempFolderTest::MakeSession(Product product) {
    m_session = std::make_unique<Session>(product, ProgramFolder(), *m_store, m_dialogs, m_clock);
    return *m_session;
}

void TempFolderTest::UseStationFolders(Session& session) const {
    session.ProgramLoggingEnabled = true;
    session.ProgramLogFileName = Path(QStringLiteral("program.log"));
    session.ErrorLoggingEnabled = true;
    session.ErrorLogFileName = Path(QStringLiteral("error.log"));
    session.Player.PlaylistFolder = Path(QStringLiteral("Playlists"));
    session.Player.TimeCheckFolder = Path(QStringLiteral("Time"));
    QDir().mkpath(session.Player.PlaylistFolder);
    QDir().mkpath(session.Player.TimeCheckFolder);
}

void TempFolderTest::ReshapeStoreTable() const {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(m_store->Path()).constData(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db,
                           "DROP TABLE settings;"
                           "CREATE TABLE settings(app TEXT, section TEXT, key TEXT, val TEXT);",
                           nullptr, nullptr, nullptr),
              SQLITE_OK)
        << sqlite3_errmsg(db);
    sqlite3_close(db);
}

}  // namespace sonavel
