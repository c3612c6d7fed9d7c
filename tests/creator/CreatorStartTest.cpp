#include "ClockEditor.h"
#include "CommonModule.h"
#include "CreatorModule.h"
#include "FakeEditorWindow.h"
#include "FakeMainWindow.h"
#include "ProgramOpen.h"
#include "RecentFiles.h"
#include "TempFolder.h"
#include "TextFile.h"

#include <QDir>
#include <QFile>

using namespace sonavel;

namespace {

class CreatorStartTest : public TempFolderTest {
  protected:
    CreatorStartTest()
        : keywords(MakeSession(Product::Creator)),
          clocks(*m_session, keywords),
          editor(*m_session, keywords, clocks, pane) {
        pane.editor = &editor;
    }
    void Set(const char* key, const QString& value) {
        m_store->SaveSetting(kAppName, kCreatorSection, QString::fromLatin1(key), value);
    }
    bool Start() { return StartCreator(*m_session, editor, window, pane.entries, exitCode); }

    KeywordModule keywords;
    ClockModule clocks;
    FakeEditorWindow pane;
    ClockEditor editor;
    FakeMainWindow<> window;
    int exitCode = -1;
};

TEST_F(CreatorStartTest, ASecondCopyIsRefusedAndAStoreThatCannotOpenEndsWithStatusOne) {
    const QString lockPath = Path("run/creator.lock");
    const QString storePath = Path("other/settings.db");
    int code = -1;
    {
        RunningCopyLock running(lockPath);
        ASSERT_FALSE(running.AlreadyRunning());
        m_dialogs.ExpectMessage("Creator");
        EXPECT_FALSE(OpenProgram(Product::Creator, lockPath, storePath, m_dialogs, code));
        EXPECT_EQ(code, 0);
        EXPECT_EQ(m_dialogs.LastMessage().prompt, "Creator is already running!");
        EXPECT_EQ(m_dialogs.LastMessage().icon, MsgIcon::Critical);
        EXPECT_FALSE(QFile::exists(storePath)) << "a refused copy must not touch the store";
    }

    // The running copy has ended; now the store is damaged.
    const QByteArray damaged(4096, '\x5a');
    QDir().mkpath(Path("other"));
    {
        QFile file(storePath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(damaged);
    }
    m_dialogs.Clear();
    m_dialogs.ExpectMessage("Sonavel Creator");
    EXPECT_FALSE(OpenProgram(Product::Creator, lockPath, storePath, m_dialogs, code));
    EXPECT_EQ(code, 1);
    EXPECT_TRUE(m_dialogs.LastMessage().prompt.startsWith(
        QStringLiteral("The settings file cannot be read:\r\n\r\n") + storePath));
    QFile file(storePath);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), damaged) << "the damaged store is left as it is";
    file.close();

    // A sound store opens, and holds the lock while the program runs.
    QFile::remove(storePath);
    std::optional<OpenedProgram> opened =
        OpenProgram(Product::Creator, lockPath, storePath, m_dialogs, code);
    ASSERT_TRUE(opened);
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(RunningCopyLock(lockPath).AlreadyRunning());
}

TEST_F(CreatorStartTest, AFreshSystemOrAFailingStoreEndsBeforeTheWindowShows) {
    m_dialogs.ExpectMessage("First Time Use").ExpectMessage("Creator");
    EXPECT_FALSE(Start());
    EXPECT_EQ(exitCode, 0);
    EXPECT_TRUE(window.journal.isEmpty());
    EXPECT_EQ(m_store->GetSetting(kAppName, kCreatorSection, "Window State"), "0");
    EXPECT_TRUE(QFile::exists(ProgramFolder() + "/Clocks"));

    ReshapeStoreTable();
    m_dialogs.Clear();
    m_dialogs.ExpectMessage("Sonavel Creator");
    EXPECT_FALSE(Start());
    EXPECT_EQ(exitCode, 1);
    EXPECT_TRUE(m_dialogs.LastMessage().prompt.contains(m_store->Path()));
    EXPECT_TRUE(window.journal.isEmpty());
}

TEST_F(CreatorStartTest, WindowStateSplashDefaultClockAndRecentClocks) {
    SetRegistryDefaults(*m_session);
    Set("Window State", "0");
    Set("Position Left", "1200");
    Set("Position Top", "900");
    Set("Width", "9000");
    Set("Height", "7000");
    textfile::WriteLines(clocks.DefaultClockPath(), {"; the top of the hour"});
    AddRecentFile(*m_session, "/clocks/Mon0700.clk", "Creator", pane.entries);
    pane.entries = FakeEntries{};
    editor.Saved = false;

    ASSERT_TRUE(Start());
    EXPECT_EQ(exitCode, 0);
    // A normal window comes back at its stored place; the splash first.
    EXPECT_EQ(window.journal, (QStringList{"Place 0 1200 900 9000 7000", "Splash", "Show"}));
    EXPECT_TRUE(editor.Saved);
    EXPECT_TRUE(editor.DefaultClockLoaded);
    EXPECT_TRUE(pane.text.startsWith("; the top of the hour")) << pane.text.toStdString();
    EXPECT_EQ(pane.editHeader, "Edit: Default Clock");
    bool listed = false;
    for (const QString& caption : pane.entries.Shown())
        listed = listed || caption.endsWith("/clocks/Mon0700.clk");
    EXPECT_TRUE(listed) << "the recent clocks are in the File menu";

    // Maximised or minimised, the window keeps its own size and place and
    // takes the state alone; no splash when it is switched off, and no
    // default clock is no message.
    QFile::remove(clocks.DefaultClockPath());
    Set("Display Splash", "False");
    window.now = WindowPlacement{0, 4000, 6000, 300, 200};
    for (const char* state : {"2", "1"}) {
        Set("Window State", state);
        window.journal.clear();
        ASSERT_TRUE(Start());
        EXPECT_EQ(window.journal,
                  (QStringList{QStringLiteral("Place %1 300 200 6000 4000").arg(state), "Show"}));
        EXPECT_FALSE(editor.DefaultClockLoaded);
    }
    EXPECT_TRUE(m_dialogs.Shown().empty());
}

}  // namespace
