#pragma once

#include "Loudness.h"

#include <QString>
#include <functional>
#include <optional>

struct sqlite3;

namespace sonavel {

class Clock;

// What the cache holds for a file.
struct CachedLoudness {
    LoudnessMeasure measure;
    // A file that cannot be measured is named once in an error log; set once it was.
    bool problemReported = false;
};

// The measures of the station's files, kept in Loudness.db in the program
// folder (SQLite, apart from the settings store: thousands of rows that can
// be measured again at any time). A file is known by its path, size and
// modification time, so a changed file reads as unknown.
//
// Never fatal: a damaged file is set aside under a dated name and the cache
// starts afresh; one that cannot be opened at all leaves a cache in memory
// for the run. Either is told once to the notice.
class LoudnessCache {
  public:
    using Notice = std::function<void(const QString&)>;

    // Opens nothing yet: the file is opened, or made, on the first use.
    LoudnessCache(const QString& programFolder, const Clock& clock, Notice notice = {});
    ~LoudnessCache();
    LoudnessCache(const LoudnessCache&) = delete;
    LoudnessCache& operator=(const LoudnessCache&) = delete;

    static QString FileIn(const QString& programFolder);
    const QString& Path() const { return m_path; }

    std::optional<CachedLoudness> Find(const FileKey& key);
    // Replaces what was kept for the path.
    void Store(const FileKey& key, const LoudnessMeasure& measure, bool problemReported = false);
    void MarkReported(const FileKey& key);

  private:
    bool Open();
    void Close();
    bool OpenFile(QString& why, bool& damaged);
    // The file is unusable: set aside and started afresh, or, when even
    // that fails, the cache goes to memory.
    void SetAside(const QString& why);
    void OpenInMemory(const QString& why);
    // A statement failed with this SQLite result: a damaged file is set aside.
    void Failed(int result);

    QString m_path;
    const Clock& m_clock;
    Notice m_notice;
    sqlite3* m_db = nullptr;
    bool m_tried = false;
    bool m_inMemory = false;
};

}  // namespace sonavel
