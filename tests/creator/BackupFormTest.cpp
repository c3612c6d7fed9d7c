#include "AudioEngine.h"
#include "BackupForm.h"
#include "ClockModule.h"
#include "CreatorForm.h"
#include "FlushDeletes.h"
#include "KeywordModule.h"
#include "TempFolder.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <memory>

using namespace sonavel;

namespace {

class BackupFormTest : public TempFolderTest {
  protected:
    BackupFormTest() : keywords(MakeSession(Product::Creator)), clocks(*m_session, keywords) {
        m_session->Creator.ClockFolder = Path("Clocks");
        m_store->SaveSetting(kKeywordApp, "Keywords", KeywordModule::KeywordKey(0), "News");
        m_store->ReplaceSection(kKeywordApp, "News", {{"Color", "255"}});
        Put(ProgramFolder() + "/Default.clk");
        for (int i = 0; i < 30; ++i)
            Put(Path(QString("Clocks/Mon%1.clk").arg(i * 100, 4, 10, QLatin1Char('0'))));
    }

    static void Put(const QString& path) {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("News\r\n");
    }

    // Opens the window from the menu bar, as the operator does.
    BackupForm* Open(const QString& location) {
        m_session->Creator.BackupLocation = location;
        // The window closed before has gone by now.
        FlushDeletes();
        if (!main) main = std::make_unique<CreatorForm>(*m_session, keywords, clocks, audio);
        main->findChild<QAction*>("menuBackup")->trigger();
        window = main->findChild<BackupForm*>();
        return window;
    }
    template <class T>
    T* Get(const char* name) {
        T* found = window ? window->findChild<T*>(name) : nullptr;
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QCheckBox* Box(const char* name) { return Get<QCheckBox>(name); }
    QPushButton* Button(const char* name) { return Get<QPushButton>(name); }
    QLineEdit* Field() { return Get<QLineEdit>("textOtherLocation"); }
    // Enabled states of floppy, other, field, label, browse, backup.
    std::vector<bool> States() {
        return {Box("checkFloppyA")->isEnabled(),
                Box("checkOther")->isEnabled(),
                Field()->isEnabled(),
                Get<QLabel>("labelOtherLocation")->isEnabled(),
                Button("commandBrowse")->isEnabled(),
                Button("commandBackup")->isEnabled()};
    }
    const QString& Location() const { return m_session->Creator.BackupLocation; }

    KeywordModule keywords;
    ClockModule clocks;
    AudioEngine audio{EngineConfig{OutputKind::Virtual, 300, {}}};
    std::unique_ptr<CreatorForm> main;
    QPointer<BackupForm> window;
};

TEST_F(BackupFormTest, OpeningStatesTicksTypingAndBrowse) {
    const std::vector<bool> none{true, true, false, false, false, true};
    ASSERT_NE(Open(""), nullptr);
    EXPECT_EQ(window->windowTitle(), "Sonavel Creator Backup");
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(States(), none);
    EXPECT_FALSE(Box("checkFloppyA")->isChecked() || Box("checkOther")->isChecked());
    EXPECT_FALSE(Get<QProgressBar>("progressBackup")->isVisible());

    Box("checkFloppyA")->click();
    EXPECT_EQ(Location(), "A:");
    EXPECT_EQ(States(), std::vector<bool>({true, false, false, false, false, true}));
    Box("checkFloppyA")->click();
    EXPECT_EQ(Location(), "");
    EXPECT_EQ(States(), std::vector<bool>({true, true, false, false, false, false}))
        << "clearing the floppy box greys Backup";

    Box("checkOther")->click();
    EXPECT_EQ(States(), std::vector<bool>({false, true, true, true, true, true}));
    Field()->setFocus();
    QTest::keyClicks(Field(), "/srv/backup");
    EXPECT_EQ(Location(), "/srv/backup") << "a typed location counts";
    m_dialogs.ExpectFolder(Path("Chosen"), "Browse for Backup Location");
    Button("commandBrowse")->click();
    EXPECT_EQ(m_dialogs.Shown().back().folderInitial, "/srv/backup");
    EXPECT_EQ(Field()->text(), Path("Chosen"));
    EXPECT_EQ(Location(), Path("Chosen"));
    m_dialogs.ExpectFolder("");
    Button("commandBrowse")->click();
    EXPECT_EQ(m_dialogs.Shown().back().folderInitial, Path("Chosen")) << "the last folder browsed";
    EXPECT_EQ(Location(), "") << "Cancel leaves no location";
    EXPECT_EQ(Field()->text(), "");
    Box("checkOther")->click();
    EXPECT_EQ(Location(), "");
    EXPECT_EQ(Field()->text(), "");
    EXPECT_EQ(States(), none) << "Backup stays usable";
    window->close();

    ASSERT_NE(Open("a:"), nullptr);
    EXPECT_TRUE(Box("checkFloppyA")->isChecked());
    EXPECT_EQ(States(), std::vector<bool>({true, false, false, false, false, true}));
    window->close();
    ASSERT_NE(Open(Path("Out")), nullptr);
    EXPECT_TRUE(Box("checkOther")->isChecked());
    EXPECT_EQ(Field()->text(), Path("Out"));
    EXPECT_EQ(States(), std::vector<bool>({false, true, true, true, true, true}));
}

TEST_F(BackupFormTest, EveryMessageEndsInAUsableWindowOrClosesIt) {
    // A folder inside the Clock Folder, typed and sent with Return: refused,
    // nothing made; Escape is Close.
    ASSERT_NE(Open(""), nullptr);
    EXPECT_TRUE(Button("commandBackup")->isDefault());
    QTest::keyClick(Box("checkOther"), Qt::Key_Space);
    QTest::keyClicks(Field(), Path("Clocks/old"));
    m_dialogs.ExpectMessage("Unable to Backup");
    QTest::keyClick(Field(), Qt::Key_Return);
    EXPECT_TRUE(m_dialogs.LastMessage().prompt.startsWith("The backup location " +
                                                          Path("Clocks/old") + " holds the files"));
    EXPECT_FALSE(QFileInfo::exists(Path("Clocks/old")));
    EXPECT_FALSE(QFileInfo::exists(Path("Clocks/backup.key")));
    EXPECT_TRUE(Button("commandClose")->isEnabled());
    QTest::keyClick(Field(), Qt::Key_Escape);
    FlushDeletes();
    EXPECT_TRUE(window.isNull());

    // An empty location, then an empty keyword store: each message returns
    // to the idle state, Close included.
    ASSERT_NE(Open(""), nullptr);
    for (int round = 0; round < 2; ++round) {
        m_dialogs.ExpectMessage("Unable to Backup");
        Button("commandBackup")->click();
        EXPECT_TRUE(Button("commandClose")->isEnabled());
        EXPECT_TRUE(Button("commandBackup")->isEnabled());
        EXPECT_TRUE(Box("checkOverwrite")->isEnabled());
        m_store->DeleteApplication(kKeywordApp);
        m_session->Creator.BackupLocation = Path("Out");
    }
    EXPECT_EQ(m_dialogs.LastMessage().prompt,
              "You must create and save keywords before using Backup.");
    EXPECT_TRUE(Box("checkOther")->isChecked()) << "idle state of the location in use";

    // A missing default clock closes the window after its message.
    QFile::remove(ProgramFolder() + "/Default.clk");
    m_dialogs.ExpectMessage("Unable to Backup");
    Button("commandBackup")->click();
    FlushDeletes();
    EXPECT_TRUE(window.isNull());
}

TEST_F(BackupFormTest, ProgressMovesWhileTheWindowAnswersAndClosingStopsTheCopy) {
    ASSERT_NE(Open(Path("Out")), nullptr);
    QList<int> values;
    // Escape while the copy runs does nothing: Close is greyed.
    QObject::connect(Get<QProgressBar>("progressBackup"), &QProgressBar::valueChanged,
                     [&](int value) {
                         values << value;
                         if (value == 5) QTest::keyClick(Field(), Qt::Key_Escape);
                     });
    // A timer fires during the copy: the window serves events between files.
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(0);
    Button("commandBackup")->click();
    timer.stop();
    EXPECT_EQ(values.size(), 33);
    EXPECT_EQ(values.last(), 32);
    EXPECT_GE(ticks, 10);
    EXPECT_TRUE(Get<QProgressBar>("progressBackup")->isVisible());
    EXPECT_TRUE(Button("commandClose")->isEnabled());
    EXPECT_FALSE(Button("commandBackup")->isEnabled()) << "a finished backup can only be closed";
    EXPECT_EQ(QDir(Path("Out/Clocks")).entryList(QDir::Files).size(), 30);

    // Closed from its title bar in the middle of a second copy: the copy
    // stops after the file in hand and the window goes only afterwards.
    window->close();
    ASSERT_NE(Open(Path("Again")), nullptr);
    // Closed once three clocks are copied.
    QObject::connect(Get<QProgressBar>("progressBackup"), &QProgressBar::valueChanged, window,
                     [this](int value) {
                         if (value == 5) QTimer::singleShot(0, window, [this] { window->close(); });
                     });
    Button("commandBackup")->click();
    FlushDeletes();
    EXPECT_TRUE(window.isNull());
    EXPECT_EQ(QDir(Path("Again/Clocks")).entryList(QDir::Files).size(), 3);
    EXPECT_TRUE(m_dialogs.Shown().empty());

    // The toolbar button opens the window too.
    QAction* button = main->findChild<QAction*>("Backup");
    ASSERT_TRUE(button->isEnabled());
    button->trigger();
    EXPECT_NE(main->findChild<BackupForm*>(), nullptr);
}

}  // namespace
