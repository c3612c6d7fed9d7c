#include "KeywordModule.h"

#include "CommonModule.h"
#include "ErrorModule.h"
#include "Events.h"
#include "FormatModule.h"
#include "RuntimeError.h"
#include "TextFile.h"

#include <QHash>
#include <algorithm>
#include <array>
#include <utility>

namespace sonavel {

namespace {

const QString kApp = QString::fromLatin1(kKeywordApp);
const QString kList = QString::fromLatin1(kKeywordListSection);
const QString kAddTitle = QStringLiteral("Add New Keyword");
const QString kMaintenanceTitle = QStringLiteral("Keyword Maintenance");

// The five values of a keyword in the order the definition file carries them,
// each with the text the file holds in place of an empty value.
struct FileValue {
    const KeywordField* field;
    const char* whenEmpty;
    bool WholeNumber() const { return field->kind == SettingKind::Int32; }
    QString Key() const { return field->Key(); }
};
constexpr std::array<FileValue, 5> kFileValues{{{&keywordfield::Description, "None"},
                                                {&keywordfield::Folder, "None"},
                                                {&keywordfield::EstimatedTime, "1"},
                                                {&keywordfield::Color, "16777215"},
                                                {&keywordfield::Notes, "None"}}};
constexpr qsizetype kGroupSize = 1 + static_cast<qsizetype>(kFileValues.size());

const QString kFileFilter = QStringLiteral("Keyword Description Files (*.key)|*.key");
constexpr int kExportDialogFlags = 34820;  // hide read-only, path must exist, no read-only return
constexpr int kImportDialogFlags = fileflag::kHideReadOnly | fileflag::kPathMustExist;

// Lines the reader skips: a value that looks like one is lost on the way back.
bool IsSkippedLine(const QString& line) {
    return line.isEmpty() || line.front() == QLatin1Char('\'') || line.front() == QLatin1Char(' ');
}

// What a file line cannot carry: it would be skipped, or split in two.
bool FileCannotCarry(const QString& value) {
    return IsSkippedLine(value) || value.contains(QLatin1Char('\r')) ||
           value.contains(QLatin1Char('\n'));
}

// Decimal digits with an optional minus that fit the store's 32-bit numbers:
// what the loader reads back as the same number.
bool IsWholeNumber(const QString& text) {
    qsizetype first = text.startsWith(QLatin1Char('-')) ? 1 : 0;
    if (text.size() == first) return false;
    for (qsizetype i = first; i < text.size(); ++i) {
        if (!text[i].isDigit() || text[i].unicode() > 0x7f) return false;
    }
    bool fits = false;
    text.toInt(&fits);
    return fits;
}

}  // namespace

struct KeywordModule::StoredKeyword {
    QString name;
    std::array<QString, kFileValues.size()> values;  // as stored, in file order
};

QString KeywordModule::KeywordKey(std::int32_t number) {
    return QStringLiteral("Keyword") + SignedNumberText(number);
}

QString KeywordModule::KeywordSetting(const QString& keyword, const KeywordField& field) {
    return m_session.Store().GetSetting(kApp, keyword, field.Key());
}

KeywordDefinition KeywordModule::NewKeyword(const QString& name, const QString& folder) {
    KeywordDefinition keyword;
    keyword.Keyword = name;
    keyword.Description = name;
    keyword.Color = 0;
    keyword.Folder = folder;
    keyword.EstimatedTime = 1;
    keyword.Notes = QStringLiteral("None");
    return keyword;
}

const QString& KeywordTexts::Of(const KeywordField& field) const {
    for (std::size_t i = 0; i < kKeywordFields.size(); ++i) {
        if (kKeywordFields[i] == &field) return texts[i];
    }
    return texts[0];
}

QString& KeywordTexts::Of(const KeywordField& field) {
    return const_cast<QString&>(std::as_const(*this).Of(field));
}

bool KeywordModule::GetKeywordDefinitions() {
    bool loaded = false;
    ErrorTrap trap(m_session, QStringLiteral("GetKeywordDefinitions"));
    // No list, or a keyword whose numbers are gone: there is nothing usable to
    // show, and the pane says so by being empty.
    trap.On(err::kTypeMismatch, [&](const RuntimeError&) {
        if (m_pane) m_pane->Clear();
    });
    trap.Run([&] {
        QList<SettingRow> rows;
        trap([&] {
            rows = m_session.Store().GetAllSettings(kApp, kList);
            if (rows.isEmpty()) throw MakeError(err::kTypeMismatch);
        });
        KeywordDefinitions.resize(static_cast<std::size_t>(rows.size()));
        for (qsizetype i = 0; i < rows.size(); ++i) {
            KeywordDefinition& definition = KeywordDefinitions[static_cast<std::size_t>(i)];
            const QString name = rows[i].second;
            trap([&] { definition.Keyword = name; });
            for (const KeywordField* field : kKeywordFields) {
                trap([&] {
                    field->Set(definition,
                               ReadSettingText(field->kind, KeywordSetting(name, *field)));
                });
            }
        }
        loaded = true;
    });
    return loaded;
}

void KeywordModule::RefreshKeywordList() {
    const QString selected = m_list ? m_list->SelectedKeyword() : QString();
    QList<SettingRow> rows;
    try {
        rows = m_session.Store().GetAllSettings(kApp, kList);
        if (rows.isEmpty()) throw MakeError(err::kTypeMismatch);
    } catch (const RuntimeError& error) {
        if (error.Number() == err::kTypeMismatch) {
            LastKeywordNumber = -1;
            KeywordList.clear();
            // The store was emptied behind the window (the settings reset):
            // names left in the list would be edited back into it.
            if (m_list) m_list->ClearList();
            if (m_list) m_list->ClearText();
        }
        return;
    }
    KeywordList = rows;
    LastKeywordNumber = static_cast<std::int32_t>(rows.size()) - 1;
    if (m_list) m_list->ClearList();

    // A keyword counts as present while its section has a colour; the others
    // drop out, and the numbers of the rest close up on the next rebuild.
    QList<SettingRow> kept;
    try {
        for (qsizetype i = 0; i < rows.size(); ++i) {
            const QString& name = rows[i].second;
            if (KeywordSetting(name, keywordfield::Color).isEmpty()) continue;
            kept.append({KeywordKey(static_cast<std::int32_t>(i)), name});
            if (m_list) m_list->AddKeyword(name);
        }
        m_session.Store().ReplaceSection(kApp, kList, kept);
    } catch (const RuntimeError&) {
        return;
    }
    if (m_list && !selected.isEmpty()) m_list->SelectKeyword(selected);
}

bool KeywordModule::AddKeywordEntry(const QString& name) {
    // The list lives in a section of its own; a keyword of the same name would
    // write its five values into the list and break it.
    if (name == kList) {
        ShowInformation(m_session,
                        QStringLiteral("'") + name +
                            QStringLiteral("' cannot be used as a Keyword: it is the name of the "
                                           "list that holds all Keywords.") +
                            QStringLiteral("\r\n\r\nPlease use another Keyword."),
                        kAddTitle);
        return false;
    }
    if (name.isEmpty()) return false;
    ErrorTrap trap(m_session, QStringLiteral("AddKeyword"), QStringLiteral("Keyword"),
                   [&] { return name; });
    return trap.Run([&] {
        trap([&] {
            m_session.Store().SaveSetting(kApp, kList, KeywordKey(LastKeywordNumber + 1), name);
        });
        SetNewKeywordDefaults(name);
    });
}

void KeywordModule::SetNewKeywordDefaults(const QString& name) {
    const QString folder =
        LastKeywordFolder.isEmpty() ? m_session.ProgramFolder() : LastKeywordFolder;
    ErrorTrap trap(m_session, QStringLiteral("SetNewKeywordDefaults"), QStringLiteral("Keyword"),
                   [&] { return name; });
    trap.Run([&] {
        trap([&] {
            m_session.Store().ReplaceSection(
                kApp, name,
                StoredRows(SettingFields<KeywordDefinition>(kKeywordFields),
                           NewKeyword(name, folder)));
        });
    });
}

bool KeywordModule::IsKeywordTaken(const QString& name) const {
    for (const SettingRow& row : KeywordList) {
        if (row.second == name) return true;
    }
    return false;
}

void KeywordModule::DeleteKeywordSection(const QString& name) {
    ErrorTrap trap(m_session, QStringLiteral("DeleteKeyword"), QStringLiteral("Keyword"),
                   [&] { return name; });
    trap.Run([&] {
        trap([&] {
            // A keyword whose description was emptied is still a keyword.
            if (m_session.Store().SectionExists(kApp, name)) {
                m_session.Store().DeleteSection(kApp, name);
            }
        });
    });
}

void KeywordModule::DeleteAllKeywordDefinitions() {
    try {
        m_session.Store().DeleteApplication(kApp);
    } catch (const RuntimeError&) {
        // Whatever could not be deleted drops out at the next list rebuild.
    }
}

// ---------------------------------------------------------------------------
// The keyword definition file

void KeywordModule::ExportKeywordDefinitions() {
    Export([&]() -> std::optional<QString> {
        FileDialogRequest request;
        request.save = true;
        request.title = QStringLiteral("Export Keyword Description File");
        request.filter = kFileFilter;
        request.initialFolder = m_session.ProgramFolder();
        request.flags = kExportDialogFlags;
        return m_session.Dlg().FileDialog(request);
    });
}

bool KeywordModule::ExportKeywordDefinitionsTo(const QString& path) {
    return Export([&] { return std::optional<QString>(path); });
}

bool KeywordModule::Export(const std::function<std::optional<QString>()>& choosePath) {
    try {
        const std::vector<StoredKeyword> keywords = ReadStoredKeywords();
        if (keywords.empty()) {
            ShowInformation(m_session, QStringLiteral(" There are no Keywords to Export."),
                            QStringLiteral("Export Keywords"));
            return false;
        }
        // Asked before the file dialog, so an operator who stops to mend the
        // values has not chosen a file for nothing.
        if (!ConfirmValuesTheFileLoses(keywords)) return false;
        const std::optional<QString> path = choosePath();
        if (!path) return false;
        const QStringList lines = KeywordFileLines(keywords);
        // A file that cannot be written (a full disk, a read-only folder) is
        // said, with Retry once there is room: an operator who believes the
        // keywords are saved would lose them. The file is written whole or not
        // at all, so there is nothing to undo.
        ErrorTrap trap(m_session, QStringLiteral("ExportKeywordDefinitions"),
                       QStringLiteral("FileName"), [&] { return *path; });
        bool written = false;
        trap.Run([&] {
            trap([&] {
                textfile::WriteLines(*path, lines);
                written = true;
            });
        });
        if (!written) return false;
    } catch (const RuntimeError&) {
        return false;
    }
    ShowInformation(m_session, QStringLiteral("Keyword Definitions have been exported"),
                    QStringLiteral("Keyword Definitions Exported"));
    return true;
}

std::vector<KeywordModule::StoredKeyword> KeywordModule::ReadStoredKeywords() {
    QList<SettingRow> rows;
    try {
        rows = m_session.Store().GetAllSettings(kApp, kList);
    } catch (const RuntimeError& error) {
        if (error.Number() == err::kTypeMismatch) return {};
        throw;
    }
    std::vector<StoredKeyword> keywords;
    keywords.reserve(static_cast<std::size_t>(rows.size()));
    for (const SettingRow& row : rows) {
        StoredKeyword keyword{row.second, {}};
        for (std::size_t v = 0; v < kFileValues.size(); ++v) {
            keyword.values[v] = KeywordSetting(row.second, *kFileValues[v].field);
        }
        keywords.push_back(std::move(keyword));
    }
    return keywords;
}

bool KeywordModule::ConfirmValuesTheFileLoses(const std::vector<StoredKeyword>& keywords) {
    QStringList concerned;
    for (const StoredKeyword& keyword : keywords) {
        QStringList what;
        if (FileCannotCarry(keyword.name)) what << QStringLiteral("name");
        for (std::size_t v = 0; v < kFileValues.size(); ++v) {
            const QString& value = keyword.values[v];
            // An empty value is no loss: the file carries it by the format's
            // own default ("None", "1" or 16777215).
            if (!value.isEmpty() && (FileCannotCarry(value) ||
                                     (kFileValues[v].WholeNumber() && !IsWholeNumber(value)))) {
                what << kFileValues[v].Key();
            }
        }
        if (!what.isEmpty()) {
            concerned << keyword.name.trimmed() + QStringLiteral(" (") +
                             what.join(QStringLiteral(", ")) + QStringLiteral(")");
        }
    }
    if (concerned.isEmpty()) return true;

    // A station may have hundreds of keywords; the box must still fit the screen.
    constexpr qsizetype kListed = 10;
    QString names = concerned.mid(0, kListed).join(kCrLf);
    if (concerned.size() > kListed) {
        names += kCrLf + QStringLiteral("and ") + QString::number(concerned.size() - kListed) +
                 QStringLiteral(" more");
    }
    const QString prompt =
        QStringLiteral(
            "These Keywords have values that a Keyword Definition File cannot "
            "carry as they are, so an Import of the file would not restore them:") +
        kCrLf + kCrLf + names + kCrLf + kCrLf +
        QStringLiteral(
            "A value that begins with a blank or an apostrophe, or holds a line "
            "break, is lost and shifts the values after it. An Estimated Time or "
            "Color that is not a whole number makes Import refuse the file.") +
        kCrLf + kCrLf + QStringLiteral("Export anyway?");
    // No is preselected: a habitual Enter must not write a file that restores wrongly.
    return m_session.Dlg().MsgBox(prompt, MsgButtons::YesNo, MsgIcon::Exclamation,
                                  QStringLiteral("Export Keywords"), 2) == MsgResult::Yes;
}

QStringList KeywordModule::KeywordDefinitionFileLines() {
    const std::vector<StoredKeyword> keywords = ReadStoredKeywords();
    if (keywords.empty()) return {};
    return KeywordFileLines(keywords);
}

QStringList KeywordModule::KeywordFileLines(const std::vector<StoredKeyword>& keywords) {
    const QDateTime now = m_session.Time().Now();
    QStringList lines{QStringLiteral("' Sonavel Keyword Definition File ") + LogDate(now) +
                          QStringLiteral(" ") + LogTime(now),
                      QStringLiteral("' Caution: This file is maintained by Sonavel Creator"),
                      QStringLiteral("'          DO NOT EDIT BY HAND"), QString()};
    for (const StoredKeyword& keyword : keywords) {
        lines << QStringLiteral("' Keyword") << keyword.name;
        for (std::size_t v = 0; v < kFileValues.size(); ++v) {
            const QString& value = keyword.values[v];
            lines << QStringLiteral("' ") + kFileValues[v].Key()
                  << (value.isEmpty() ? QString::fromLatin1(kFileValues[v].whenEmpty) : value);
        }
        lines << QString();
        DoEvents();
    }
    return lines;
}

void KeywordModule::ImportKeywordDefinitions() {
    Import([&]() -> std::optional<QString> {
        FileDialogRequest request;
        request.title = QStringLiteral("Import Keyword Description File");
        request.filter = kFileFilter;
        request.initialFolder = m_session.ProgramFolder();
        request.flags = kImportDialogFlags;
        return m_session.Dlg().FileDialog(request);
    });
}

bool KeywordModule::ImportKeywordDefinitionsFrom(const QString& path) {
    return Import([&] { return std::optional<QString>(path); });
}

bool KeywordModule::Import(const std::function<std::optional<QString>()>& choosePath) {
    const std::optional<QString> path = choosePath();
    if (!path) return false;
    QStringList lines;
    try {
        lines = textfile::ReadLines(*path);
    } catch (const RuntimeError&) {
        return false;
    }

    struct KeptLine {
        qsizetype number;  // 1-based, as an editor shows it
        QString text;
    };
    QList<KeptLine> kept;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (!IsSkippedLine(lines[i])) kept.append({i + 1, lines[i]});
    }

