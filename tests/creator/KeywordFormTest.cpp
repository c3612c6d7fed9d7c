#include "AudioEngine.h"
#include "AudioMediaPlayer.h"
#include "ClockModule.h"
#include "CommonModule.h"
#include "CreatorForm.h"
#include "FakeMediaPlayer.h"
#include "FormatModule.h"
#include "KeywordForm.h"
#include "KeywordModule.h"
#include "KeywordTime.h"
#include "RunForms.h"
#include "TempFolder.h"
#include "TestSounds.h"
#include "TextFile.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <memory>

using namespace sonavel;

namespace {

const QString kApp = QString::fromLatin1(kKeywordApp);
const QString kUnable = QStringLiteral("Unable to calculate Estimated Time");

class KeywordFormTest : public TempFolderTest {
  protected:
    KeywordFormTest() : keywords(MakeSession(Product::Creator)) {}

    void StoreKeyword(const QString& name, const QString& description = {}) {
        keywords.RefreshKeywordList();
        ASSERT_TRUE(keywords.AddKeywordEntry(name));
        if (!description.isEmpty()) Save(name, "Description", description);
    }
    void Save(const QString& name, const char* key, const QString& value) {
        m_store->SaveSetting(kApp, name, QString::fromLatin1(key), value);
    }
    QString Stored(const QString& name, const char* key) {
        return m_store->GetSetting(kApp, name, QString::fromLatin1(key));
    }

