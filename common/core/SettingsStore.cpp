#include "SettingsStore.h"

#include "RuntimeError.h"

#include <sqlite3.h>
#include <QDir>
#include <QFileInfo>
#include <QStringDecoder>
#include <memory>

namespace sonavel {

namespace {

constexpr int kBusyTimeoutMs = 5000;

// Not QString::fromUtf8: it takes a leading U+FEFF for a byte-order mark and
// drops it, so a value beginning with one would change on every read.
QString DecodeValue(sqlite3_stmt* stmt, int index) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, index));
    if (!text) return QString();
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless |
                                                       QStringConverter::Flag::ConvertInitialBom);
    return decoder.decode(QByteArrayView(text, sqlite3_column_bytes(stmt, index)));
}

class Statement {
  public:
    Statement(sqlite3* db, const char* sql) {
        if (sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr) != SQLITE_OK) m_stmt = nullptr;
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool Ok() const { return m_stmt != nullptr; }
    void Bind(int index, const QString& text) {
        const QByteArray utf8 = text.toUtf8();
        sqlite3_bind_text(m_stmt, index, utf8.constData(), static_cast<int>(utf8.size()),
                          SQLITE_TRANSIENT);
    }
    int Step() { return sqlite3_step(m_stmt); }
    QString Column(int index) { return DecodeValue(m_stmt, index); }

  private:
    sqlite3_stmt* m_stmt = nullptr;
};

}  // namespace

SettingsStore::SettingsStore(const QString& path) : m_path(path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, flags, nullptr) != SQLITE_OK) {
        const QString reason = QString::fromUtf8(m_db ? sqlite3_errmsg(m_db) : "out of memory");
        sqlite3_close(m_db);
        m_db = nullptr;
        throw StoreError(path, reason);
    }
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
    const auto refuse = [&](const QString& reason) {
        // v2: a statement still being destroyed on the way out must not
        // keep the connection, and the file, open.
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        throw StoreError(path, reason);
    };
    // A damaged or foreign file shows itself at the first statement that reads
    // the header or the schema; this is where we refuse it. So is a table of
    // our name but another shape (made by a tool, or another layout): it
    // would fail at the first read, half-way through a start. Both before
    // anything is written, so the file is left as it was.
    for (const auto& [table, shape] :
         {std::pair{"settings", "SELECT app, section, key, value FROM settings LIMIT 0"},
          std::pair{"sections", "SELECT app, section FROM sections LIMIT 0"}}) {
        Statement exists(m_db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?1");
        if (!exists.Ok()) refuse(QString::fromUtf8(sqlite3_errmsg(m_db)));
        exists.Bind(1, QString::fromLatin1(table));
        const int rc = exists.Step();
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) refuse(QString::fromUtf8(sqlite3_errmsg(m_db)));
        if (rc == SQLITE_ROW && !Statement(m_db, shape).Ok()) {
            refuse(QString::fromUtf8(sqlite3_errmsg(m_db)));
        }
    }
    const char* setup =
        "PRAGMA journal_mode=WAL;"
        "PRAGMA synchronous=NORMAL;"
        "CREATE TABLE IF NOT EXISTS sections(app TEXT NOT NULL, section TEXT NOT NULL,"
        " PRIMARY KEY(app, section));"
        "CREATE TABLE IF NOT EXISTS settings(app TEXT NOT NULL, section TEXT NOT NULL,"
        " key TEXT NOT NULL, value TEXT NOT NULL, PRIMARY KEY(app, section, key));";
    char* message = nullptr;
    if (sqlite3_exec(m_db, setup, nullptr, nullptr, &message) != SQLITE_OK) {
        const QString reason = QString::fromUtf8(message ? message : sqlite3_errmsg(m_db));
        sqlite3_free(message);
        refuse(reason);
    }
    Statement check(m_db, "PRAGMA quick_check");
    if (!check.Ok() || check.Step() != SQLITE_ROW || check.Column(0) != QLatin1String("ok")) {
        const QString reason =
            check.Ok() ? check.Column(0) : QString::fromUtf8(sqlite3_errmsg(m_db));
        refuse(reason.isEmpty() ? QStringLiteral("database is damaged") : reason);
    }
}

