#include "FormatModule.h"
#include "KeywordModule.h"
#include "TempFolder.h"

using namespace sonavel;

namespace {

class FakeKeywordList final : public KeywordListView {
  public:
    QString SelectedKeyword() const override { return selected; }
    void ClearList() override { items.clear(); }
    void AddKeyword(const QString& keyword) override { items << keyword; }
    void SelectKeyword(const QString& keyword) override {
        selected = items.contains(keyword) ? keyword : QString();
    }
    void ClearText() override { selected.clear(); }
    void ClearKeywordFields() override {
        shown.clear();
        folder.clear();
    }
    void ShowFolder(const QString& value) override { folder = value; }
    void ShowSelection() override { shown = selected; }

    QStringList items;
    QString selected;
    QString shown;   // the keyword whose values the fields show
    QString folder;  // the folder field
};

class FakePane final : public KeywordPane {
  public:
    void Clear() override { ++clears; }
    int clears = 0;
};

class KeywordModuleTest : public TempFolderTest {
  protected:
    KeywordModuleTest() : keywords(MakeSession(Product::Creator)) {
        keywords.SetListView(&list);
        keywords.SetPane(&pane);
    }
    QList<SettingRow> Listed() { return m_store->GetAllSettings(kKeywordApp, "Keywords"); }
    void Add(const QString& name) {
        keywords.RefreshKeywordList();
        ASSERT_TRUE(keywords.AddKeywordEntry(name));
        list.AddKeyword(name);
    }

