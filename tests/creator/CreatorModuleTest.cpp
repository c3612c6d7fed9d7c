#include "CommonModule.h"
#include "CreatorModule.h"
#include "FakeEditorWindow.h"
#include "NamedEntries.h"
#include "TempFolder.h"
#include "TextFile.h"

#include <QDir>

using namespace sonavel;

namespace {

class CreatorShutdownTest : public TempFolderTest {
  protected:
    CreatorShutdownTest()
        : keywords(MakeSession(Product::Creator)),
          clocks(*m_session, keywords),
          editor(*m_session, keywords, clocks, pane) {
        m_dialogs.ExpectMessage("First Time Use").ExpectMessage("Creator");
        EXPECT_FALSE(ReadCreatorSettings(*m_session));
        m_dialogs.Clear();
        EXPECT_TRUE(ReadCreatorSettings(*m_session));
        window.placement = WindowPlacement{0, 7000, 9000, 100, 200};
        window.closeSecondaryWindows = [this] { ++secondaryClosed; };
        window.restoreNormal = [this] { ++restored; };
    }
    QString Stored(const char* key) {
        return m_store->GetSetting("Sonavel", "Creator Settings", key);
    }

    KeywordModule keywords;
    ClockModule clocks;
    HeadlessEditorWindow pane;
    ClockEditor editor;
    ClosingWindow window;
    int secondaryClosed = 0, restored = 0;
};

TEST_F(CreatorShutdownTest, ExitQuestionAndTheUnsavedClock) {
    // No to leaving: nothing happens at all.
    m_dialogs.ExpectMessage("Sonavel Creator", MsgResult::No);
    EXPECT_FALSE(CreatorShutdown(*m_session, editor, window));
    EXPECT_EQ(m_dialogs.LastMessage().prompt, "Exit Sonavel Creator?");
    EXPECT_EQ(Stored("Height"), "7215");
    EXPECT_EQ(secondaryClosed, 0);

    // Unsaved clock, Cancel: the window stays, but the settings and the
    // secondary windows are dealt with all the same.
    editor.Saved = false;
    pane.text = "Music\r\n";
    m_dialogs.ExpectMessage("Sonavel Creator", MsgResult::Yes)
        .ExpectMessage("File Not Saved", MsgResult::Cancel);
    EXPECT_FALSE(CreatorShutdown(*m_session, editor, window));
    EXPECT_EQ(Stored("Height"), "7000");
    EXPECT_EQ(Stored("Position Top"), "200");
    EXPECT_EQ(secondaryClosed, 1);

    // Yes: saved through Save As, then the program ends.
    m_dialogs.ExpectMessage("Sonavel Creator", MsgResult::Yes)
        .ExpectMessage("File Not Saved", MsgResult::Yes)
        .ExpectFile(Path("kept.clk"), "Save As...");
    EXPECT_TRUE(CreatorShutdown(*m_session, editor, window));
    EXPECT_TRUE(QFile::exists(Path("kept.clk")));

    // No: the clock is dropped and the program ends.
    editor.Saved = false;
    m_dialogs.ExpectMessage("Sonavel Creator", MsgResult::Yes)
        .ExpectMessage("File Not Saved", MsgResult::No);
    EXPECT_TRUE(CreatorShutdown(*m_session, editor, window));
}

TEST_F(CreatorShutdownTest, WhatTheSettingsKeep) {
    // Maximised: the state is kept, the normal size stays as stored.
    window.placement = WindowPlacement{2, 1, 2, 3, 4};
    m_dialogs.ExpectMessage("Sonavel Creator", MsgResult::Yes);
    EXPECT_TRUE(CreatorShutdown(*m_session, editor, window));
    EXPECT_EQ(Stored("Window State"), "2");
    EXPECT_EQ(Stored("Height"), "7215");

    // Minimised: restored first, and stored as a normal window.
    window.placement = WindowPlacement{1, 6000, 8000, 10, 20};
    m_dialogs.ExpectMessage("Sonavel Creator", MsgResult::Yes);
    EXPECT_TRUE(CreatorShutdown(*m_session, editor, window));
    EXPECT_EQ(restored, 1);
    EXPECT_EQ(Stored("Window State"), "0");
    EXPECT_EQ(Stored("Width"), "8000");

    // Saving switched off: nothing is written.
    m_session->Creator.SaveSettingsOnExit = false;
    window.placement = WindowPlacement{0, 5000, 5000, 5, 5};
    m_dialogs.ExpectMessage("Sonavel Creator", MsgResult::Yes);
    EXPECT_TRUE(CreatorShutdown(*m_session, editor, window));
    EXPECT_EQ(Stored("Width"), "8000");
}

TEST_F(CreatorShutdownTest, ASignalKeepsTheUnsavedClockWithoutAskingAndTheNextStartNamesIt) {
    // Nothing unsaved: nothing kept, the settings written as at any exit.
    FakeEditorWindow rich;
    EXPECT_EQ(CreatorShutdownOnSignal(*m_session, editor, pane, window).file, "");
    EXPECT_EQ(Stored("Height"), "7000");
    EXPECT_EQ(secondaryClosed, 1);

    const struct {
        QString paneFile;
        QString text;
        EditorWindow& window;
        QString kept;
        QByteArray content;
    } cases[] = {
        {Path("Clocks/Mon0700.clk"), "Music\r\nNews\r\n", pane,
         "Mon0700 (unsaved 2026-12-05 165522).clk",
         ClockModule::PlainClockContent("Music\r\nNews\r\n")},
        {"", "Jingle\r\n", pane, "New Clock (unsaved 2026-12-05 165522).clk",
         ClockModule::PlainClockContent("Jingle\r\n")},
        // Two in one second from the same clock each keep their own.
        {Path("Mon0700.clk"), "Talk\r\n", pane, "Mon0700 (unsaved 2026-12-05 165522 2).clk",
         ClockModule::PlainClockContent("Talk\r\n")},
        // Rich text stays rich.
        {Path("Morning.rtf"), "Music", rich, "Morning (unsaved 2026-12-05 165522).rtf",
         "{\\rtf1 Music}"},
    };
    QStringList kept;
    for (const auto& c : cases) {
        editor.NamePaneFile(c.paneFile);
        editor.Saved = false;
        pane.text = rich.text = c.text;
        const KeptClock result = CreatorShutdownOnSignal(*m_session, editor, c.window, window);
        EXPECT_EQ(result.file, ProgramFolder() + "/" + c.kept);
        EXPECT_EQ(result.problem, "");
        EXPECT_EQ(textfile::ReadBytes(result.file), c.content) << c.kept.toStdString();
        kept << result.file;
    }
    // No question, no box, whatever the shut-down met.
    EXPECT_TRUE(m_dialogs.Shown().empty());

    m_dialogs.ExpectMessage("Unsaved Clock Kept");
    NameRecoveredClocks(*m_session);
    EXPECT_EQ(m_dialogs.LastMessage().prompt,
              "Sonavel Creator was ended by the system while the clock being edited had changes "
              "that were not saved. They were kept in:\r\n\r\n" +
                  kept.join("\r\n") + "\r\n\r\nOpen the file to go on with those changes.");
    // Named once.
    NameRecoveredClocks(*m_session);

    // The program folder gone: the problem is said, for standard error.
    QDir(ProgramFolder()).removeRecursively();
    QFile(ProgramFolder()).open(QIODevice::WriteOnly);
    editor.Saved = false;
    const KeptClock lost = CreatorShutdownOnSignal(*m_session, editor, pane, window);
    EXPECT_EQ(lost.file, "");
    EXPECT_TRUE(lost.problem.startsWith("The unsaved clock could not be kept in " +
                                        ProgramFolder() + "/Morning (unsaved"))
        << lost.problem.toStdString();
}

}  // namespace
