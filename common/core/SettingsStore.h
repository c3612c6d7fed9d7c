#pragma once

#include "RuntimeError.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <initializer_list>
#include <stdexcept>

struct sqlite3;
struct sqlite3_stmt;

namespace sonavel {

// The store cannot be opened or is damaged. The programs stop with a message
// naming the file rather than replace it: a station's settings, keywords and
// recent lists live there.
class StoreError : public std::runtime_error {
  public:
    StoreError(const QString& path, const QString& reason)
        : std::runtime_error(reason.toStdString()), m_path(path), m_reason(reason) {}
    const QString& Path() const { return m_path; }
    const QString& Reason() const { return m_reason; }

  private:
    QString m_path;
    QString m_reason;
};

// An operation on an open store failed (the file went away, the disk failed,
// another program holds it too long). A RuntimeError, so the calling
// procedure's trap reports it; it keeps the file and the store's own reason
// for a start-up that must stop with a message naming them.
class StoreFailure : public RuntimeError {
  public:
    StoreFailure(const QString& path, const QString& what, const QString& reason);
    const QString& Path() const { return m_path; }
    const QString& Reason() const { return m_reason; }

  private:
    QString m_path;
    QString m_reason;
};

using SettingRow = QPair<QString, QString>;
using SectionRows = QPair<QString, QList<SettingRow>>;

// Application / section / key tree of string values, shared by both programs.
// Keys enumerate in the order they were first written; updating a value keeps
// its place. Names and values come back exactly as they were stored, to the
// last character (a leading U+FEFF included). Failures of individual
// operations raise StoreFailure so the calling procedure's trap can report them.
class SettingsStore {
  public:
    explicit SettingsStore(const QString& path);
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    const QString& Path() const { return m_path; }

    void SaveSetting(const QString& app, const QString& section, const QString& key,
                     const QString& value);
    // Saves the rows into their sections in one transaction: a store that
    // fails half-way (a full disk) keeps every old value, never some of the
    // new ones. Keys not named keep their values; a section named with no
    // rows is made to exist.
    void SaveSettings(const QString& app, const QList<SectionRows>& sections);
    // Empty text when the key, its section or its application is missing.
    QString GetSetting(const QString& app, const QString& section, const QString& key);
    // Raises RuntimeError (type mismatch) when the section does not exist.
    QList<SettingRow> GetAllSettings(const QString& app, const QString& section);
    // Makes the section exist even while it holds no keys.
    void CreateSection(const QString& app, const QString& section);
    bool SectionExists(const QString& app, const QString& section);
    // Swaps a section's whole content for the given rows in one transaction:
    // a reader, or a crash half-way, sees the old rows or the new, never none.
    void ReplaceSection(const QString& app, const QString& section, const QList<SettingRow>& rows);
    void DeleteApplication(const QString& app);
    // Swaps everything an application holds for the given sections in one
    // transaction, so a failure half-way leaves the old content whole.
    void ReplaceApplication(const QString& app, const QList<SectionRows>& sections);
    void DeleteSection(const QString& app, const QString& section);
    void DeleteSetting(const QString& app, const QString& section, const QString& key);

  private:
    // Runs the given statements, each bound to the same parameters, as one
    // transaction, so a delete never leaves half an application behind.
    void RunAll(std::initializer_list<const char*> sqls, const QStringList& params,
                const QString& what);
    void Put(const QString& app, const QString& section, const QList<SettingRow>& rows,
             bool replace);
    // The body of a write, inside a transaction the caller has begun.
    void WriteRows(const QString& app, const QString& section, const QList<SettingRow>& rows,
                   bool replace, const QString& what);
    [[noreturn]] void Fail(const QString& what, bool rollBack = false);

    QString m_path;
    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_get = nullptr;
};

}  // namespace sonavel
