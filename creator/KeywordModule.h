#pragma once

#include "Session.h"
#include "SettingsStore.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace sonavel {

struct KeywordDefinition {
    QString Keyword;
    QString Description;
    std::int32_t Color = 0;  // 0x00BBGGRR
    QString Folder;
    std::int32_t EstimatedTime = 0;  // seconds
    QString Notes;
    // Filled by playlist generation with the sound files of the keyword's folder.
    QList<QStringList> Files;
};

// The keyword window's list, as the keyword code drives it.
class KeywordListView {
  public:
    virtual ~KeywordListView() = default;
    virtual QString SelectedKeyword() const = 0;
    virtual void ClearList() = 0;
    virtual void AddKeyword(const QString& keyword) = 0;
    virtual void SelectKeyword(const QString& keyword) = 0;
    virtual void ClearText() = 0;
};

// The main window's keyword pane.
class KeywordPane {
  public:
    virtual ~KeywordPane() = default;
    virtual void Clear() = 0;
    // Shows the store's keywords again after it changed behind the window's back.
    virtual void Refill() {}
};

inline constexpr char kKeywordListSection[] = "Keywords";

// The keyword store of Creator and its in-memory table. One per program run.
class KeywordModule {
  public:
    explicit KeywordModule(Session& session) : m_session(session) {}

    void SetListView(KeywordListView* view) { m_list = view; }
    void SetPane(KeywordPane* pane) { m_pane = pane; }

    // Fills KeywordDefinitions from the store; false when the store holds no
    // keywords or a listed keyword has lost its numbers.
    bool GetKeywordDefinitions();
    // Rebuilds the "Keywords" list from the keywords that still exist.
    void RefreshKeywordList();

    // Writes a new keyword under number LastKeywordNumber + 1 with the new
    // keyword's values. A name the store cannot hold is refused with a message.
    bool AddKeywordEntry(const QString& name);
    void SetNewKeywordDefaults(const QString& name);
    // True when the name equals a listed keyword exactly.
    bool IsKeywordTaken(const QString& name) const;
    // Removes a keyword's section when it still has one.
    void DeleteKeywordSection(const QString& name);
    // Removes every keyword and the list.
    void DeleteAllKeywordDefinitions();

    // The keyword definition file. The dialog-driven procedures ask for the
    // file and end quietly on Cancel; the path-taking ones serve tests and
    // backup. Export refuses an empty store and asks before writing values the
    // file cannot carry as they are; it returns true when the file was written.
    // Import checks the whole file before it replaces the store, and returns
    // true when it did.
    void ExportKeywordDefinitions();
    void ImportKeywordDefinitions();
    bool ExportKeywordDefinitionsTo(const QString& path);
    bool ImportKeywordDefinitionsFrom(const QString& path);

    // First keyword whose name matches ignoring letter case, as clock lines
    // refer to them; nullptr when none.
    const KeywordDefinition* FindKeyword(const QString& name) const;
    static const KeywordDefinition* FindKeyword(const std::vector<KeywordDefinition>& table,
                                                const QString& name);

    // "Keyword 0", "Keyword 1", ...: the list's key for a number.
    static QString KeywordKey(std::int32_t number);

    std::vector<KeywordDefinition> KeywordDefinitions;
    std::int32_t LastKeywordNumber = -1;
    // The "Keywords" listing as last read, in enumeration order.
    QList<SettingRow> KeywordList;
    // The keyword folder most recently chosen with a browse in this run.
    QString LastKeywordFolder;

  private:
    struct StoredKeyword;
    bool Export(const std::function<std::optional<QString>()>& choosePath);
    std::vector<StoredKeyword> ReadStoredKeywords();
    bool ConfirmValuesTheFileLoses(const std::vector<StoredKeyword>& keywords);
    QStringList KeywordFileLines(const std::vector<StoredKeyword>& keywords);
    bool Import(const std::function<std::optional<QString>()>& choosePath);

    QString KeywordSetting(const QString& keyword, const char* key);

    Session& m_session;
    KeywordListView* m_list = nullptr;
    KeywordPane* m_pane = nullptr;
};

}  // namespace sonavel
