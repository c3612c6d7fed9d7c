#include "LoudnessCache.h"

#include "Clock.h"

#include <sqlite3.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace sonavel {

namespace {

// The players ask on their own thread between two elements; another program
// writing a row holds the file for a moment at most.
constexpr int kBusyTimeoutMs = 250;

const char* const kSchema =
    "CREATE TABLE IF NOT EXISTS loudness(path TEXT PRIMARY KEY, size INTEGER NOT NULL,"
    " modified INTEGER NOT NULL, integrated REAL, true_peak REAL, seconds REAL,"
    " problem TEXT NOT NULL, reported INTEGER NOT NULL, measured TEXT NOT NULL);";
const char* const kShape =
    "SELECT path, size, modified, integrated, true_peak, seconds, problem, reported, measured"
    " FROM loudness LIMIT 0";

bool IsDamage(int result) {
    const int primary = result & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

class Statement {
  public:
    Statement(sqlite3* db, const char* sql)
        : m_result(sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr)) {}
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    int Result() const { return m_result; }
    bool Ok() const { return m_stmt != nullptr; }
    void Bind(int index, const QString& text) {
        const QByteArray utf8 = text.toUtf8();
        sqlite3_bind_text(m_stmt, index, utf8.constData(), static_cast<int>(utf8.size()),
                          SQLITE_TRANSIENT);
    }
    void Bind(int index, std::int64_t number) { sqlite3_bind_int64(m_stmt, index, number); }
    void Bind(int index, double number) { sqlite3_bind_double(m_stmt, index, number); }
    int Step() { return m_result = sqlite3_step(m_stmt); }
    double Real(int column) { return sqlite3_column_double(m_stmt, column); }
    std::int64_t Integer(int column) { return sqlite3_column_int64(m_stmt, column); }
    QString Text(int column) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
        return text ? QString::fromUtf8(text, sqlite3_column_bytes(m_stmt, column)) : QString();
    }

  private:
    sqlite3_stmt* m_stmt = nullptr;
    int m_result;
};

QString Message(sqlite3* db, int result) {
    return db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(result));
}

}  // namespace

LoudnessCache::LoudnessCache(const QString& programFolder, const Clock& clock, Notice notice)
    : m_path(FileIn(programFolder)), m_clock(clock), m_notice(std::move(notice)) {}

LoudnessCache::~LoudnessCache() {
    Close();
}

QString LoudnessCache::FileIn(const QString& programFolder) {
    return programFolder + QStringLiteral("/Loudness.db");
}

void LoudnessCache::Close() {
    sqlite3_close_v2(m_db);
    m_db = nullptr;
}

