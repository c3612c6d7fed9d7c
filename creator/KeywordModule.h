#pragma once

#include "Session.h"
#include "SettingsSchema.h"
#include "SettingsStore.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <array>
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

// The values of a keyword's section of the keyword store, in the order they
// are stored. A new keyword's values come from NewKeyword, not from defaults
// of the table: its description is its name and its folder the one last
// browsed.
using KeywordField = SettingField<KeywordDefinition>;
namespace keywordfield {
inline constexpr KeywordField Description{
    "Description", SettingKind::Text, {}, Bind<KeywordDefinition>([](auto& k) -> auto& {
        return k.Description;
    })};
// A keyword counts as present while its section holds a colour.
inline constexpr KeywordField Color{"Color", SettingKind::Int32, {}, Bind<KeywordDefinition>([
                                    ](auto& k) -> auto& { return k.Color; })};
inline constexpr KeywordField Folder{"Folder", SettingKind::Text, {}, Bind<KeywordDefinition>([
                                     ](auto& k) -> auto& { return k.Folder; })};
inline constexpr KeywordField EstimatedTime{
    "Estimated Time", SettingKind::Int32, {}, Bind<KeywordDefinition>([](auto& k) -> auto& {
        return k.EstimatedTime;
    })};
inline constexpr KeywordField Notes{"Notes", SettingKind::Text, {}, Bind<KeywordDefinition>([
                                    ](auto& k) -> auto& { return k.Notes; })};
}  // namespace keywordfield

inline constexpr std::array<const KeywordField*, 5> kKeywordFields{
    &keywordfield::Description, &keywordfield::Color, &keywordfield::Folder,
    &keywordfield::EstimatedTime, &keywordfield::Notes};

// A keyword's values as stored, in table order: the maintenance window shows
// and edits the texts, which need not convert.
struct KeywordTexts {
    std::array<QString, kKeywordFields.size()> texts;
    const QString& Of(const KeywordField& field) const;
    QString& Of(const KeywordField& field);
};

// The keyword window's list and fields, as the keyword code drives them.
class KeywordListView {
  public:
    virtual ~KeywordListView() = default;
    virtual QString SelectedKeyword() const = 0;
    virtual void ClearList() = 0;
    virtual void AddKeyword(const QString& keyword) = 0;
    virtual void SelectKeyword(const QString& keyword) = 0;
    virtual void ClearText() = 0;
    // Blank, unselected fields while a new keyword is asked for.
    virtual void ClearKeywordFields() = 0;
    // Shows a folder in the folder field without storing it.
    virtual void ShowFolder(const QString& folder) = 0;
    // The fields follow the list's selection: a keyword's values, or greyed.
    virtual void ShowSelection() = 0;
};

// One line of the main window's keyword pane.
struct KeywordPaneLine {
    QString time;     // the estimated time, as FormatTime writes it
    QString keyword;  // shown in the keyword's colour
    std::int32_t color = 0;
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
    // backup. Export refuses an empty store, asks before writing values the
    // file cannot carry as they are, and reports a file it cannot write in the
    // error box (Retry writes again); it returns true when the file was written.
    // Import checks the whole file before it replaces the store, and returns
    // true when it did.
    void ExportKeywordDefinitions();
    void ImportKeywordDefinitions();
    bool ExportKeywordDefinitionsTo(const QString& path);
    bool ImportKeywordDefinitionsFrom(const QString& path);
    // The lines of the keyword definition file of the whole store, as Export
    // writes them, without its questions and messages: backup writes them.
    // Empty when the store holds no keywords; store failures raise.
    QStringList KeywordDefinitionFileLines();

    // The keyword maintenance window's work on the store. The texts of a
    // keyword are empty when the store cannot be read; a value that cannot be
    // stored is reported and the window goes on.
    KeywordTexts ReadKeywordTexts(const QString& name);
    void StoreKeywordValue(const QString& name, const KeywordField& field, const QString& text);
    void StoreKeywordTexts(const QString& name, const KeywordTexts& values);
    // Asks for a new keyword's name, with a browse for its folder first when
    // browse is set, and adds it to the list view; a name taken already, or
    // none, leaves the list and the previously selected keyword as they were.
    void AddNewKeyword(bool browse);

    // The pane's lines from the loaded table: sorted by character code,
    // capitals before small letters, as operators have always seen the list;
    // a name listed twice shows the first definition both times.
    std::vector<KeywordPaneLine> KeywordPaneLines() const;
    // The keyword a pane line names, ending in CR LF; empty for a line that
    // names none (the empty line after the last keyword).
    static QString PaneLineKeyword(const QString& line);

    // First keyword whose name matches ignoring letter case, as clock lines
    // refer to them; nullptr when none.
    const KeywordDefinition* FindKeyword(const QString& name) const;
    static const KeywordDefinition* FindKeyword(const std::vector<KeywordDefinition>& table,
                                                const QString& name);

    // "Keyword 0", "Keyword 1", ...: the list's key for a number.
    static QString KeywordKey(std::int32_t number);
    // A new keyword's values: its name as description, colour 0, one second,
    // no notes.
    static KeywordDefinition NewKeyword(const QString& name, const QString& folder);

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

    QString KeywordSetting(const QString& keyword, const KeywordField& field);
    // The first loaded keyword of exactly this name.
    const KeywordDefinition* FindExactly(const QString& name) const;

    Session& m_session;
    KeywordListView* m_list = nullptr;
    KeywordPane* m_pane = nullptr;
};

}  // namespace sonavel
