#include "KeywordModule.h"

#include "CommonModule.h"
#include "ErrorModule.h"
#include "RuntimeError.h"

namespace sonavel {

namespace {

const QString kApp = QString::fromLatin1(kKeywordApp);
const QString kList = QString::fromLatin1(kKeywordListSection);

}  // namespace

QString KeywordModule::KeywordKey(std::int32_t number) {
    return QStringLiteral("Keyword") + SignedNumberText(number);
}

QString KeywordModule::KeywordSetting(const QString& keyword, const char* key) {
    return m_session.Store().GetSetting(kApp, keyword, QLatin1String(key));
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
            trap([&] { definition.Description = KeywordSetting(name, "Description"); });
            trap([&] { definition.Color = ReadInt32(KeywordSetting(name, "Color")); });
            trap([&] { definition.Folder = KeywordSetting(name, "Folder"); });
            trap([&] {
                definition.EstimatedTime = ReadInt32(KeywordSetting(name, "Estimated Time"));
            });
            trap([&] { definition.Notes = KeywordSetting(name, "Notes"); });
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
            if (KeywordSetting(name, "Color").isEmpty()) continue;
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
                        QStringLiteral("Add New Keyword"));
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
                {{QStringLiteral("Description"), name},
                 {QStringLiteral("Color"), QStringLiteral("0")},
                 {QStringLiteral("Folder"), folder},
                 {QStringLiteral("Estimated Time"), QStringLiteral("1")},
                 {QStringLiteral("Notes"), QStringLiteral("None")}});
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
            if (!KeywordSetting(name, "Description").isEmpty()) {
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

const KeywordDefinition* KeywordModule::FindKeyword(const QString& name) const {
    for (const KeywordDefinition& definition : KeywordDefinitions) {
        if (definition.Keyword.compare(name, Qt::CaseInsensitive) == 0) return &definition;
    }
    return nullptr;
}

}  // namespace sonavel