SettingsStore::~SettingsStore() {
    sqlite3_finalize(m_get);
    sqlite3_close(m_db);
}

StoreFailure::StoreFailure(const QString& path, const QString& what, const QString& reason)
    : RuntimeError(err::kPathFileAccess,
                   QStringLiteral("Settings store %1 failed: %2 (%3)").arg(what, reason, path),
                   QStringLiteral("SettingsStore")),
      m_path(path),
      m_reason(reason) {}

void SettingsStore::Fail(const QString& what, bool rollBack) {
    // The message first: rolling back would replace it.
    const QString message = QString::fromUtf8(sqlite3_errmsg(m_db));
    if (rollBack) sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    throw StoreFailure(m_path, what, message);
}

void SettingsStore::SaveSetting(const QString& app, const QString& section, const QString& key,
                                const QString& value) {
    Put(app, section, {{key, value}}, false);
}

void SettingsStore::SaveSettings(const QString& app, const QList<SectionRows>& sections) {
    const QString what = QStringLiteral("save");
    if (sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) Fail(what);
    for (const SectionRows& section : sections)
        WriteRows(app, section.first, section.second, false, what);
    if (sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) Fail(what, true);
}

void SettingsStore::Put(const QString& app, const QString& section, const QList<SettingRow>& rows,
                        bool replace) {
    const QString what = QStringLiteral("save");
    // One transaction: a reader, or a crash half-way, sees all of it or none.
    if (sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) Fail(what);
    WriteRows(app, section, rows, replace, what);
    if (sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) Fail(what, true);
}

void SettingsStore::ReplaceApplication(const QString& app, const QList<SectionRows>& sections) {
    const QString what = QStringLiteral("save");
    if (sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) Fail(what);
    for (const char* sql :
         {"DELETE FROM settings WHERE app = ?1", "DELETE FROM sections WHERE app = ?1"}) {
        Statement del(m_db, sql);
        if (!del.Ok()) Fail(what, true);
        del.Bind(1, app);
        if (del.Step() != SQLITE_DONE) Fail(what, true);
    }
    for (const SectionRows& section : sections)
        WriteRows(app, section.first, section.second, false, what);
    if (sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) Fail(what, true);
}

void SettingsStore::WriteRows(const QString& app, const QString& section,
                              const QList<SettingRow>& rows, bool replace, const QString& what) {
    if (replace) {
        Statement del(m_db, "DELETE FROM settings WHERE app = ?1 AND section = ?2");
        if (!del.Ok()) Fail(what, true);
        del.Bind(1, app);
        del.Bind(2, section);
        if (del.Step() != SQLITE_DONE) Fail(what, true);
    }
    Statement sec(m_db, "INSERT OR IGNORE INTO sections(app, section) VALUES(?1, ?2)");
    if (!sec.Ok()) Fail(what, true);
    sec.Bind(1, app);
    sec.Bind(2, section);
    if (sec.Step() != SQLITE_DONE) Fail(what, true);
    for (const SettingRow& row : rows) {
        // An upsert keeps the row and so the key's place in the enumeration.
        Statement put(m_db,
                      "INSERT INTO settings(app, section, key, value) VALUES(?1, ?2, ?3, ?4)"
                      " ON CONFLICT(app, section, key) DO UPDATE SET value = excluded.value");
        if (!put.Ok()) Fail(what, true);
        put.Bind(1, app);
        put.Bind(2, section);
        put.Bind(3, row.first);
        put.Bind(4, row.second);
        if (put.Step() != SQLITE_DONE) Fail(what, true);
    }
}

void SettingsStore::CreateSection(const QString& app, const QString& section) {
    RunAll({"INSERT OR IGNORE INTO sections(app, section) VALUES(?1, ?2)"}, {app, section},
           QStringLiteral("save"));
}

