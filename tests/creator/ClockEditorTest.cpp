#include "ClockEditor.h"
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
    EXPECT_EQ(window.captions["menuRecentFile_1"], "&1 " + mon);
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

}  // namespace
