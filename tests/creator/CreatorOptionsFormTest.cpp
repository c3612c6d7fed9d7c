#include "AudioEngine.h"
#include "ClockModule.h"
#include "CreatorForm.h"
#include "CreatorOptionsForm.h"
#include "FlushDeletes.h"
#include "KeywordForm.h"
#include "KeywordModule.h"
#include "TempFolder.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QTextEdit>

using namespace sonavel;

namespace {

class CreatorOptionsFormTest : public TempFolderTest {
  protected:
    CreatorOptionsFormTest()
        : keywords(MakeSession(Product::Creator)),
          clocks(*m_session, keywords),
          main(*m_session, keywords, clocks, audio) {
        main.show();
    }

    CreatorOptionsForm* Open() {
        main.findChild<QAction*>("menuOptions")->trigger();
        return main.OptionsWindow();
    }
    template <class T>
    T* Find(const char* name) {
        T* found = main.OptionsWindow()->findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    void Click(const char* name) { Find<QAbstractButton>(name)->click(); }
    // The window deletes itself once the event loop comes round.
    void Settle() { FlushDeletes(); }
    void TypeInto(const char* name, const QString& text) {
        auto* field = Find<QLineEdit>(name);
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Delete);
        QTest::keyClicks(field, text);
    }

    KeywordModule keywords;
    ClockModule clocks;
    AudioEngine audio{EngineConfig{OutputKind::Virtual, 300, {}}};
    CreatorForm main;
};

TEST_F(CreatorOptionsFormTest, OpenedFromTheMenuTypedIntoAndClosedEachWay) {
    CreatorOptionsForm* window = Open();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), "Sonavel Creator Options");
    EXPECT_FALSE(window->isModal());
    EXPECT_EQ(window->parentWidget(), &main);
    auto* tabs = Find<QTabWidget>("tapOptions");
    QStringList captions;
    for (int i = 0; i < tabs->count(); ++i)
        captions << tabs->tabText(i);
    EXPECT_EQ(captions, QStringList({"General", "Folder", "Playlist", "Keyword", "Advanced"}));
    EXPECT_EQ(Find<QGroupBox>("frameRegistry")->title(), "Advanced Registry Settings");
    EXPECT_EQ(Find<QPushButton>("commandApply")->toolTip(),
              "Click this button to save changes without leaving this screen.");
    EXPECT_FALSE(Find<QPushButton>("commandApply")->isEnabled());
    EXPECT_EQ(Open(), window) << "one window, brought forward";

    // Typed and ticked, then cancelled by Escape, or by Return on Cancel:
    // nothing taken over.
    m_session->Creator.ClockFolder = "/kept";
    for (const char* focus : {"textClockFolder", "commandCancel"}) {
        Open();
        TypeInto("textClockFolder", "/typed");
        Click("checkDisplaySplash");
        EXPECT_TRUE(Find<QPushButton>("commandApply")->isEnabled());
        Find<QWidget>(focus)->setFocus();
        QTest::keyClick(Find<QWidget>(focus), focus[0] == 't' ? Qt::Key_Escape : Qt::Key_Return);
        Settle();
        EXPECT_EQ(main.OptionsWindow(), nullptr) << focus;
        EXPECT_EQ(m_session->Creator.ClockFolder, "/kept");
        EXPECT_TRUE(m_session->Creator.DisplaySplash);
        EXPECT_TRUE(main.isVisible());
    }

    // Browse cancelled, a folder typed, the other format: OK takes them over.
    Open();
    EXPECT_EQ(Find<QLineEdit>("textClockFolder")->text(), "/kept");
    m_dialogs.ExpectFolder("", "Set Clock Folder\r\nClick 'Cancel' to Set Default Location");
    Click("commandBrowseClockFolder");
    EXPECT_EQ(Find<QLineEdit>("textClockFolder")->text(), ProgramFolder() + "/Clocks");
    Click("optionWinAMPFormat");
    // Return in a field is OK.
    TypeInto("textPlaylistFolder", "/on air");
    QTest::keyClick(Find<QWidget>("textPlaylistFolder"), Qt::Key_Return);
    Settle();
    EXPECT_EQ(main.OptionsWindow(), nullptr);
    EXPECT_EQ(m_session->Creator.ClockFolder, ProgramFolder() + "/Clocks");
    EXPECT_EQ(m_session->Creator.PlaylistFolder, "/on air");
    EXPECT_EQ(m_store->GetSetting("Sonavel", "Creator Settings", "Playlist Extension"), ".m3u");
    Open();
    EXPECT_FALSE(Find<QCheckBox>("checkIncludeComments")->isEnabled());
    EXPECT_TRUE(Find<QRadioButton>("optionWinAMPFormat")->isChecked());
}

TEST_F(CreatorOptionsFormTest, DeleteEmptiesAnOpenKeywordWindowAndDefaultsCloseTheOptions) {
    keywords.RefreshKeywordList();
    ASSERT_TRUE(keywords.AddKeywordEntry("News"));
    m_store->SaveSetting(kKeywordApp, "News", "Color", "0");
    main.findChild<QAction*>("menuKeywordMaintenance")->trigger();
    auto* list = main.KeywordWindow()->findChild<QListWidget*>("listKeyword");
    ASSERT_EQ(list->count(), 1);

    Open();
    m_dialogs.ExpectMessage("", MsgResult::Yes)
        .ExpectMessage("Delete All Registry Settings", MsgResult::Yes)
        .ExpectMessage("Delete All Keyword Settings", MsgResult::Yes)
        .ExpectMessage("Set Default Registry Settings", MsgResult::No);
    Click("commandDeleteSettings");
    EXPECT_EQ(list->count(), 0) << "no name left to edit back into the store";
    EXPECT_TRUE(main.findChild<QTextEdit*>("textKeyword")->toPlainText().isEmpty());
    EXPECT_TRUE(Find<QPushButton>("commandApply")->isEnabled());

    m_dialogs.ExpectMessage("", MsgResult::Yes)
        .ExpectMessage("Delete All Registry Settings", MsgResult::Yes)
        .ExpectMessage("Delete All Keyword Settings", MsgResult::No)
        .ExpectMessage("Set Default Registry Settings", MsgResult::Yes);
    Click("commandDeleteSettings");
    Settle();
    EXPECT_EQ(main.OptionsWindow(), nullptr);
    EXPECT_TRUE(main.isVisible());
    main.KeywordWindow()->close();
}

}  // namespace
