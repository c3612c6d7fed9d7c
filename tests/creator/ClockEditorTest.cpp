#include "../common/FakeWindows.h"
#include "ClockEditor.h"
#include "CreatorModule.h"
#include "FakeEditorWindow.h"
#include "NamedEntries.h"
#include "TempFolder.h"
#include "TextFile.h"

#include <QDir>
#include <QFile>
#include <map>

using namespace sonavel;

namespace {

class ClockEditorTest : public TempFolderTest {
  protected:
    ClockEditorTest()
        : keywords(MakeSession(Product::Creator)),
          clocks(*m_session, keywords),
          editor(*m_session, keywords, clocks, window) {
        window.editor = &editor;
        m_session->Creator.ClockFolder = Path("Clocks");
        QDir().mkpath(Path("Clocks"));
        for (const char* name : {"Music", "News"}) {
            keywords.RefreshKeywordList();
            keywords.AddKeywordEntry(name);
        }
    }
    QString Clock(const QString& name, const QByteArray& bytes) {
        QFile file(Path("Clocks/" + name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    }

    KeywordModule keywords;
    ClockModule clocks;
    FakeEditorWindow window;
    ClockEditor editor;
};

TEST_F(ClockEditorTest, OpeningLoadsCompactsAndNamesTheClock) {
    const QString mon = Clock("Mon0700.clk", "Music\r\n \r\n\r\nNews");
    m_dialogs.ExpectFile(mon, "Open");
    editor.OpenClockCommand();
    const FileDialogRequest asked = m_dialogs.Shown().back().file;
    EXPECT_EQ(asked.flags, 0x8804);
    EXPECT_EQ(asked.filter, "Clock (Format) Description Files (*.clk)|*.clk");
    EXPECT_EQ(asked.initialFolder, ProgramFolder());
    EXPECT_EQ(window.text, "Music\r\nNews\r\n");
    EXPECT_EQ(window.editHeader, "Edit: Monday 07:00");
    EXPECT_EQ(window.previewHeader, "Preview: Not Enabled");
    EXPECT_TRUE(window.preview.isEmpty());
    EXPECT_TRUE(window.neighbours);
    EXPECT_EQ(window.fileNamePanel, mon);
    EXPECT_TRUE(editor.Saved);
    EXPECT_EQ(editor.CurrentPath(), mon);
    EXPECT_EQ(window.entries.Shown(), QStringList{"&1 " + mon});
    EXPECT_EQ(m_store->GetSetting("Sonavel Recent Files", "Creator", "Recent File 1"), mon);

    // Unsaved changes and Cancel: nothing moves.
    window.Type("Music\r\n");
    ASSERT_FALSE(editor.Saved);
    m_dialogs.ExpectMessage("File Not Saved", MsgResult::Cancel);
    editor.OpenClockCommand();
    EXPECT_EQ(window.text, "Music\r\nNews\r\nMusic\r\n");
    EXPECT_EQ(window.editHeader, "Edit: Monday 07:00");
    EXPECT_FALSE(editor.Saved);
    EXPECT_EQ(m_dialogs.LastMessage().buttons, MsgButtons::YesNoCancel);

    // Damaged bytes load, and show as replacement marks instead of vanishing.
    editor.LoadClockFile(
        Clock("Tue0800.clk", QByteArray("Mu\0sic\r\nN\xffws\n", 13) + QByteArray(200000, 'x')));
    EXPECT_TRUE(window.text.startsWith(QStringLiteral("Mu\uFFFDsic\r\nN\uFFFDws\r\nxxx")));

    // A file that vanished: "File Not Found", and no file is loaded.
    m_session->Creator.EstimateTime = true;
    m_dialogs.ExpectMessage("File Not Saved", MsgResult::No)
        .ExpectFile(Path("Clocks/Tue0100.clk"))
        .ExpectMessage("Sonavel Creator");
    editor.OpenClockCommand();
    EXPECT_EQ(m_dialogs.LastMessage().prompt, "File Not Found");
    EXPECT_EQ(window.editHeader, "Edit: No File is Loaded");
    EXPECT_EQ(window.previewHeader, "Preview: No File is Loaded");
    EXPECT_TRUE(editor.CurrentPath().isEmpty());
}

TEST_F(ClockEditorTest, SaveFollowsTheLastSavedFileAndKeepsOneBackup) {
    m_session->Creator.BackupSavedFiles = true;
    editor.NewClock();
    EXPECT_EQ(window.editHeader, "Edit: New File");
    EXPECT_EQ(window.fileNamePanel, "New File");
    EXPECT_FALSE(window.fileCommands);
    window.Type("Music\r\n");
    EXPECT_TRUE(window.fileCommands) << "typing enables Save As and the rest";
    EXPECT_FALSE(window.save) << "no Save while nothing was ever saved";

    const QString path = Path("Clocks/Tue0900.clk");
    m_dialogs.ExpectFile(path, "Save As...");
    editor.SaveClockAs();
    EXPECT_EQ(textfile::ReadAll(path), "Music\r\n\r\n");
    EXPECT_FALSE(QFile::exists(Path("Clocks/Tue0900.bak"))) << "Save As makes no backup";
    EXPECT_EQ(editor.CurrentPath(), path);

    window.SetEditText("News\r\n");
    editor.SaveClock();
    EXPECT_EQ(m_session->Creator.LastFileSaved, path);
    EXPECT_EQ(textfile::ReadAll(Path("Clocks/Tue0900.bak")), "Music\r\n\r\n");
    EXPECT_FALSE(window.save);
    window.Type("Music\r\n");
    EXPECT_TRUE(window.save) << "once saved, typing offers Save";

    // New over unsaved text: Yes saves through Save As first.
    m_dialogs.ExpectMessage("File Not Saved", MsgResult::Yes).ExpectFile(Path("Clocks/copy.clk"));
    editor.NewClock();
    EXPECT_EQ(textfile::ReadAll(Path("Clocks/copy.clk")), "News\r\nMusic\r\n\r\n");
    EXPECT_TRUE(window.text.isEmpty());
    EXPECT_TRUE(editor.Saved);
}

TEST_F(ClockEditorTest, DefaultClockAndTheWalkThroughTheWeek) {
    m_dialogs.ExpectMessage("No Default Clock Found");
    editor.OpenDefaultClockCommand();
    EXPECT_FALSE(editor.DefaultClockLoaded);

    window.SetEditText("Music\r\nNews\r\n");
    m_dialogs.ExpectMessage("Save as Default Clock", MsgResult::Yes)
        .ExpectMessage("File Saved as Default Clock");
    editor.SaveAsDefaultClockCommand();
    EXPECT_TRUE(editor.DefaultClockLoaded);
    EXPECT_EQ(textfile::ReadAll(ProgramFolder() + "/Default.clk"), "Music\r\nNews\r\n\r\n");
    EXPECT_EQ(window.editHeader, "Edit: Default Clock");

    ASSERT_TRUE(editor.LoadDefaultClock());
    EXPECT_FALSE(clocks.InvalidKeywordFound);
    // A save ends the text with a line break and the file with an empty line,
    // which the element list keeps as its last, empty entry.
    EXPECT_EQ(clocks.DefaultClockLines, QStringList({"Music", "News", ""}));
    EXPECT_FALSE(window.neighbours);

    // Previous from Wednesday 10:00 finds Monday 07:00 across the empty hours.
    const QString mon = Clock("Mon0700.clk", "Music\r\n");
    Clock("Wed1000.clk", "News\r\n");
    editor.OpenClockFile(Path("Clocks/Wed1000.clk"));
    editor.PreviousClock();
    EXPECT_EQ(editor.CurrentPath(), mon);
    EXPECT_EQ(window.editHeader, "Edit: Monday 07:00");
    QFile::remove(Path("Clocks/Wed1000.clk"));
    editor.NextClock();
    EXPECT_EQ(editor.CurrentPath(), mon) << "the only clock: the walk comes back to it";
    QFile::remove(mon);
    m_dialogs.ExpectMessage("Next Hourly Clock Not Found");
    editor.NextClock();
    EXPECT_EQ(m_dialogs.LastMessage().prompt, "Next Hourly Clock Not Found");
}

// ---------------------------------------------------------------------------
// Where Save writes, and when it is offered

TEST_F(ClockEditorTest, SaveOnlyEverWritesTheClockTheHeaderNames) {
    const QString mon = Clock("Mon0700.clk", "Music\r\n");
    const QByteArray kept = "Music\r\n";
    auto unchanged = [&] {
        QFile file(mon);
        return file.open(QIODevice::ReadOnly) && file.readAll() == kept;
    };

    // A station that never saved anything: opening offers Save, and typing
    // into the opened clock keeps it offered.
    ASSERT_TRUE(m_session->Creator.LastFileSaved.isEmpty());
    m_dialogs.ExpectFile(mon, "Open");
    editor.OpenClockCommand();
    EXPECT_TRUE(window.save);
    window.Type("News\r\n");
    EXPECT_TRUE(window.save) << "an edit of an opened clock can be saved";
    editor.SaveClock();
    EXPECT_EQ(textfile::ReadAll(mon), "Music\r\nNews\r\n\r\n");
    QFile::remove(mon);
    Clock("Mon0700.clk", kept);

    // Open, then Open again and Cancel: the pane shows no file and Save
    // writes nothing, typed text or not.
    m_dialogs.ExpectFile(mon, "Open").ExpectFile(std::nullopt, "Open");
    editor.OpenClockCommand();
    editor.OpenClockCommand();
    EXPECT_EQ(window.editHeader, "Edit: No File is Loaded");
    EXPECT_FALSE(window.save);
    editor.SaveClock();
    window.Type("News\r\n");
    EXPECT_FALSE(window.save);
    EXPECT_TRUE(window.fileCommands) << "Save As stays for the typed clock";
    editor.SaveClock();
    EXPECT_TRUE(unchanged());

    // Open Default Clock without a default clock: the same.
    m_dialogs.ExpectMessage("File Not Saved", MsgResult::No).ExpectFile(mon, "Open");
    editor.OpenClockCommand();
    m_dialogs.ExpectMessage("No Default Clock Found");
    editor.OpenDefaultClockCommand();
    EXPECT_EQ(window.editHeader, "Edit: No File is Loaded");
    EXPECT_FALSE(window.save);
    EXPECT_TRUE(editor.Saved) << "an empty pane has nothing to ask about";
    window.Type("News\r\n");
    editor.SaveClock();
    EXPECT_TRUE(unchanged());

    // Start-up without a default clock: "Last File Opened" still names the
    // clock of the last session, which the operator cannot see.
    FakeEditorWindow fresh;
    ClockEditor started(*m_session, keywords, clocks, fresh);
    fresh.editor = &started;
    m_session->Creator.LastFileOpened = mon;
    m_session->Creator.LastFileSaved = mon;
    ASSERT_FALSE(started.LoadDefaultClock());
    fresh.Type("News\r\n");
    EXPECT_FALSE(fresh.save);
    started.SaveClock();
    EXPECT_TRUE(unchanged());
    EXPECT_TRUE(m_dialogs.AllAnswered());
}

TEST_F(ClockEditorTest, UnsavedEditsSurviveACancelledOrFailedSaveAs) {
    const QString mon = Clock("Mon0700.clk", "Music\r\n");
    const QString tue = Clock("Tue0800.clk", "News\r\n");
    m_dialogs.ExpectFile(mon, "Open");
    editor.OpenClockCommand();
    window.Type("News\r\n");
    const QString edited = window.text;
    auto untouched = [&](const char* command) {
        EXPECT_TRUE(m_dialogs.AllAnswered()) << command;
        EXPECT_EQ(window.text, edited) << command;
        EXPECT_EQ(window.editHeader, "Edit: Monday 07:00") << command;
        EXPECT_EQ(editor.CurrentPath(), mon) << command;
        EXPECT_FALSE(editor.Saved) << command;
        EXPECT_TRUE(window.save) << command;
    };
    // Yes to the question, then the Save As dialog is cancelled, or names a
    // place that cannot be written.
    const QString nowhere = Path("missing/folder/kept.clk");
    for (const std::optional<QString>& saveAs :
         {std::optional<QString>(), std::optional(nowhere)}) {
        auto yesThenSaveAs = [&] {
            m_dialogs.ExpectMessage("File Not Saved", MsgResult::Yes)
                .ExpectFile(saveAs, "Save As...");
            if (saveAs) m_dialogs.ExpectMessage("File Save Error");
        };
        yesThenSaveAs();
        editor.NewClock();
        untouched("New");
        yesThenSaveAs();
        editor.OpenClockCommand();
        untouched("Open");
        yesThenSaveAs();
        editor.OpenDefaultClockCommand();
        untouched("Open Default Clock");
        yesThenSaveAs();
        editor.OpenRecentFile("&1 " + tue);
        untouched("Recent File");

        // Exit: the program stays open.
        m_dialogs.ExpectMessage("Sonavel Creator", MsgResult::Yes);
        yesThenSaveAs();
        EXPECT_FALSE(CreatorShutdown(*m_session, editor, ClosingWindow{}));
        untouched("Exit");
    }

    // Next saves into the clock it leaves; when that write fails the walk
    // does not go on.
    QFile::remove(mon);
    ASSERT_TRUE(QDir().mkpath(mon));
    m_dialogs.ExpectMessage("File Not Saved", MsgResult::Yes).ExpectMessage("File Save Error");
    editor.NextClock();
    untouched("Next");
    EXPECT_EQ(m_dialogs.LastMessage().prompt,
              mon +
                  " could not be saved.\r\n\r\nIs a directory.\r\n\r\nThe clock stays in the "
                  "edit window, unsaved.");
}

TEST_F(ClockEditorTest, ClockNeverSavedPrintsWhatThePaneShows) {
    FakeWindows windows;
    m_session->SetWindows(&windows);
    ClockTicker ticker(m_clock, 500);
    editor.NewClock();
    window.Type("Music\r\nNews\r\n");
    m_dialogs.ExpectPrinter();
    editor.PrintFile();
    EXPECT_TRUE(m_dialogs.AllAnswered());
    EXPECT_TRUE(m_dialogs.Messages().empty()) << "no error box";
    ASSERT_EQ(windows.printer.jobs, 1);
    const std::vector<QString>& page = windows.printer.pages.front();
    ASSERT_GE(page.size(), 2u);
    EXPECT_EQ(page[page.size() - 2].trimmed(), "Music");
    EXPECT_EQ(page.back().trimmed(), "News");
    m_session->SetWindows(nullptr);
}

}  // namespace