    // The store is replaced as a whole, so a damaged file must be found out
    // before anything is deleted: otherwise it would wipe every keyword.
    QString fault;
    QHash<QString, qsizetype> groupOfName;
    if (kept.isEmpty()) fault = QStringLiteral("it holds no Keywords.");
    for (qsizetype start = 0; fault.isEmpty() && start < kept.size(); start += kGroupSize) {
        const qsizetype group = start / kGroupSize + 1;
        const QString& name = kept[start].text;
        const QString where = QStringLiteral("Keyword ") + QString::number(group) +
                              QStringLiteral(" (\"") + name + QStringLiteral("\", line ") +
                              QString::number(kept[start].number) + QStringLiteral(")");
        if (kept.size() - start < kGroupSize) {
            fault = where + QStringLiteral(" is incomplete: the file ends after ") +
                    QString::number(kept.size() - start) + QStringLiteral(" of its ") +
                    QString::number(kGroupSize) + QStringLiteral(" lines.");
        } else if (name == kList) {
            fault = where + QStringLiteral(" has the name of the list that holds all Keywords.");
        } else if (!textfile::ReadsBackAsWritten(name)) {
            // Typically a second file joined on with its byte-order mark: the
            // name would change between the store, the clocks and the lists.
            fault = where + QStringLiteral(
                                " begins with an invisible mark (U+FEFF) or holds a damaged "
                                "character, so it would not read back as written.");
        } else if (groupOfName.contains(name)) {
            fault = where + QStringLiteral(" is defined already by Keyword ") +
                    QString::number(groupOfName.value(name)) + QStringLiteral(".");
        } else {
            groupOfName.insert(name, group);
            for (std::size_t v = 0; v < kFileValues.size(); ++v) {
                const KeptLine& line = kept[start + 1 + static_cast<qsizetype>(v)];
                if (kFileValues[v].WholeNumber() && !IsWholeNumber(line.text)) {
                    fault = where + QStringLiteral(": its ") + kFileValues[v].Key() +
                            QStringLiteral(" \"") + line.text + QStringLiteral("\" on line ") +
                            QString::number(line.number) +
                            QStringLiteral(" is not a whole number.");
                    break;
                }
            }
        }
    }
    if (!fault.isEmpty()) {
        ShowInformation(m_session,
                        QStringLiteral("The file \"") + *path +
                            QStringLiteral("\" cannot be imported: ") + fault + kCrLf + kCrLf +
                            QStringLiteral("The Keyword Definitions have not been changed."),
                        QStringLiteral("Keyword Definitions Not Imported"));
        return false;
    }

