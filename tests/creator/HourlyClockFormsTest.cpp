#include "AudioEngine.h"
#include "ClockModule.h"
#include "CreatorForm.h"
#include "FlushDeletes.h"
#include "HourlyClockForms.h"
#include "KeywordModule.h"
#include "TempFolder.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTextEdit>
#include <memory>

using namespace sonavel;

namespace {

const char* const kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};

class HourlyClockFormsTest : public TempFolderTest {
  protected:
    HourlyClockFormsTest() : keywords(MakeSession(Product::Creator)), clocks(*m_session, keywords) {
        m_session->Creator.ClockFolder = Path("Clocks");
        QDir().mkpath(Path("Clocks"));
        form = std::make_unique<CreatorForm>(*m_session, keywords, clocks, audio);
        form->show();
    }

    template <class T>
    T* In(QWidget* window, const QString& name) {
        T* found = window ? window->findChild<T*>(name) : nullptr;
        EXPECT_NE(found, nullptr) << name.toStdString();
        return found;
    }
    QCheckBox* Slot(QWidget* window, int day, int hour) {
        return In<QCheckBox>(window, QString("check%1_%2").arg(kDays[day]).arg(hour));
    }
    // A box is clicked where its caption is; a grid cell may be wider.
    void Click(QCheckBox* box) { box->click(); }
    void Click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
    QStringList ClockFiles() {
        return QDir(Path("Clocks")).entryList({"*.clk"}, QDir::Files, QDir::Name);
    }
    void Write(const QString& name, const QByteArray& bytes) {
        QFile file(Path("Clocks/" + name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    KeywordModule keywords;
    ClockModule clocks;
    AudioEngine audio{EngineConfig{OutputKind::Virtual, 300, {}}};
    std::unique_ptr<CreatorForm> form;
};

TEST_F(HourlyClockFormsTest, SaveDialogRowShortcutsAndSelectAllWriteTheWholeWeek) {
    auto* edit = form->findChild<QTextEdit*>("textEdit");
    QApplication::setActiveWindow(form.get());
    QTest::keyClicks(edit, "News");
    // A coloured pane still gives plain hourly clocks.
    QTextCursor cursor(edit->document());
    cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    QTextCharFormat red;
    red.setForeground(Qt::red);
    cursor.mergeCharFormat(red);
    ASSERT_TRUE(form->findChild<QAction*>("Save as Hourly Clock")->isEnabled());
    form->findChild<QAction*>("Save as Hourly Clock")->trigger();
    auto* dialog = form->findChild<SaveHourlyClockForm*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->windowTitle(), "Save As Hourly Clock");
    EXPECT_EQ(Slot(dialog, 0, 7)->text(), "07:00");
    EXPECT_EQ(In<QLineEdit>(dialog, "testThu")->text(), "Thu");
    EXPECT_EQ(In<QLineEdit>(dialog, "Text7")->text(), "Sun");
    auto* tabs = In<QTabWidget>(dialog, "SSTab1");
    EXPECT_EQ(tabs->tabText(0), "AM");
    EXPECT_EQ(tabs->tabText(1), "PM");

    // Weekdays holds Monday to Friday and stands the other shortcuts aside.
    Click(In<QCheckBox>(dialog, "checkWeekdays_7"));
    for (int day = 0; day < 7; ++day)
        EXPECT_EQ(Slot(dialog, day, 7)->isChecked(), day < 5) << day;
    EXPECT_FALSE(In<QCheckBox>(dialog, "checkAll_7")->isEnabled());
    EXPECT_FALSE(In<QCheckBox>(dialog, "checkWeekend_7")->isEnabled());
    Click(In<QCheckBox>(dialog, "checkWeekdays_7"));
    for (int day = 0; day < 7; ++day)
        EXPECT_FALSE(Slot(dialog, day, 7)->isChecked());
    EXPECT_TRUE(In<QCheckBox>(dialog, "checkAll_7")->isEnabled());
    tabs->setCurrentIndex(1);
    Click(In<QCheckBox>(dialog, "checkWeekend_20"));
    EXPECT_TRUE(Slot(dialog, 5, 20)->isChecked());
    EXPECT_TRUE(Slot(dialog, 6, 20)->isChecked());
    EXPECT_FALSE(Slot(dialog, 4, 20)->isChecked());

    // Clear, then nothing to save.
    Click(In<QPushButton>(dialog, "commandClear"));
    EXPECT_FALSE(Slot(dialog, 5, 20)->isChecked());
    EXPECT_TRUE(In<QCheckBox>(dialog, "checkAll_20")->isEnabled());
    m_dialogs.ExpectMessage("No Hourly Clocks Selected");
    Click(In<QPushButton>(dialog, "commandSave"));
    EXPECT_TRUE(In<QPushButton>(dialog, "commandClose")->isEnabled());
    EXPECT_TRUE(tabs->isEnabled());

    Click(In<QPushButton>(dialog, "commandSelectAll"));
    EXPECT_TRUE(In<QCheckBox>(dialog, "checkAll_0")->isChecked());
    EXPECT_FALSE(In<QCheckBox>(dialog, "checkWeekdays_23")->isEnabled());
    Click(In<QPushButton>(dialog, "commandSave"));
    EXPECT_EQ(ClockFiles().size(), 168);
    QFile sample(Path("Clocks/Thu1200.clk"));
    ASSERT_TRUE(sample.open(QIODevice::ReadOnly));
    EXPECT_EQ(sample.readAll(), QByteArray("News\r\n"));
    EXPECT_EQ(In<QProgressBar>(dialog, "progressSaveHourly")->value(), 168);
    EXPECT_EQ(In<QProgressBar>(dialog, "progressSaveHourly")->maximum(), 168);
    EXPECT_FALSE(In<QPushButton>(dialog, "commandSave")->isEnabled());
    EXPECT_FALSE(In<QPushButton>(dialog, "commandSelectAll")->isEnabled());
    EXPECT_FALSE(tabs->isEnabled());
    EXPECT_TRUE(In<QPushButton>(dialog, "commandClose")->isEnabled());
    EXPECT_EQ(form->findChild<QLineEdit*>("textEditHeader")->text(), "Edit: Sunday 23:00");
    EXPECT_EQ(form->findChild<QLabel*>("FileName")->text(), Path("Clocks/Sun2300.clk"));
    EXPECT_TRUE(form->Editor().Saved);

    Click(In<QPushButton>(dialog, "commandClose"));
    QApplication::processEvents();
    FlushDeletes();
    EXPECT_EQ(form->findChild<SaveHourlyClockForm*>(), nullptr);
}

TEST_F(HourlyClockFormsTest, OpenDialogOffersOnlySavedClocksOneAtATime) {
    // No clocks at all: every box greyed.
    form->findChild<QAction*>("menuOpenHourlyClock")->trigger();
    auto* dialog = form->findChild<OpenHourlyClockForm*>();
    ASSERT_NE(dialog, nullptr);
    for (int day = 0; day < 7; ++day) {
        for (int hour = 0; hour < 24; ++hour)
            ASSERT_FALSE(Slot(dialog, day, hour)->isEnabled()) << day << " " << hour;
    }
    EXPECT_EQ(In<QLabel>(dialog, "labelInfo")->text(),
              "Note: Only those hourly clocks that have previously been saved can be selected.");
    Click(In<QPushButton>(dialog, "commandCancel"));
    FlushDeletes();

    Write("Mon0700.clk", "Music\r\n");
    Write("Sun2300.clk", "News\r\n");
    form->findChild<QAction*>("Open Hourly Clock")->trigger();
    dialog = form->findChild<OpenHourlyClockForm*>();
    ASSERT_NE(dialog, nullptr);
    auto enabled = [&] {
        QStringList names;
        for (int day = 0; day < 7; ++day) {
            for (int hour = 0; hour < 24; ++hour) {
                if (Slot(dialog, day, hour)->isEnabled())
                    names << Slot(dialog, day, hour)->objectName();
            }
        }
        return names;
    };
    EXPECT_EQ(enabled(), QStringList({"checkMon_7", "checkSun_23"}));
    auto* open = In<QPushButton>(dialog, "commandOpen");
    EXPECT_FALSE(open->isEnabled());

    In<QTabWidget>(dialog, "SSTab1")->setCurrentIndex(1);
    Click(Slot(dialog, 6, 23));
    EXPECT_EQ(enabled(), QStringList({"checkSun_23"}));
    EXPECT_TRUE(open->isEnabled());
    EXPECT_EQ(dialog->SelectedPath(), Path("Clocks/Sun2300.clk"));
    Click(Slot(dialog, 6, 23));
    EXPECT_EQ(enabled(), QStringList({"checkMon_7", "checkSun_23"}));
    EXPECT_FALSE(open->isEnabled());
    EXPECT_TRUE(dialog->SelectedPath().isEmpty());

    // Return is Open.
    In<QTabWidget>(dialog, "SSTab1")->setCurrentIndex(0);
    Click(Slot(dialog, 0, 7));
    EXPECT_TRUE(open->isDefault());
    QTest::keyClick(Slot(dialog, 0, 7), Qt::Key_Return);
    FlushDeletes();
    EXPECT_EQ(form->findChild<OpenHourlyClockForm*>(), nullptr);
    EXPECT_EQ(form->EditText(), "Music\r\n");
    EXPECT_EQ(form->findChild<QLineEdit*>("textEditHeader")->text(), "Edit: Monday 07:00");
    EXPECT_EQ(form->Editor().CurrentPath(), Path("Clocks/Mon0700.clk"));

    // Escape after ticking is Cancel: the clock stays as it was.
    form->findChild<QAction*>("menuOpenHourlyClock")->trigger();
    dialog = form->findChild<OpenHourlyClockForm*>();
    ASSERT_NE(dialog, nullptr);
    In<QTabWidget>(dialog, "SSTab1")->setCurrentIndex(1);
    Click(Slot(dialog, 6, 23));
    QTest::keyClick(Slot(dialog, 6, 23), Qt::Key_Escape);
    FlushDeletes();
    EXPECT_EQ(form->findChild<OpenHourlyClockForm*>(), nullptr);
    EXPECT_EQ(form->Editor().CurrentPath(), Path("Clocks/Mon0700.clk"));
    EXPECT_EQ(form->EditText(), "Music\r\n");
}

// The open dialog left open while the save dialog writes a new slot: brought
// forward again, it offers the new slot; a slot already ticked stays picked.
TEST_F(HourlyClockFormsTest, OpenDialogBroughtForwardShowsTheWeekAsItIsNow) {
    Write("Mon0700.clk", "Music\r\n");
    form->findChild<QAction*>("menuOpenHourlyClock")->trigger();
    auto* opener = form->findChild<OpenHourlyClockForm*>();
    ASSERT_NE(opener, nullptr);
    EXPECT_FALSE(Slot(opener, 1, 8)->isEnabled());

    QApplication::setActiveWindow(form.get());
    QTest::keyClicks(form->findChild<QTextEdit*>("textEdit"), "News");
    form->findChild<QAction*>("Save as Hourly Clock")->trigger();
    auto* saver = form->findChild<SaveHourlyClockForm*>();
    ASSERT_NE(saver, nullptr);
    QTest::keyClick(Slot(saver, 1, 8), Qt::Key_Space);
    EXPECT_TRUE(In<QPushButton>(saver, "commandSave")->isDefault());
    QTest::keyClick(Slot(saver, 1, 8), Qt::Key_Return);
    EXPECT_EQ(ClockFiles(), QStringList({"Mon0700.clk", "Tue0800.clk"}));
    QTest::keyClick(In<QPushButton>(saver, "commandClose"), Qt::Key_Escape);
    FlushDeletes();
    EXPECT_EQ(form->findChild<SaveHourlyClockForm*>(), nullptr);

    form->findChild<QAction*>("Open Hourly Clock")->trigger();
    EXPECT_EQ(form->findChild<OpenHourlyClockForm*>(), opener) << "the same dialog";
    EXPECT_TRUE(Slot(opener, 1, 8)->isEnabled());
    EXPECT_TRUE(Slot(opener, 0, 7)->isEnabled());

    // Ticked, it stays the one choice while its file is there.
    Click(Slot(opener, 0, 7));
    Write("Wed0900.clk", "News\r\n");
    opener->hide();
    form->findChild<QAction*>("menuOpenHourlyClock")->trigger();
    EXPECT_TRUE(Slot(opener, 0, 7)->isChecked());
    EXPECT_FALSE(Slot(opener, 2, 9)->isEnabled());
    EXPECT_EQ(opener->SelectedPath(), Path("Clocks/Mon0700.clk"));
}

}  // namespace