QString SettingsStore::GetSetting(const QString& app, const QString& section, const QString& key) {
    // The most frequent read by far (a keyword table is a few hundred of them,
    // redone as the operator types), so its statement is prepared once.
    if (!m_get &&
        sqlite3_prepare_v3(
            m_db, "SELECT value FROM settings WHERE app = ?1 AND section = ?2 AND key = ?3", -1,
            SQLITE_PREPARE_PERSISTENT, &m_get, nullptr) != SQLITE_OK) {
        m_get = nullptr;
        Fail(QStringLiteral("read"));
    }
    // Reset on every way out, so no read transaction stays open between calls.
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> reset(m_get, sqlite3_reset);
    const auto bind = [this](int index, const QString& text) {
        const QByteArray utf8 = text.toUtf8();
        sqlite3_bind_text(m_get, index, utf8.constData(), static_cast<int>(utf8.size()),
                          SQLITE_TRANSIENT);
    };
    bind(1, app);
    bind(2, section);
    bind(3, key);
    const int rc = sqlite3_step(m_get);
    if (rc == SQLITE_ROW) return DecodeValue(m_get, 0);
    if (rc != SQLITE_DONE) Fail(QStringLiteral("read"));
    return QString();
}

bool SettingsStore::SectionExists(const QString& app, const QString& section) {
    Statement get(m_db, "SELECT 1 FROM sections WHERE app = ?1 AND section = ?2");
    if (!get.Ok()) Fail(QStringLiteral("read"));
    get.Bind(1, app);
    get.Bind(2, section);
    const int rc = get.Step();
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) Fail(QStringLiteral("read"));
    return rc == SQLITE_ROW;
}

QList<SettingRow> SettingsStore::GetAllSettings(const QString& app, const QString& section) {
    if (!SectionExists(app, section)) {
        throw RuntimeError(err::kTypeMismatch, StandardErrorDescription(err::kTypeMismatch));
    }
    Statement all(m_db,
                  "SELECT key, value FROM settings WHERE app = ?1 AND section = ?2 ORDER BY rowid");
    if (!all.Ok()) Fail(QStringLiteral("read"));
    all.Bind(1, app);
    all.Bind(2, section);
    QList<SettingRow> rows;
    int rc;
    while ((rc = all.Step()) == SQLITE_ROW)
        rows.append({all.Column(0), all.Column(1)});
    if (rc != SQLITE_DONE) Fail(QStringLiteral("read"));
    return rows;
}

void SettingsStore::ReplaceSection(const QString& app, const QString& section,
                                   const QList<SettingRow>& rows) {
    Put(app, section, rows, true);
}

void SettingsStore::DeleteApplication(const QString& app) {
    RunAll({"DELETE FROM settings WHERE app = ?1", "DELETE FROM sections WHERE app = ?1"}, {app},
           QStringLiteral("delete"));
}

void SettingsStore::DeleteSection(const QString& app, const QString& section) {
    RunAll({"DELETE FROM settings WHERE app = ?1 AND section = ?2",
            "DELETE FROM sections WHERE app = ?1 AND section = ?2"},
           {app, section}, QStringLiteral("delete"));
}

void SettingsStore::DeleteSetting(const QString& app, const QString& section, const QString& key) {
    RunAll({"DELETE FROM settings WHERE app = ?1 AND section = ?2 AND key = ?3"},
           {app, section, key}, QStringLiteral("delete"));
}

void SettingsStore::RunAll(std::initializer_list<const char*> sqls, const QStringList& params,
                           const QString& what) {
    // IMMEDIATE takes the write lock up front, so the other program waits on
    // the busy timeout instead of failing half-way through.
    if (sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) Fail(what);
    for (const char* sql : sqls) {
        Statement stmt(m_db, sql);
        bool ok = stmt.Ok();
        if (ok) {
            for (int i = 0; i < params.size(); ++i)
                stmt.Bind(i + 1, params[i]);
            ok = stmt.Step() == SQLITE_DONE;
        }
        if (!ok) Fail(what, true);
    }
    if (sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) Fail(what, true);
}

}  // namespace sonavel
