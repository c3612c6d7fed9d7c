#include "FakeEntries.h"
#include "RecentFiles.h"
#include "RuntimeError.h"
#include "TempFolder.h"
#include "WidgetEntries.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

using namespace sonavel;

namespace {

// The separator above the list and the clear command with its separator.
bool FrameShown(const NamedEntries& menu) {
    const bool shown = menu.IsVisible("menuRecentFile_0");
    EXPECT_EQ(menu.IsVisible("menuSeparatorClearRecentFiles"), shown);
    EXPECT_EQ(menu.IsVisible("menuClearRecentFiles"), shown);
    return shown;
}

class RecentFilesTest : public TempFolderTest {
  protected:
    // Keys 1 to 9 of a list, up to the last one that holds a value.
    QStringList Stored(const QString& list) {
        QStringList values;
        for (int i = 1; i <= 9; ++i)
            values << m_store->GetSetting(kRecentFilesApp, list,
                                          "Recent File " + QString::number(i));
        while (!values.isEmpty() && values.last().isEmpty())
            values.removeLast();
        return values;
    }
    FakeEntries menu;
};

TEST_F(RecentFilesTest, NewestFirstOnlyTheIdenticalTextIsIgnoredAndTheTenthDropsTheOldest) {
    Session& s = MakeSession(Product::Player);
    const QString spaced = "/air/My Lists/Late Show.lst";
    QStringList paths{"/air/Mon0900.lst", "/air/Mon1000.lst", spaced};
    for (const QString& path : paths)
        AddRecentFile(s, path, "Player", menu);
    EXPECT_EQ(Stored("Player"), paths);
    EXPECT_EQ(menu.Shown(),
              QStringList({"&1 " + spaced, "&2 /air/Mon1000.lst", "&3 /air/Mon0900.lst"}));
    EXPECT_TRUE(FrameShown(menu));
    EXPECT_EQ(RecentFilePath(menu.Caption("menuRecentFile_1")), spaced);

    AddRecentFile(s, "/air/Mon0900.lst", "Player", menu);
    EXPECT_EQ(Stored("Player"), paths) << "not even moved to the top";
    EXPECT_EQ(menu.Shown().first(), "&1 " + spaced);

    for (int i = 1; i <= 7; ++i) {  // another spelling, then on to ten files
        paths << (i == 1 ? "/air/MON0900.lst" : "/air/x" + QString::number(i) + ".lst");
        AddRecentFile(s, paths.last(), "Player", menu);
    }
    EXPECT_EQ(Stored("Player"), paths.mid(1));
    EXPECT_EQ(menu.Shown().size(), 9);
    EXPECT_EQ(menu.Shown().first(), "&1 /air/x7.lst");
    EXPECT_EQ(menu.Shown().last(), "&9 /air/Mon1000.lst");
}

TEST_F(RecentFilesTest, GapEndsTheListAndTheNextAddFillsIt) {
    Session& s = MakeSession(Product::Player);
    for (const char* key : {"Recent File 1", "Recent File 2", "Recent File 4"})
        m_store->SaveSetting(kRecentFilesApp, "Player", key, QString("/") + key);
    for (int k = 1; k <= 5; ++k) {  // left over from a longer list shown before
        menu.SetCaption(RecentFileEntry(k), "stale");
        menu.SetVisible(RecentFileEntry(k), true);
    }
    ReadRecentFiles(s, "Player", menu);
    EXPECT_EQ(menu.Shown(), QStringList({"&1 /Recent File 2", "&2 /Recent File 1"}));
    EXPECT_EQ(menu.Caption("menuRecentFile_3"), "");

    AddRecentFile(s, "/new.lst", "Player", menu);
    EXPECT_EQ(Stored("Player"),
              QStringList({"/Recent File 1", "/Recent File 2", "/new.lst", "/Recent File 4"}));
    EXPECT_EQ(menu.Shown().size(), 3);
}

TEST_F(RecentFilesTest, ClearingOneListKeepsTheOtherAndHidesTheMenu) {
    Session& player = MakeSession(Product::Player);
    Session creator(Product::Creator, ProgramFolder(), *m_store, m_dialogs, m_clock);
    FakeEntries creatorMenu;
    AddRecentFile(player, "/p.lst", "Player", menu);
    AddRecentFile(creator, "/c.clk", "Creator", creatorMenu);

    ClearRecentFiles(player, "Player", menu);
    EXPECT_FALSE(m_store->SectionExists(kRecentFilesApp, "Player"));
    EXPECT_FALSE(FrameShown(menu));
    EXPECT_TRUE(menu.Shown().isEmpty());
    EXPECT_EQ(menu.Caption("menuRecentFile_1"), "");
    menu.SetVisible("menuClearRecentFiles", true);
    ReadRecentFiles(player, "Player", menu);
    EXPECT_FALSE(menu.IsVisible("menuClearRecentFiles")) << "an empty list offers no clearing";

    HideRecentFiles(creatorMenu);
    EXPECT_FALSE(FrameShown(creatorMenu));
    ReadRecentFiles(creator, "Creator", creatorMenu);
    EXPECT_TRUE(FrameShown(creatorMenu));
    EXPECT_EQ(creatorMenu.Shown(), QStringList({"&1 /c.clk"}));
}

TEST_F(RecentFilesTest, FailuresAreReportedUnderTheProcedureAndVariable) {
    Session& s = MakeSession(Product::Player);
    AddRecentFile(s, "/a.lst", "Player", menu);
    auto reported = [&](const QString& lines) {
        EXPECT_TRUE(m_dialogs.LastMessage().prompt.contains(lines)) << lines.toStdString();
    };
    menu.failOn = "menuRecentFile_1";
    m_dialogs.ExpectMessage("Sonavel Player", MsgResult::Ignore);
    AddRecentFile(s, "/b.lst", "Player", menu);
    reported("Module: AddRecentFile\r\nVariable: Item (/b.lst)");
    EXPECT_EQ(menu.Shown(), QStringList({"&1 /b.lst", "&2 /a.lst"})) << "Ignore goes on";

    menu.failOn = "menuClearRecentFiles";
    m_dialogs.ExpectMessage("Sonavel Player", MsgResult::Abort);
    ClearRecentFiles(s, "Player", menu);
    reported("Module: ClearRecentFiles\r\nVariable: RegistrySection (Player)");
}

TEST_F(RecentFilesTest, MainWindowMenuShowsAndOpensTheList) {
    QMainWindow window;
    QMenu* file = window.menuBar()->addMenu("&File");
    QStringList opened;
    int clears = 0;
    const RecentFileActions built = AddRecentFileEntries(
        *file, [&](const QString& path) { opened << path; }, [&] { ++clears; });
    EXPECT_TRUE(built.menuRecentFile[0]->isSeparator());
    EXPECT_EQ(built.menuClearRecentFiles->text(), "&Clear Recent Files");

    Session& s = MakeSession(Product::Player);
    WidgetEntries entries(&window);
    EXPECT_FALSE(entries.IsVisible("menuClearRecentFiles"));
    AddRecentFile(s, "/air/My Lists/Mon 0900.lst", "Player", entries);
    EXPECT_EQ(entries.Caption("menuRecentFile_1"), "&1 /air/My Lists/Mon 0900.lst");
    EXPECT_TRUE(built.menuRecentFile[0]->isVisible());
    EXPECT_TRUE(built.menuRecentFile[1]->isVisible());
    EXPECT_FALSE(built.menuRecentFile[2]->isVisible());
    built.menuRecentFile[1]->trigger();
    built.menuClearRecentFiles->trigger();
    EXPECT_EQ(opened, QStringList({"/air/My Lists/Mon 0900.lst"}));
    EXPECT_EQ(clears, 1);

    QWidget bare;  // a window without the entries is passed over
    WidgetEntries none(&bare);
    ReadRecentFiles(s, "Player", none);
    EXPECT_EQ(none.Caption("menuRecentFile_1"), "");

    // A run without windows keeps the same entries in memory and answers as
    // the window does, for names it carries and names it does not.
    MemoryEntries memory = RecentFileMenuEntries();
    AddRecentFile(s, "/air/b.lst", "Player", entries);
    EXPECT_EQ(memory.Caption("menuClearRecentFiles"), "&Clear Recent Files");
    ReadRecentFiles(s, "Player", memory);
    memory.SetVisible("menuNotThere", true);
    for (const QString& name : {RecentFileEntry(0), RecentFileEntry(1), RecentFileEntry(3),
                                QString("menuClearRecentFiles"), QString("menuNotThere")}) {
        EXPECT_EQ(memory.Caption(name), entries.Caption(name)) << name.toStdString();
        EXPECT_EQ(memory.IsVisible(name), entries.IsVisible(name)) << name.toStdString();
    }
}

}  // namespace