bool LoudnessCache::OpenFile(QString& why, bool& damaged) {
    damaged = false;
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    int result = sqlite3_open_v2(QFile::encodeName(m_path).constData(), &m_db,
                                 SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    const auto fail = [&](int code, const QString& reason) {
        why = reason;
        damaged = IsDamage(code);
        Close();
        return false;
    };
    if (result != SQLITE_OK) return fail(result, Message(m_db, result));
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
    // A file that is not a database, or is damaged, shows itself at the
    // first statement that reads it.
    char* message = nullptr;
    result = sqlite3_exec(m_db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", nullptr,
                          nullptr, &message);
    if (result == SQLITE_OK) result = sqlite3_exec(m_db, kSchema, nullptr, nullptr, &message);
    if (result != SQLITE_OK) {
        const QString reason = message ? QString::fromUtf8(message) : Message(m_db, result);
        sqlite3_free(message);
        return fail(result, reason);
    }
    {
        Statement check(m_db, "PRAGMA quick_check");
        if (!check.Ok()) return fail(check.Result(), Message(m_db, check.Result()));
        const int step = check.Step();
        if (step != SQLITE_ROW) return fail(step, Message(m_db, step));
        if (check.Text(0) != QLatin1String("ok")) return fail(SQLITE_CORRUPT, check.Text(0));
    }
    // A table of this name in another shape (another version, a tool) is
    // as unusable as a damaged one.
    Statement shape(m_db, kShape);
    if (!shape.Ok()) return fail(SQLITE_CORRUPT, Message(m_db, shape.Result()));
    return true;
}

bool LoudnessCache::Open() {
    if (m_db) return true;
    if (m_tried) return false;
    m_tried = true;
    QString why;
    bool damaged = false;
    if (OpenFile(why, damaged)) return true;
    if (damaged) {
        SetAside(why);
    } else {
        OpenInMemory(why);
    }
    return m_db != nullptr;
}

void LoudnessCache::SetAside(const QString& why) {
    Close();
    const QString stem = m_path + QStringLiteral(".damaged-") +
                         m_clock.Now().date().toString(QStringLiteral("yyyy-MM-dd"));
    QString aside = stem;
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = stem + QStringLiteral("-%1").arg(n);
    if (!QFile::rename(m_path, aside)) {
        OpenInMemory(why);
        return;
    }
    // The journal belongs to the file set aside: left here, it would be
    // played into the new one.
    const QString wal = m_path + QStringLiteral("-wal");
    if (QFileInfo::exists(wal)) QFile::rename(wal, aside + QStringLiteral("-wal"));
    QFile::remove(m_path + QStringLiteral("-shm"));
    QString again;
    bool damaged = false;
    if (!OpenFile(again, damaged)) {
        OpenInMemory(again);
        return;
    }
    if (m_notice) {
        m_notice(QStringLiteral("The loudness cache %1 was damaged (%2). It was set aside as %3 "
                                "and is built again as files are measured.")
                     .arg(m_path, why, QFileInfo(aside).fileName()));
    }
}

void LoudnessCache::OpenInMemory(const QString& why) {
    Close();
    m_inMemory = true;
    if (sqlite3_open(":memory:", &m_db) != SQLITE_OK ||
        sqlite3_exec(m_db, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK) {
        Close();
    }
    if (m_notice) {
        m_notice(QStringLiteral("The loudness cache %1 cannot be used (%2). Measures are kept "
                                "only until the program ends.")
                     .arg(m_path, why));
    }
}

void LoudnessCache::Failed(int result) {
    if (!IsDamage(result) || m_inMemory) return;
    SetAside(Message(m_db, result));
}

std::optional<CachedLoudness> LoudnessCache::Find(const FileKey& key) {
    if (!Open()) return std::nullopt;
    Statement find(m_db,
                   "SELECT integrated, true_peak, seconds, problem, reported FROM loudness"
                   " WHERE path = ?1 AND size = ?2 AND modified = ?3");
    if (!find.Ok()) {
        Failed(find.Result());
        return std::nullopt;
    }
    find.Bind(1, key.path);
    find.Bind(2, key.size);
    find.Bind(3, key.modified);
    const int result = find.Step();
    if (result != SQLITE_ROW) {
        if (result != SQLITE_DONE) Failed(result);
        return std::nullopt;
    }
    CachedLoudness cached;
    cached.measure.integrated = find.Real(0);
    cached.measure.truePeak = find.Real(1);
    cached.measure.seconds = find.Real(2);
    cached.measure.problem = find.Text(3);
    cached.problemReported = find.Integer(4) != 0;
    return cached;
}

void LoudnessCache::Store(const FileKey& key, const LoudnessMeasure& measure,
                          bool problemReported) {
    if (!Open()) return;
    Statement store(m_db,
                    "INSERT OR REPLACE INTO loudness(path, size, modified, integrated, true_peak,"
                    " seconds, problem, reported, measured) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7,"
                    " ?8, ?9)");
    if (!store.Ok()) {
        Failed(store.Result());
        return;
    }
    store.Bind(1, key.path);
    store.Bind(2, key.size);
    store.Bind(3, key.modified);
    store.Bind(4, measure.integrated);
    store.Bind(5, measure.truePeak);
    store.Bind(6, measure.seconds);
    store.Bind(7, measure.problem);
    store.Bind(8, std::int64_t{problemReported ? 1 : 0});
    store.Bind(9, m_clock.Now().toString(Qt::ISODate));
    // A store that fails (the disk is full, another program holds the file
    // too long) costs only a measure again later.
    const int result = store.Step();
    if (result != SQLITE_DONE) Failed(result);
}

void LoudnessCache::MarkReported(const FileKey& key) {
    if (!Open()) return;
    Statement mark(m_db,
                   "UPDATE loudness SET reported = 1 WHERE path = ?1 AND size = ?2 AND"
                   " modified = ?3");
    if (!mark.Ok()) {
        Failed(mark.Result());
        return;
    }
    mark.Bind(1, key.path);
    mark.Bind(2, key.size);
    mark.Bind(3, key.modified);
    const int result = mark.Step();
    if (result != SQLITE_DONE) Failed(result);
}

}  // namespace sonavel