    KeywordForm& Open() {
        form = std::make_unique<KeywordForm>(*m_session, keywords, player);
        form->show();
        return *form;
    }
    template <class T>
    T* Find(const char* name) {
        T* found = form->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QListWidget* List() { return Find<QListWidget>("listKeyword"); }
    QLineEdit* Field(const char* name) { return Find<QLineEdit>(name); }
    QPushButton* Button(const char* name) { return Find<QPushButton>(name); }
    QStringList Listed() {
        QStringList names;
        for (int i = 0; i < List()->count(); ++i)
            names << List()->item(i)->text();
        return names;
    }
    QString Selected() {
        const QListWidgetItem* item = List()->currentItem();
        return item ? item->text() : QString();
    }

    // A folder of empty files; the fake player supplies their durations.
    QString Folder(const QString& name, const QStringList& files) {
        QDir(m_dir.path()).mkpath(name);
        QString folder = Path(name);
        for (const QString& file : files) {
            QFile out(QDir(folder).filePath(file));
            EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        }
        return folder;
    }
    void Duration(const QString& folder, const QString& file, double seconds) {
        player.SetDuration(QDir(folder).filePath(file), seconds);
    }

    void ExpectGreyed() {
        for (const char* name : {"textDescription", "textFolder", "textNotes"}) {
            EXPECT_FALSE(Field(name)->isEnabled()) << name;
            EXPECT_EQ(Field(name)->palette().color(QPalette::Base), QColor(192, 192, 192)) << name;
        }
        for (const char* name :
             {"commandDeleteKeyword", "commandDeleteAllKeywords", "commandSelectColor",
              "commandEstimatedTime", "commandBrowseFolder"}) {
            EXPECT_FALSE(Button(name)->isEnabled()) << name;
        }
        EXPECT_TRUE(Button("commandAddKeyword")->isEnabled());
        EXPECT_TRUE(Button("commandBrowseKeyword")->isEnabled());
        EXPECT_EQ(Field("textNotes")->text(), "None");
        EXPECT_EQ(Find<QLabel>("textColor")->palette().color(QPalette::Window), QColor(Qt::black));
    }

    KeywordModule keywords;
    FakeMediaPlayer player;
    std::unique_ptr<KeywordForm> form;
};

// ---------------------------------------------------------------------------
// Opening and selecting

TEST_F(KeywordFormTest, WindowCarriesItsCaptionsTipsAndDeadFrames) {
    Open();
    EXPECT_EQ(form->windowTitle(), "Keyword Maintanence");
    EXPECT_FALSE(form->isModal());
    EXPECT_EQ(Button("commandAddKeyword")->text(), "&Add New Keyword");
    EXPECT_EQ(Button("commandBrowseKeyword")->text(), "Browse for New &Keyword");
    EXPECT_EQ(Button("commandDeleteAllKeywords")->toolTip(), "delete a keyword");
    EXPECT_EQ(Button("commandEstimatedTime")->toolTip(),
              "calculates estimated time based on sound files in folder");
    EXPECT_EQ(Find<QLabel>("textColorText")->text(), "Abcd - 1234");
    EXPECT_EQ(Find<QLabel>("textEstimatedTime")->text(), "00:00");
    for (const char* name : {"frameSelectionMethod", "frameArtistRepeat"}) {
        auto* frame = Find<QGroupBox>(name);
        EXPECT_FALSE(frame->isEnabled()) << name;
    }
    EXPECT_EQ(Find<QGroupBox>("frameArtistRepeat")->findChildren<QRadioButton*>().size(), 9);
}

TEST_F(KeywordFormTest, OpeningTheWindowLeavesTheStoredDefaultFolderAlone) {
    Open();
    WriteRegistry(*m_session);
    EXPECT_EQ(m_store->GetSetting("Sonavel", "Creator Settings", "Keyword Default Folder"),
              m_session->ProgramFolder());
}

TEST_F(KeywordFormTest, WithOneKeywordStoredOpeningSelectsNothing) {
    StoreKeyword("Jingle");
    Open();
    EXPECT_EQ(Listed(), QStringList{"Jingle"});
    EXPECT_EQ(Selected(), "");
    ExpectGreyed();
}

TEST_F(KeywordFormTest, WithTwoKeywordsOpeningShowsTheFirstInItsColour) {
    StoreKeyword("Jingle", "Short station jingles");
    StoreKeyword("Ads");
    Save("Jingle", "Color", QString::number(0x0000FF));  // red, as stored
    Save("Jingle", "Estimated Time", "125");
    Open();
    EXPECT_EQ(Selected(), "Jingle");
    EXPECT_EQ(Field("textDescription")->text(), "Short station jingles");
    EXPECT_TRUE(Field("textDescription")->isEnabled());
    EXPECT_EQ(Field("textDescription")->palette().color(QPalette::Base), QColor(Qt::white));
    EXPECT_EQ(Find<QLabel>("textEstimatedTime")->text(), FormatTime(125));
    EXPECT_EQ(Find<QLabel>("textColor")->palette().color(QPalette::Window), QColor(Qt::red));
    EXPECT_EQ(Find<QLabel>("textKeywordDisplay")->palette().color(QPalette::WindowText),
              QColor(Qt::red));
    EXPECT_FALSE(Find<QGroupBox>("frameSelectionMethod")->isEnabled());
    // Showing a keyword writes nothing back.
    EXPECT_EQ(Stored("Jingle", "Estimated Time"), "125");
}

// ---------------------------------------------------------------------------
// Field edits

TEST_F(KeywordFormTest, FolderIsStoredAsTypedAndTidiedWhenTheFieldIsLeft) {
    StoreKeyword("Jingle");
    StoreKeyword("Ads");
    Open();
    QLineEdit* folder = Field("textFolder");
    folder->clear();
    // Key by key, blanks and separators included.
    QTest::keyClicks(folder, "/music/Smooth Jazz");
    EXPECT_EQ(Stored("Jingle", "Folder"), "/music/Smooth Jazz");
    EXPECT_EQ(folder->text(), "/music/Smooth Jazz");

    // Leaving the field trims it and drops one final separator.
    QTest::keyClicks(folder, "/  ");
    EXPECT_EQ(Stored("Jingle", "Folder"), "/music/Smooth Jazz/  ");
    QTest::keyClick(folder, Qt::Key_Return);
    EXPECT_EQ(Stored("Jingle", "Folder"), "/music/Smooth Jazz");
    EXPECT_EQ(folder->text(), "/music/Smooth Jazz");
    folder->setText("  /music//");
    emit folder->editingFinished();
    EXPECT_EQ(Stored("Jingle", "Folder"), "/music/");

    // An emptied field stores nothing.
    folder->clear();
    emit folder->editingFinished();
    EXPECT_EQ(Stored("Jingle", "Folder"), "/music/");
    EXPECT_EQ(Stored("Ads", "Folder"), m_session->ProgramFolder());

    // Closing the window counts as leaving the field.
    QTest::keyClicks(folder, " /air/news/");
    form->close();
    EXPECT_EQ(Stored("Jingle", "Folder"), "/air/news");
}

TEST_F(KeywordFormTest, DescriptionAndNotesAreStoredAsTyped) {
    StoreKeyword("Jingle");
    StoreKeyword("Ads");
    Open();
    Field("textDescription")->setText(" spaced ");
    Field("textNotes")->setText("");
    EXPECT_EQ(Stored("Jingle", "Description"), " spaced ");
    EXPECT_EQ(Stored("Jingle", "Notes"), "");
    EXPECT_EQ(Stored("Ads", "Notes"), "None");
}

TEST_F(KeywordFormTest, ChosenColourIsStoredAndCancelChangesNothing) {
    StoreKeyword("Jingle");
    StoreKeyword("Ads");
    Open();
    m_dialogs.ExpectColor(0x00FF00).ExpectColor(std::nullopt);
    Button("commandSelectColor")->click();
    EXPECT_EQ(Stored("Jingle", "Color"), QString::number(0x00FF00));
    EXPECT_EQ(Find<QLabel>("textColor")->palette().color(QPalette::Window), QColor(Qt::green));
    Button("commandSelectColor")->click();
    EXPECT_EQ(Stored("Jingle", "Color"), QString::number(0x00FF00));
    EXPECT_EQ(m_dialogs.Shown().back().colorInitial, 0x00FF00);
}

TEST_F(KeywordFormTest, BrowsedFolderBecomesTheKeywordsFolder) {
    StoreKeyword("Jingle");
    StoreKeyword("Ads");
    m_session->Creator.LastOpenFolder = "/start";
    Open();
    m_dialogs.ExpectFolder("/music/ads", "Browse for Keyword Folder");
    Button("commandBrowseFolder")->click();
    EXPECT_EQ(m_dialogs.Shown().back().folderInitial, "/start");
    EXPECT_EQ(Stored("Jingle", "Folder"), "/music/ads");
    EXPECT_EQ(m_session->Creator.LastOpenFolder, "/music/ads");
    EXPECT_EQ(keywords.LastKeywordFolder, "/music/ads");
}

// ---------------------------------------------------------------------------
// Adding

TEST_F(KeywordFormTest, NameDifferingOnlyInCaseIsAccepted) {
    StoreKeyword("Jingle");
    Open();
    m_dialogs.ExpectInput(QStringLiteral("jingle"), "Add New Keyword");
    Button("commandAddKeyword")->click();
    EXPECT_EQ(Listed(), (QStringList{"Jingle", "jingle"}));
    EXPECT_EQ(Selected(), "jingle");
    EXPECT_EQ(Stored("jingle", "Description"), "jingle");
    EXPECT_EQ(Field("textDescription")->text(), "jingle");
    EXPECT_TRUE(Field("textDescription")->isEnabled());
    EXPECT_EQ(m_dialogs.Shown().back().inputPrompt, "Enter a new keyword: ");

    // Names that are awkward as paths are only names here, and survive a
    // fresh read of the store.
    const QString longName(300, QLatin1Char('k'));
    for (const QString& name : {longName, QStringLiteral("News/Sport"), QStringLiteral("a\\b")}) {
        m_dialogs.ExpectInput(name, "Add New Keyword");
        Button("commandAddKeyword")->click();
        EXPECT_EQ(Selected(), name);
    }
    ASSERT_TRUE(keywords.GetKeywordDefinitions());
    ASSERT_EQ(keywords.KeywordDefinitions.size(), 5u);
    EXPECT_EQ(keywords.KeywordDefinitions[2].Keyword, longName);
    EXPECT_EQ(keywords.KeywordDefinitions[3].Description, "News/Sport");
}

TEST_F(KeywordFormTest, ExactDuplicateIsRefusedWithTheMessage) {
    StoreKeyword("Jingle");
    StoreKeyword("Ads");
    Open();
    m_dialogs.ExpectInput(QStringLiteral("Ads"), "Add New Keyword")
        .ExpectMessage("Add New Keyword");
    Button("commandAddKeyword")->click();
    EXPECT_EQ(m_dialogs.LastMessage().prompt,
              "'Ads' is already in use, please use another Keyword.");
    EXPECT_EQ(m_dialogs.LastMessage().icon, MsgIcon::Information);
    EXPECT_EQ(Listed(), (QStringList{"Jingle", "Ads"}));
    EXPECT_EQ(Selected(), "Jingle");
    EXPECT_EQ(Field("textDescription")->text(), "Jingle");
}

TEST_F(KeywordFormTest, CancelledInputLeavesListAndPreviousKeywordUnchanged) {
    StoreKeyword("Jingle", "Short station jingles");
    StoreKeyword("Ads");
    Save("Jingle", "Folder", "/music/jingles");
    Open();
    m_dialogs.ExpectInput(std::nullopt, "Add New Keyword");
    Button("commandAddKeyword")->click();
    EXPECT_EQ(Listed(), (QStringList{"Jingle", "Ads"}));
    EXPECT_EQ(Selected(), "Jingle");
    EXPECT_EQ(Stored("Jingle", "Description"), "Short station jingles");
    EXPECT_EQ(Stored("Jingle", "Folder"), "/music/jingles");
    EXPECT_EQ(Stored("Jingle", "Notes"), "None");
    EXPECT_EQ(Field("textDescription")->text(), "Short station jingles");
    EXPECT_EQ(Field("textFolder")->text(), "/music/jingles");
}

TEST_F(KeywordFormTest, CancelWithNothingSelectedKeepsTheFieldsGreyed) {
    StoreKeyword("Jingle");
    Open();
    m_dialogs.ExpectInput(QStringLiteral(""));
    Button("commandAddKeyword")->click();
    EXPECT_EQ(Listed(), QStringList{"Jingle"});
    ExpectGreyed();
}

TEST_F(KeywordFormTest, BrowsedNewKeywordOffersTheFolderNameAndKeepsTheFolder) {
    Open();
    m_dialogs.ExpectFolder("/music/Smooth Jazz", "Select folder for 'New Keyword's' files")
        .ExpectInput(QStringLiteral("Jazz"), "Edit New Keyword");
    Button("commandBrowseKeyword")->click();
    EXPECT_EQ(m_dialogs.Shown().back().inputDefault, "Smooth Jazz");
    EXPECT_EQ(m_dialogs.Shown().back().inputPrompt, "Edit new keyword: ");
    EXPECT_EQ(Listed(), QStringList{"Jazz"});
    EXPECT_EQ(Stored("Jazz", "Folder"), "/music/Smooth Jazz");
    EXPECT_EQ(Field("textFolder")->text(), "/music/Smooth Jazz");
    EXPECT_EQ(m_session->Creator.LastOpenFolder, "/music/Smooth Jazz");
}

// ---------------------------------------------------------------------------
// Deleting

TEST_F(KeywordFormTest, DeletingTheLastKeywordLeavesAnEmptyListAndGreyedFields) {
    StoreKeyword("Jingle");
    Open();
    List()->setCurrentRow(0);
    m_dialogs.ExpectMessage("Keyword Maintenance", MsgResult::Yes);
    Button("commandDeleteKeyword")->click();
    EXPECT_EQ(m_dialogs.LastMessage().defaultButton, 2);
    EXPECT_EQ(m_dialogs.LastMessage().icon, MsgIcon::Exclamation);
    EXPECT_EQ(List()->count(), 0);
    EXPECT_EQ(Stored("Jingle", "Color"), "");
    ExpectGreyed();
}

TEST_F(KeywordFormTest, KeywordWithAnEmptiedDescriptionCanBeDeleted) {
    StoreKeyword("Jingle");
    StoreKeyword("Ads");
    Open();
    Field("textDescription")->clear();
    ASSERT_EQ(Stored("Jingle", "Description"), "");
    m_dialogs.ExpectMessage("Keyword Maintenance", MsgResult::Yes);
    Button("commandDeleteKeyword")->click();
    EXPECT_EQ(Listed(), QStringList{"Ads"});
    EXPECT_FALSE(m_store->SectionExists(kApp, "Jingle"));
    keywords.RefreshKeywordList();
    EXPECT_EQ(keywords.LastKeywordNumber, 0) << "the keyword stays gone";
}

TEST_F(KeywordFormTest, DeletingOneOfTwoSelectsTheOtherAndNoKeepsBoth) {
    StoreKeyword("Jingle");
    StoreKeyword("Ads");
    Open();
    m_dialogs.ExpectMessage("Keyword Maintenance", MsgResult::No);
    Button("commandDeleteKeyword")->click();
    EXPECT_EQ(Listed(), (QStringList{"Jingle", "Ads"}));
    m_dialogs.ExpectMessage("Keyword Maintenance", MsgResult::Yes);
    Button("commandDeleteKeyword")->click();
    EXPECT_EQ(Listed(), QStringList{"Ads"});
    EXPECT_EQ(Selected(), "Ads");
    EXPECT_EQ(Field("textDescription")->text(), "Ads");
}

TEST_F(KeywordFormTest, DeleteAllEmptiesTheStoreAndReportsIt) {
    StoreKeyword("Jingle");
    StoreKeyword("Ads");
    Open();
    bool paneEmptied = false;
    QObject::connect(form.get(), &KeywordForm::AllKeywordsDeleted, [&] { paneEmptied = true; });
    m_dialogs.ExpectMessage("Keyword Maintenance", MsgResult::Yes)
        .ExpectMessage("Keyword Maintenance");
    Button("commandDeleteAllKeywords")->click();
    EXPECT_EQ(m_dialogs.LastMessage().prompt, "ALL Keywords have been deleted.");
    EXPECT_TRUE(paneEmptied);
    EXPECT_EQ(List()->count(), 0);
    EXPECT_FALSE(keywords.GetKeywordDefinitions());
    ExpectGreyed();
}

// ---------------------------------------------------------------------------
// Time estimation

struct ProgressLog final : EstimateProgress {
    void Show(const QString& caption) override { log << "show " + caption; }
    void SetLabel(const QString& text) override { log << text; }
    void SetRange(int maximum) override { log << "range " + QString::number(maximum); }
    void SetValue(int value) override { last = value; }
    void EnableOk() override { log << "ok"; }
    QStringList log;
    int last = -1;
};

TEST_F(KeywordFormTest, AverageIsRoundedDownOverSoundFilesOnly) {
    const QString folder = Folder("three", {"one.wav", "two.mp3", "three.wav", "notes.txt"});
    Duration(folder, "one.wav", 60);
    Duration(folder, "two.mp3", 90);
    Duration(folder, "three.wav", 121);
    player.SetDefaultDuration(10000);  // a measured text file would show
    ProgressLog progress;
    EXPECT_EQ(AverageSoundFileDuration(player, folder, progress), 90);
    EXPECT_EQ(progress.log,
              (QStringList{"show Estimating Time", "Getting Sound File Names ....  Please Wait.",
                           "range 3", "Calculating Average Time ....  Please Wait.", "range 3",
                           "Calculating Average Time ....  Done.", "ok"}));
    EXPECT_EQ(progress.last, 3);
}

TEST_F(KeywordFormTest, DurationsRoundHalvesToEven) {
    const QString folder = Folder("halves", {"a1.wav", "b2.wav"});
    Duration(folder, "a1.wav", 200.5);
    Duration(folder, "b2.wav", 201.5);
    EXPECT_EQ(GetSoundFileDuration(player, QDir(folder).filePath("a1.wav")), 200);
    EXPECT_EQ(GetSoundFileDuration(player, QDir(folder).filePath("b2.wav")), 202);
    EXPECT_TRUE(player.calls.contains("Stop"));
}

TEST_F(KeywordFormTest, DurationThatNeverBecomesKnownOrFailsCountsZero) {
    player.SetReadyAfterPolls(1000);
    EXPECT_EQ(GetSoundFileDuration(player, "/x/slow.wav", 5), 0);
    player.SetReadyAfterPolls(0);
    player.SetFailure("/x/bad.wav", -2147467259, "not audio");
    EXPECT_EQ(GetSoundFileDuration(player, "/x/bad.wav"), 0);
}

// The real player measures real files: generated sound, and a text file under
// a sound file's name that counts as nothing.
TEST_F(KeywordFormTest, RealPlayerMeasuresGeneratedSoundFiles) {
    AudioEngine audio(EngineConfig{OutputKind::Virtual, 300, {}});
    {
        AudioMediaPlayer real(audio);
        const auto tone = [this](const QString& folder, const QString& name, double seconds) {
            constexpr int kRate = 8000;  // small files; the length is what counts
            const auto frames = static_cast<long>(seconds * kRate);
            ASSERT_TRUE(testsounds::Write(QDir(folder).filePath(name),
                                          testsounds::Signal(frames, 1, 7), 1, kRate,
                                          SF_FORMAT_WAV | SF_FORMAT_PCM_16));
        };
        const QString three = Folder("three", {});
        tone(three, "one.wav", 60);
        tone(three, "two.wav", 90);
        tone(three, "three.wav", 121);
        ProgressLog progress;
        EXPECT_EQ(AverageSoundFileDuration(real, three, progress), 90);

        const QString one = Folder("one", {});
        tone(one, "long.wav", 200.5);
        EXPECT_EQ(AverageSoundFileDuration(real, one, progress), 200);

        const QString mixed = Folder("mixed", {"notes.wav"});
        textfile::WriteAll(QDir(mixed).filePath("notes.wav"), "not a sound at all");
        tone(mixed, "song.wav", 60);
        EXPECT_EQ(AverageSoundFileDuration(real, mixed, progress), 30);
    }
}

TEST_F(KeywordFormTest, CalculateStoresTheEstimateAndFinishesTheProgressWindow) {
    StoreKeyword("Jingle");
    StoreKeyword("Ads");
    const QString folder = Folder("one", {"long.wav"});
    Duration(folder, "long.wav", 200.5);
    Save("Jingle", "Folder", folder);
    Open();
    Button("commandEstimatedTime")->click();
    EXPECT_EQ(Stored("Jingle", "Estimated Time"), "200");
    EXPECT_EQ(Find<QLabel>("textEstimatedTime")->text(), FormatTime(200));
    EXPECT_TRUE(Button("commandEstimatedTime")->isEnabled());
    ProgressForm* progress = form->Progress();
    ASSERT_NE(progress, nullptr);
    EXPECT_EQ(progress->windowTitle(), "Estimating Time");
    EXPECT_EQ(progress->Label()->text(), "Calculating Average Time ....  Done.");
    EXPECT_TRUE(progress->OkButton()->isEnabled());
    EXPECT_EQ(progress->Bar()->value(), 1);
}

TEST_F(KeywordFormTest, FolderWithoutSoundFilesGivesOneSecondAndTheMessage) {
    StoreKeyword("Jingle");
    StoreKeyword("Ads");
    Open();
    const QString folders[] = {Folder("empty", {}), Path("missing"),
                               Folder("texts", {"readme.txt", "list.doc"})};
    for (const QString& folder : folders) {
        SCOPED_TRACE(folder.toStdString());
        Save("Jingle", "Estimated Time", "77");
        Field("textFolder")->setText(folder);
        m_dialogs.ExpectMessage(kUnable);
        Button("commandEstimatedTime")->click();
        EXPECT_EQ(Stored("Jingle", "Estimated Time"), "1");
        EXPECT_EQ(Find<QLabel>("textEstimatedTime")->text(), FormatTime(1));
        EXPECT_EQ(m_dialogs.LastMessage().prompt,
                  "The folder for this Keyword has not been set\r\nor the folder contains no "
                  "sound files\r\n\r\nDefault Estimated Time value set.");
        EXPECT_EQ(m_dialogs.LastMessage().icon, MsgIcon::Information);
        EXPECT_TRUE(Button("commandEstimatedTime")->isEnabled());
    }
    EXPECT_TRUE(player.calls.isEmpty());
}

TEST_F(KeywordFormTest, ClosingDuringAnEstimateEndsItWithoutStoringAnything) {
    StoreKeyword("Jingle");
    StoreKeyword("Ads");
    const QString folder = Folder("many", {"a1.wav", "b2.wav", "c3.wav"});
    Save("Jingle", "Folder", folder);
    Save("Jingle", "Estimated Time", "77");
    Open();
    // Arrives while the estimate serves events, as a click on Close would.
    QTimer::singleShot(0, form.get(), [this] { form->close(); });
    Button("commandEstimatedTime")->click();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(Stored("Jingle", "Estimated Time"), "77");
    EXPECT_TRUE(m_dialogs.Shown().empty());
}

// ---------------------------------------------------------------------------
// The main window's command

TEST_F(KeywordFormTest, MainWindowOpensItModelessAndRefillsItsPaneOnClose) {
    ClockModule clocks(*m_session, keywords);
    AudioEngine audio(EngineConfig{OutputKind::Virtual, 300, {}});
    CreatorForm main(*m_session, keywords, clocks, audio);
    QAction* command = main.findChild<QAction*>("Keyword Maintenance");
    ASSERT_NE(command, nullptr);
    ASSERT_TRUE(command->isEnabled());
    command->trigger();
    KeywordForm* window = main.KeywordWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->parentWidget(), &main);
    EXPECT_FALSE(window->isModal());

    m_dialogs.ExpectInput(QStringLiteral("Weather"));
    window->findChild<QPushButton*>("commandAddKeyword")->click();
    auto* pane = main.findChild<QTextEdit*>("textKeyword");
    EXPECT_FALSE(pane->toPlainText().contains("Weather"));
    window->findChild<QPushButton*>("commandClose")->click();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(pane->toPlainText().contains("Weather"));

    // Opening again loads the list afresh.
    main.findChild<QAction*>("menuKeywordMaintenance")->trigger();
    EXPECT_EQ(main.KeywordWindow(), window);
    EXPECT_TRUE(window->isVisible());
    window->close();
}

}  // namespace
