#include "ClockEditor.h"
#include "FakeEditorWindow.h"
#include "HourlyClocks.h"
#include "TempFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace sonavel;

namespace {

class HourlyClocksTest : public TempFolderTest {
  protected:
    HourlyClocksTest()
        : keywords(MakeSession(Product::Creator)),
          clocks(*m_session, keywords),
          editor(*m_session, keywords, clocks, window),
          hourly(*m_session, editor, window) {
        window.editor = &editor;
        m_session->Creator.ClockFolder = Path("Clocks");
        QDir().mkpath(Path("Clocks"));
    }

    QByteArray Read(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    void Write(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QStringList ClockFiles() {
        return QDir(Path("Clocks")).entryList({"*.clk"}, QDir::Files, QDir::Name);
    }

    KeywordModule keywords;
    ClockModule clocks;
    FakeEditorWindow window;
    ClockEditor editor;
    HourlyClocks hourly;
};

TEST_F(HourlyClocksTest, SlotsAreWrittenHourByHourMondayToSunday) {
    SlotGrid all{};
    for (auto& day : all)
        day.fill(true);
    const std::vector<HourlySlot> order = HourlyClocks::SaveOrder(all);
    ASSERT_EQ(order.size(), 168u);
    QStringList names;
    for (const HourlySlot& slot : order)
        names << QFileInfo(hourly.SlotPath(slot)).fileName();
    EXPECT_EQ(names.mid(0, 8),
              QStringList({"Mon0000.clk", "Tue0000.clk", "Wed0000.clk", "Thu0000.clk",
                           "Fri0000.clk", "Sat0000.clk", "Sun0000.clk", "Mon0100.clk"}));
    EXPECT_EQ(names.back(), "Sun2300.clk");

    // Select All and Save: 168 files, the progress ending at 168, the pane
    // now naming the last of them.
    window.text = "Music\r\nNews\r\n";
    editor.Saved = false;
    int lastValue = 0, lastMaximum = 0, steps = 0;
    EXPECT_EQ(hourly.SaveHourlyClocks(all,
                                      [&](int value, int maximum) {
                                          EXPECT_EQ(value, lastValue + 1);
                                          lastValue = value;
                                          lastMaximum = maximum;
                                          ++steps;
                                      }),
              HourlyClocks::SaveOutcome::Saved);
    EXPECT_EQ(steps, 168);
    EXPECT_EQ(lastMaximum, 168);
    EXPECT_EQ(ClockFiles().size(), 168);
    EXPECT_EQ(Read(Path("Clocks/Wed1500.clk")), "Music\r\nNews\r\n\r\n");
    EXPECT_EQ(editor.CurrentPath(), Path("Clocks/Sun2300.clk"));
    EXPECT_EQ(window.editHeader, "Edit: Sunday 23:00");
    EXPECT_EQ(window.previewHeader, "Preview: Not Enabled");
    EXPECT_EQ(window.fileNamePanel, Path("Clocks/Sun2300.clk"));
    EXPECT_TRUE(window.neighbours);
    EXPECT_TRUE(editor.Saved);
    EXPECT_TRUE(m_dialogs.Shown().empty());
}

TEST_F(HourlyClocksTest, WeekdaysOfOneRowWithBackupsOfWhatTheyReplace) {
    m_session->Creator.BackupSavedFiles = true;
    m_session->Creator.EstimateTime = true;
    Write(Path("Clocks/Tue0700.clk"), "Old\r\n");
    SlotGrid weekdays{};
    for (int day = 0; day < 5; ++day)
        weekdays[day][7] = true;
    window.text = "News\r\n";
    EXPECT_EQ(hourly.SaveHourlyClocks(weekdays, nullptr), HourlyClocks::SaveOutcome::Saved);
    EXPECT_EQ(ClockFiles(), QStringList({"Fri0700.clk", "Mon0700.clk", "Thu0700.clk", "Tue0700.clk",
                                         "Wed0700.clk"}));
    EXPECT_EQ(Read(Path("Clocks/Tue0700.clk")), "News\r\n\r\n");
    EXPECT_EQ(Read(Path("Clocks/Tue0700.bak")), "Old\r\n");
    EXPECT_FALSE(QFile::exists(Path("Clocks/Mon0700.bak"))) << "nothing was replaced there";
    EXPECT_EQ(window.editHeader, "Edit: Friday 07:00");
    EXPECT_EQ(window.previewHeader, "Preview: Friday 07:00");
}

TEST_F(HourlyClocksTest, RefusalsAndFailuresWriteNothingFurther) {
    SlotGrid three{};
    three[0][0] = three[1][0] = three[2][0] = true;

    // Nothing ticked.
    m_dialogs.ExpectMessage("No Hourly Clocks Selected");
    EXPECT_EQ(hourly.SaveHourlyClocks(SlotGrid{}, nullptr),
              HourlyClocks::SaveOutcome::NothingSelected);
    EXPECT_EQ(m_dialogs.LastMessage().prompt, "You must first select hourly clock(s) to save.");

    // An empty pane would silence those hours: refused, also when it holds
    // nothing but line breaks.
    for (const char* empty : {"", "\r\n\r\n"}) {
        window.text = empty;
        m_dialogs.ExpectMessage("Save as Hourly Clock");
        EXPECT_EQ(hourly.SaveHourlyClocks(three, nullptr), HourlyClocks::SaveOutcome::EmptyClock);
        EXPECT_EQ(m_dialogs.LastMessage().icon, MsgIcon::Information);
    }
    EXPECT_TRUE(ClockFiles().isEmpty());

    // The second slot cannot be written: the first stays written, the third
    // is not tried, the Saved flag keeps its value.
    window.text = "Music\r\n";
    editor.Saved = false;
    QDir().mkpath(Path("Clocks/Tue0000.clk"));
    m_dialogs.ExpectMessage("File Save Error");
    EXPECT_EQ(hourly.SaveHourlyClocks(three, nullptr), HourlyClocks::SaveOutcome::Failed);
    const MessageRequest failed = m_dialogs.LastMessage();
    EXPECT_EQ(failed.prompt, Path("Clocks/Tue0000.clk") +
                                 " could not be saved.\r\n\r\nCheck Clock Folder setting, "
                                 "read-only attribute or hard drive\r\n\r\nSave as Hourly Clock "
                                 "aborted.");
    EXPECT_EQ(failed.buttons, MsgButtons::OKCancel);
    EXPECT_EQ(failed.icon, MsgIcon::Critical);
    EXPECT_EQ(ClockFiles(), QStringList({"Mon0000.clk"}));
    EXPECT_FALSE(editor.Saved);

    // A Clock Folder that is not there fails at the first slot.
    m_session->Creator.ClockFolder = Path("Gone");
    m_dialogs.ExpectMessage("File Save Error");
    EXPECT_EQ(hourly.SaveHourlyClocks(three, nullptr), HourlyClocks::SaveOutcome::Failed);
    EXPECT_TRUE(m_dialogs.LastMessage().prompt.startsWith(Path("Gone/Mon0000.clk") + " could"));
    EXPECT_FALSE(QFileInfo::exists(Path("Gone")));
    EXPECT_FALSE(editor.Saved);

    // An empty setting means the program folder's Clocks, never the root.
    m_session->Creator.ClockFolder.clear();
    QDir().mkpath(ProgramFolder() + "/Clocks");
    SlotGrid one{};
    one[6][23] = true;
    EXPECT_EQ(hourly.SaveHourlyClocks(one, nullptr), HourlyClocks::SaveOutcome::Saved);
    EXPECT_EQ(Read(ProgramFolder() + "/Clocks/Sun2300.clk"), "Music\r\n\r\n");
    EXPECT_EQ(m_session->Creator.ClockFolder, ProgramFolder() + "/Clocks");
}

TEST_F(HourlyClocksTest, OpeningAsksAboutUnsavedChangesFirst) {
    Write(Path("Clocks/Mon0700.clk"), "Music\r\n");
    Write(Path("Clocks/Sat2300.clk"), "News\r\n");
    const SlotGrid existing = hourly.ExistingClocks();
    int count = 0;
    for (const auto& day : existing)
        count += static_cast<int>(std::count(day.begin(), day.end(), true));
    EXPECT_EQ(count, 2);
    EXPECT_TRUE(existing[0][7]);
    EXPECT_TRUE(existing[5][23]);

    const QString mon = hourly.SlotPath({0, 7});
    const QString earlier = Path("Clocks/Earlier.clk");
    Write(earlier, "");
    editor.LoadClockFile(earlier);
    window.Type("Edited\r\n");

    // Cancel: nothing changes.
    m_dialogs.ExpectMessage("File Not Saved", MsgResult::Cancel);
    EXPECT_EQ(hourly.OpenHourlyClock(mon), HourlyClocks::OpenOutcome::Kept);
    EXPECT_EQ(window.text, "Edited\r\n");
    EXPECT_EQ(editor.CurrentPath(), earlier);
    EXPECT_FALSE(editor.Saved);

    // Yes saves the clock to its own file, then opens.
    m_dialogs.ExpectMessage("File Not Saved", MsgResult::Yes);
    EXPECT_EQ(hourly.OpenHourlyClock(mon), HourlyClocks::OpenOutcome::Opened);
    EXPECT_EQ(Read(earlier), "Edited\r\n\r\n");
    EXPECT_EQ(window.text, "Music\r\n");
    EXPECT_EQ(editor.CurrentPath(), mon);
    EXPECT_EQ(window.editHeader, "Edit: Monday 07:00");
    EXPECT_TRUE(editor.Saved);
    EXPECT_TRUE(window.fileCommands);
    EXPECT_TRUE(window.entries.Shown().isEmpty()) << "hourly opens stay off the recent files";

    // A clock never saved goes through Save As; cancelling that keeps the edits.
    editor.NewClock();
    window.Type("Fresh\r\n");
    m_dialogs.ExpectMessage("File Not Saved", MsgResult::Yes)
        .ExpectFile(std::nullopt, "Save As...");
    EXPECT_EQ(hourly.OpenHourlyClock(mon), HourlyClocks::OpenOutcome::Kept);
    EXPECT_EQ(window.text, "Fresh\r\n");
    m_dialogs.ExpectMessage("File Not Saved", MsgResult::Yes).ExpectFile(Path("fresh.clk"));
    EXPECT_EQ(hourly.OpenHourlyClock(hourly.SlotPath({5, 23})), HourlyClocks::OpenOutcome::Opened);
    EXPECT_EQ(Read(Path("fresh.clk")), "Fresh\r\n\r\n");
    EXPECT_EQ(window.text, "News\r\n");

    // A slot file deleted after the dialog looked: reported, nothing asked.
    window.Type("More\r\n");
    QFile::remove(mon);
    m_dialogs.ExpectMessage("Sonavel Creator");
    EXPECT_EQ(hourly.OpenHourlyClock(mon), HourlyClocks::OpenOutcome::Missing);
    EXPECT_EQ(m_dialogs.LastMessage().prompt, "File Not Found");
    EXPECT_EQ(window.text, "News\r\nMore\r\n");
}

}  // namespace