    // One transaction: a write that fails half-way leaves the old keywords
    // whole instead of a store that lists some and has lost the rest.
    QList<SectionRows> sections;
    QList<SettingRow> list;
    for (qsizetype start = 0; start < kept.size(); start += kGroupSize) {
        QList<SettingRow> rows;
        for (std::size_t v = 0; v < kFileValues.size(); ++v) {
            rows.append({kFileValues[v].Key(), kept[start + 1 + static_cast<qsizetype>(v)].text});
        }
        sections.append({kept[start].text, rows});
        list.append({KeywordKey(static_cast<std::int32_t>(start / kGroupSize)), kept[start].text});
    }
    sections.append({kList, list});
    ErrorTrap trap(m_session, QStringLiteral("ImportKeywordDefinitions"), QStringLiteral("File"),
                   [&] { return *path; });
    // Ignore in the error box skips the write; it must not report success.
    bool saved = false;
    trap.Run([&] {
        trap([&] {
            m_session.Store().ReplaceApplication(kApp, sections);
            saved = true;
        });
    });
    if (!saved) return false;
    if (m_pane) m_pane->Refill();
    ShowInformation(m_session,
                    QStringLiteral("New Keyword Definitions have been saved in the Registry"),
                    QStringLiteral("Keyword Definitions Saved"));
    return true;
}