    FakeKeywordList list;
    FakePane pane;
    KeywordModule keywords;
};

TEST_F(KeywordModuleTest, NumbersFollowTheListAndCloseUpOneRebuildLater) {
    // An empty store: nothing to load, an empty pane, and number 0 comes first.
    EXPECT_FALSE(keywords.GetKeywordDefinitions());
    EXPECT_EQ(pane.clears, 1);
    keywords.RefreshKeywordList();
    EXPECT_EQ(keywords.LastKeywordNumber, -1);

    Add("A");
    Add("B");
    Add("C");
    EXPECT_EQ(Listed(),
              (QList<SettingRow>{{"Keyword 0", "A"}, {"Keyword 1", "B"}, {"Keyword 2", "C"}}));

    list.selected = "C";
    keywords.DeleteKeywordSection("B");
    keywords.RefreshKeywordList();
    EXPECT_EQ(Listed(), (QList<SettingRow>{{"Keyword 0", "A"}, {"Keyword 2", "C"}}));
    EXPECT_EQ(keywords.LastKeywordNumber, 2);
    EXPECT_EQ(list.items, QStringList({"A", "C"}));
    EXPECT_EQ(list.selected, "C") << "the rebuild keeps the operator's selection";

    keywords.RefreshKeywordList();
    EXPECT_EQ(Listed(), (QList<SettingRow>{{"Keyword 0", "A"}, {"Keyword 1", "C"}}));
    EXPECT_EQ(keywords.LastKeywordNumber, 1);

    // A keyword whose colour is lost drops out though its other values remain.
    m_store->DeleteSetting(kKeywordApp, "A", "Color");
    keywords.RefreshKeywordList();
    EXPECT_EQ(Listed(), (QList<SettingRow>{{"Keyword 1", "C"}}));
    EXPECT_EQ(m_store->GetSetting(kKeywordApp, "A", "Description"), "A");

    keywords.DeleteAllKeywordDefinitions();
    keywords.RefreshKeywordList();
    EXPECT_EQ(keywords.LastKeywordNumber, -1);
    EXPECT_FALSE(keywords.GetKeywordDefinitions());
}

TEST_F(KeywordModuleTest, NewKeywordValuesAndTheLoadedTable) {
    Add("News");
    EXPECT_EQ(m_store->GetAllSettings(kKeywordApp, "News"),
              (QList<SettingRow>{{"Description", "News"},
                                 {"Color", "0"},
                                 {"Folder", ProgramFolder()},
                                 {"Estimated Time", "1"},
                                 {"Notes", "None"}}));
    keywords.LastKeywordFolder = "/srv/sound/jingles";
    Add("NEWS");
    EXPECT_EQ(m_store->GetSetting(kKeywordApp, "NEWS", "Folder"), "/srv/sound/jingles");
    m_store->SaveSetting(kKeywordApp, "NEWS", "Color", "255");
    m_store->SaveSetting(kKeywordApp, "NEWS", "Estimated Time", "185");

    keywords.RefreshKeywordList();
    EXPECT_TRUE(keywords.IsKeywordTaken("News"));
    EXPECT_FALSE(keywords.IsKeywordTaken("news"));

    ASSERT_TRUE(keywords.GetKeywordDefinitions());
    ASSERT_EQ(keywords.KeywordDefinitions.size(), 2u);
    const KeywordDefinition& second = keywords.KeywordDefinitions[1];
    EXPECT_EQ(second.Keyword, "NEWS");
    EXPECT_EQ(second.Color, 255);
    EXPECT_EQ(second.EstimatedTime, 185);
    EXPECT_EQ(second.Notes, "None");
    // A clock line matches the first keyword of its name in any case.
    EXPECT_EQ(keywords.FindKeyword("news"), &keywords.KeywordDefinitions[0]);
    EXPECT_EQ(keywords.FindKeyword("Sport"), nullptr);
    EXPECT_EQ(pane.clears, 0);
}

TEST_F(KeywordModuleTest, DamagedKeywordEndsTheLoadWithoutTouchingTheStore) {
    Add("News");
    Add("Sport");
    m_store->SaveSetting(kKeywordApp, "Sport", "Estimated Time", "long");
    const QList<SettingRow> before = m_store->GetAllSettings(kKeywordApp, "Sport");
    EXPECT_FALSE(keywords.GetKeywordDefinitions());
    EXPECT_EQ(pane.clears, 1);
    EXPECT_TRUE(m_dialogs.Shown().empty()) << "a damaged number is not an error dialog";
    EXPECT_EQ(m_store->GetAllSettings(kKeywordApp, "Sport"), before);
    EXPECT_EQ(Listed().size(), 2);
}

TEST_F(KeywordModuleTest, TheListsOwnNameIsRefused) {
    Add("News");
    const QList<SettingRow> before = Listed();
    m_dialogs.ExpectMessage("Add New Keyword");
    keywords.RefreshKeywordList();
    EXPECT_FALSE(keywords.AddKeywordEntry("Keywords"));
    EXPECT_EQ(m_dialogs.LastMessage().icon, MsgIcon::Information);
    EXPECT_TRUE(m_dialogs.LastMessage().prompt.contains("list that holds all Keywords"));
    EXPECT_EQ(Listed(), before);
    ASSERT_TRUE(keywords.GetKeywordDefinitions());
    EXPECT_EQ(keywords.KeywordDefinitions.size(), 1u);
}

TEST_F(KeywordModuleTest, AddingAKeywordKeepsThePreviousOneWhateverTheAnswer) {
    Add("Ads");
    Add("Jingle");
    m_store->SaveSetting(kKeywordApp, "Jingle", "Notes", "Short ones");
    list.selected = "Jingle";

    // Cancelled: the fields were blanked for the question, then show the
    // previous keyword again with its values as they were.
    m_dialogs.ExpectInput(std::nullopt, "Add New Keyword");
    keywords.AddNewKeyword(false);
    EXPECT_EQ(list.selected, "Jingle");
    EXPECT_EQ(list.shown, "Jingle");
    EXPECT_EQ(keywords.ReadKeywordTexts("Jingle").Of(keywordfield::Notes), "Short ones");

    // Taken exactly: refused, and the list is as it was.
    m_dialogs.ExpectInput(QStringLiteral("Ads"), "Add New Keyword")
        .ExpectMessage("Add New Keyword");
    keywords.AddNewKeyword(false);
    EXPECT_EQ(m_dialogs.LastMessage().prompt,
              "'Ads' is already in use, please use another Keyword.");
    EXPECT_EQ(list.items, QStringList({"Ads", "Jingle"}));
    EXPECT_EQ(list.selected, "Jingle");

    // Browsed: the folder's own name is offered, a final separator aside, and
    // the folder becomes the new keyword's and the next browse's start.
    m_dialogs.ExpectFolder("/music/Smooth Jazz/", "Select folder for 'New Keyword's' files")
        .ExpectInput(QStringLiteral("Jazz"), "Edit New Keyword");
    keywords.AddNewKeyword(true);
    EXPECT_EQ(m_dialogs.Shown().back().inputDefault, "Smooth Jazz");
    EXPECT_EQ(list.folder, "/music/Smooth Jazz/");
    EXPECT_EQ(list.items, QStringList({"Ads", "Jingle", "Jazz"}));
    EXPECT_EQ(list.shown, "Jazz");
    EXPECT_EQ(m_session->Creator.LastOpenFolder, "/music/Smooth Jazz/");
    const KeywordTexts jazz = keywords.ReadKeywordTexts("Jazz");
    EXPECT_EQ(jazz.Of(keywordfield::Folder), "/music/Smooth Jazz/");
    EXPECT_EQ(jazz.Of(keywordfield::Description), "Jazz");
    EXPECT_EQ(keywords.ReadKeywordTexts("Jingle").Of(keywordfield::Notes), "Short ones");
    EXPECT_EQ(Listed().size(), 3);
}

TEST_F(KeywordModuleTest, PaneListsByCharacterCodeAndNamesThePickedLine) {
    for (const char* name : {"news", "Sport", "News", "ads", "\u00c4rger"})
        Add(QString::fromUtf8(name));
    keywords.StoreKeywordValue("News", keywordfield::EstimatedTime, "185");
    keywords.StoreKeywordValue("News", keywordfield::Color, "255");
    ASSERT_TRUE(keywords.GetKeywordDefinitions());

    QStringList names;
    for (const KeywordPaneLine& line : keywords.KeywordPaneLines())
        names << line.keyword;
    EXPECT_EQ(names,
              QStringList({"News", "Sport", "ads", "news", QString::fromUtf8("\u00c4rger")}));
    const KeywordPaneLine news = keywords.KeywordPaneLines().front();
    EXPECT_EQ(news.time, FormatTime(185));
    EXPECT_EQ(news.color, 255);

    EXPECT_EQ(KeywordModule::PaneLineKeyword(news.time + "  " + "Top  Hits"), "Top  Hits\r\n");
    EXPECT_EQ(KeywordModule::PaneLineKeyword(""), "");
}

}  // namespace