// ---------------------------------------------------------------------------
// Keyword maintenance

KeywordTexts KeywordModule::ReadKeywordTexts(const QString& name) {
    KeywordTexts values;
    try {
        for (std::size_t i = 0; i < kKeywordFields.size(); ++i)
            values.texts[i] = KeywordSetting(name, *kKeywordFields[i]);
    } catch (const RuntimeError&) {
        return {};
    }
    return values;
}

void KeywordModule::StoreKeywordValue(const QString& name, const KeywordField& field,
                                      const QString& text) {
    if (name.isEmpty()) return;
    try {
        m_session.Store().SaveSetting(kApp, name, field.Key(), text);
    } catch (const RuntimeError& error) {
        ShowInformation(m_session,
                        QStringLiteral("The value could not be stored: ") + error.Description(),
                        kMaintenanceTitle);
    }
}

void KeywordModule::StoreKeywordTexts(const QString& name, const KeywordTexts& values) {
    if (name.isEmpty()) return;
    for (std::size_t i = 0; i < kKeywordFields.size(); ++i)
        StoreKeywordValue(name, *kKeywordFields[i], values.texts[i]);
}

void KeywordModule::AddNewKeyword(bool browse) {
    if (!m_list) return;
    KeywordListView& view = *m_list;
    const QString previous = view.SelectedKeyword();
    const KeywordTexts saved = previous.isEmpty() ? KeywordTexts{} : ReadKeywordTexts(previous);
    view.ClearKeywordFields();

    QString answer;
    if (browse) {
        const QString folder = m_session.Dlg().BrowseForFolder(
            QStringLiteral("Select folder for 'New Keyword's' files"),
            m_session.Creator.LastOpenFolder);
        if (!folder.isEmpty()) {
            m_session.Creator.LastOpenFolder = folder;
            LastKeywordFolder = folder;
            view.ShowFolder(folder);
            QString last = folder;
            while (last.endsWith(QLatin1Char('/')) && last.size() > 1)
                last.chop(1);
            last = last.mid(last.lastIndexOf(QLatin1Char('/')) + 1);
            answer = m_session.Dlg()
                         .InputBox(QStringLiteral("Edit new keyword: "),
                                   QStringLiteral("Edit New Keyword"), last)
                         .value_or(QString());
        }
    } else {
        answer = m_session.Dlg()
                     .InputBox(QStringLiteral("Enter a new keyword: "), kAddTitle, QString())
                     .value_or(QString());
    }

    if (answer.isEmpty()) {
        view.SelectKeyword(previous);
        StoreKeywordTexts(previous, saved);
        RefreshKeywordList();
        // Without a keyword to show the fields stay greyed.
        view.ShowSelection();
        return;
    }

    RefreshKeywordList();
    if (IsKeywordTaken(answer)) {
        ShowInformation(m_session,
                        QStringLiteral("'") + answer +
                            QStringLiteral("' is already in use, please use another Keyword."),
                        kAddTitle);
        view.SelectKeyword(previous);
        return;
    }
    if (!AddKeywordEntry(answer)) {
        view.SelectKeyword(previous);
        return;
    }
    view.AddKeyword(answer);
    view.SelectKeyword(answer);
    StoreKeywordTexts(previous, saved);
    view.ShowSelection();
}

std::vector<KeywordPaneLine> KeywordModule::KeywordPaneLines() const {
    std::vector<const KeywordDefinition*> sorted;
    sorted.reserve(KeywordDefinitions.size());
    for (const KeywordDefinition& definition : KeywordDefinitions)
        sorted.push_back(FindExactly(definition.Keyword));
    // By character code; equal names keep the table's order.
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const KeywordDefinition* a, const KeywordDefinition* b) {
                         return a->Keyword < b->Keyword;
                     });
    std::vector<KeywordPaneLine> lines;
    lines.reserve(sorted.size());
    for (const KeywordDefinition* definition : sorted)
        lines.push_back(
            {FormatTime(definition->EstimatedTime), definition->Keyword, definition->Color});
    return lines;
}

QString KeywordModule::PaneLineKeyword(const QString& line) {
    const qsizetype blanks = line.indexOf(QStringLiteral("  "));
    return blanks < 0 ? QString() : line.mid(blanks + 2) + kCrLf;
}

const KeywordDefinition* KeywordModule::FindExactly(const QString& name) const {
    for (const KeywordDefinition& definition : KeywordDefinitions) {
        if (definition.Keyword == name) return &definition;
    }
    return nullptr;
}

const KeywordDefinition* KeywordModule::FindKeyword(const QString& name) const {
    return FindKeyword(KeywordDefinitions, name);
}

const KeywordDefinition* KeywordModule::FindKeyword(const std::vector<KeywordDefinition>& table,
                                                    const QString& name) {
    for (const KeywordDefinition& definition : table) {
        if (definition.Keyword.compare(name, Qt::CaseInsensitive) == 0) return &definition;
    }
    return nullptr;
}

}  // namespace sonavel
