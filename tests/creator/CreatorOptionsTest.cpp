#include "CommonModule.h"
#include "CreatorOptions.h"
#include "FakeEditorWindow.h"
#include "TempFolder.h"

using namespace sonavel;

namespace {

class FakeOptionsView final : public CreatorOptionsView {
  public:
    void ShowFields(const CreatorOptionsFields& shown) override {
        fields = shown;
        ++refills;
    }
    void ShowFolder(OptionsFolder folder, const QString& text) override {
        (folder == OptionsFolder::Clock ? fields.clockFolder : fields.playlistFolder) = text;
    }
    void ShowIncludeComments(bool checked, bool enabled) override {
        fields.switches[static_cast<std::size_t>(CreatorSwitch::IncludeComments)] = checked;
        fields.includeCommentsEnabled = enabled;
    }
    void SetApplyEnabled(bool enabled) override { apply = enabled; }

    CreatorOptionsFields fields;
    bool apply = true;
    int refills = 0;
};

class CreatorOptionsTest : public TempFolderTest {
  protected:
    CreatorOptionsTest()
        : keywords(MakeSession(Product::Creator)),
          options(*m_session, keywords, editor, view,
                  {[this] { return running; }, [this] { ++panesCleared; }, [this] { ++closed; }}) {
        m_dialogs.ExpectMessage("First Time Use").ExpectMessage("Creator");
        EXPECT_FALSE(ReadCreatorSettings(*m_session));
        m_dialogs.Clear();
        EXPECT_TRUE(ReadCreatorSettings(*m_session));
    }
    QString Stored(const char* key) {
        return m_store->GetSetting("Sonavel", "Creator Settings", key);
    }
    CreatorSettings& Settings() { return m_session->Creator; }

    KeywordModule keywords;
    FakeEditorWindow editor;
    FakeOptionsView view;
    bool running = false;
    int panesCleared = 0, closed = 0;
    CreatorOptions options;
};

TEST_F(CreatorOptionsTest, PendingSwitchesApplyInOrderWithTheEstimateEffect) {
    // Opening stores what memory holds, then shows it with nothing pending.
    Settings().DisplaySplash = false;
    options.Open();
    EXPECT_EQ(Stored("Display Splash"), "False");
    EXPECT_FALSE(view.fields.switches[1]);
    EXPECT_FALSE(view.apply);

    // Ticked then unticked before Apply: the turn-off stands, and turning the
    // estimate off empties the preview.
    Settings().EstimateTime = true;
    options.SwitchClicked(CreatorSwitch::EstimateTime, true);
    options.SwitchClicked(CreatorSwitch::EstimateTime, false);
    options.SwitchClicked(CreatorSwitch::SaveSettingsOnExit, false);
    EXPECT_TRUE(view.apply);
    EXPECT_TRUE(Settings().SaveSettingsOnExit) << "nothing changes before Apply";
    EXPECT_TRUE(options.Apply());
    EXPECT_FALSE(Settings().EstimateTime);
    EXPECT_FALSE(Settings().SaveSettingsOnExit);
    EXPECT_EQ(Stored("Save Settings On Exit"), "False");
    EXPECT_EQ(editor.previewHeader, "Preview: Not Enabled");
    EXPECT_TRUE(editor.preview.isEmpty());
    EXPECT_FALSE(view.apply);

    // Turned on: the estimate runs only for a clock in the pane.
    options.SwitchClicked(CreatorSwitch::EstimateTime, true);
    options.Apply();
    EXPECT_TRUE(Settings().EstimateTime);
    EXPECT_EQ(editor.estimates, 0);
    options.SwitchClicked(CreatorSwitch::EstimateTime, false);
    options.SwitchClicked(CreatorSwitch::EstimateTime, true);
    editor.text = "News\r\n";
    options.Apply();
    EXPECT_EQ(editor.estimates, 1);
    EXPECT_EQ(editor.typedEstimates, 0) << "a command estimate may report its problems";

    // Applied changes are not replayed by a later Apply.
    options.FolderEdited(OptionsFolder::Clock, "/x");
    options.Apply();
    EXPECT_EQ(editor.estimates, 1);
    EXPECT_TRUE(Settings().EstimateTime);
    EXPECT_TRUE(m_dialogs.Shown().empty());
}

TEST_F(CreatorOptionsTest, FormatPairAndTheIncludeCommentsBox) {
    Settings().IncludeComments = true;
    options.Open();
    EXPECT_FALSE(view.fields.m3u);
    EXPECT_TRUE(view.fields.includeCommentsEnabled);

    options.FormatClicked(true);
    EXPECT_TRUE(Settings().IncludeComments) << "the box follows Apply, not the click";
    options.Apply();
    EXPECT_EQ(Stored("Playlist Extension"), ".m3u");
    EXPECT_EQ(Stored("Include Comments"), "False");
    EXPECT_FALSE(view.fields.switches[4]);
    EXPECT_FALSE(view.fields.includeCommentsEnabled);

    // Back to .lst: the box comes back, unticked.
    options.FormatClicked(false);
    options.Apply();
    EXPECT_EQ(Settings().PlaylistExtension, ".lst");
    EXPECT_TRUE(view.fields.includeCommentsEnabled);
    EXPECT_FALSE(view.fields.switches[4]);

    // Opening on .m3u turns the comments off at once.
    Settings().PlaylistExtension = ".M3U";
    Settings().IncludeComments = true;
    options.Open();
    EXPECT_TRUE(view.fields.m3u);
    EXPECT_FALSE(view.fields.includeCommentsEnabled);
    EXPECT_FALSE(Settings().IncludeComments);

    // Anything else is a Sonavel list, shown and applied as one.
    Settings().PlaylistExtension = ".txt";
    options.Open();
    EXPECT_FALSE(view.fields.m3u);
    options.SwitchClicked(CreatorSwitch::DisplaySplash, true);
    options.Apply();
    EXPECT_EQ(Stored("Playlist Extension"), ".lst");
}

TEST_F(CreatorOptionsTest, FoldersTypedOrBrowsedWithCancelMeaningTheDefault) {
    options.Open();
    m_dialogs.ExpectFolder("", "Set Clock Folder\r\nClick 'Cancel' to Set Default Location")
        .ExpectFolder(Path("lists"),
                      "Set Playlist Folder\r\nClick 'Cancel' to Set Default "
                      "Location");
    Settings().ClockFolder = "/elsewhere";
    options.FolderEdited(OptionsFolder::Clock, "/typed");
    options.Browse(OptionsFolder::Clock);
    EXPECT_EQ(m_dialogs.Shown()[0].folderInitial, ProgramFolder());
    EXPECT_EQ(view.fields.clockFolder, ProgramFolder() + "/Clocks");
    options.Browse(OptionsFolder::Playlist);
    EXPECT_EQ(view.fields.playlistFolder, Path("lists"));
    EXPECT_EQ(Settings().ClockFolder, "/elsewhere") << "taken over only on Apply";

    options.FolderEdited(OptionsFolder::Playlist, " untrimmed ");
    options.Apply();
    EXPECT_EQ(Stored("Clock Folder"), ProgramFolder() + "/Clocks");
    EXPECT_EQ(Settings().PlaylistFolder, " untrimmed ") << "taken as typed";
}

TEST_F(CreatorOptionsTest, LoadRefillsAndDropsPendingChangesWithoutFirstTimeUse) {
    options.Open();
    options.SwitchClicked(CreatorSwitch::DisplaySplash, false);
    options.FolderEdited(OptionsFolder::Clock, "/pending");
    m_store->SaveSetting("Sonavel", "Creator Settings", "Clock Folder", "/stored");
    options.Load();
    EXPECT_EQ(view.fields.clockFolder, "/stored");
    EXPECT_FALSE(view.apply);
    // A later change and Apply keeps what was loaded.
    options.FolderEdited(OptionsFolder::Playlist, "/lists");
    options.Apply();
    EXPECT_TRUE(Settings().DisplaySplash);
    EXPECT_EQ(Stored("Clock Folder"), "/stored");

    // Nothing stored, or stored damaged: said so, memory left alone.
    m_store->DeleteApplication("Sonavel");
    m_dialogs.ExpectMessage("Sonavel Creator");
    const int refills = view.refills;
    options.Load();
    EXPECT_TRUE(m_dialogs.LastMessage().prompt.startsWith(
        "No settings of Sonavel Creator are stored, so none were loaded."));
    EXPECT_EQ(Settings().ClockFolder, "/stored");
    m_store->SaveSetting("Sonavel", "Creator Settings", "Height", "tall");
    m_dialogs.ExpectMessage("Sonavel Creator");
    options.Load();
    EXPECT_EQ(Settings().PlaylistFolder, "/lists");
    EXPECT_EQ(view.refills, refills);
}

TEST_F(CreatorOptionsTest, DeleteAtEachAnswer) {
    options.Open();
    Settings().ClockFolder = "/mine";

    m_dialogs.ExpectMessage("WARNING: You are about to delete ALL settings for Sonavel!",
                            MsgResult::No);
    options.Delete();
    const MessageRequest warning = m_dialogs.LastMessage();
    EXPECT_EQ(warning.icon, MsgIcon::Critical);
    EXPECT_EQ(warning.buttons, MsgButtons::YesNo);
    EXPECT_EQ(warning.defaultButton, 2);
    EXPECT_TRUE(warning.prompt.contains("using your system's\r\nsoftware manager and then"));
    EXPECT_TRUE(warning.prompt.endsWith("Are you sure you want to do this?"));
    EXPECT_TRUE(m_store->SectionExists("Sonavel", "Creator Settings"));

    // Yes without defaults: the store is empty, memory and the window stay.
    m_dialogs.ExpectMessage("", MsgResult::Yes)
        .ExpectMessage("Delete All Registry Settings", MsgResult::Yes)
        .ExpectMessage("Delete All Keyword Settings", MsgResult::No)
        .ExpectMessage("Set Default Registry Settings", MsgResult::No);
    options.Delete();
    EXPECT_FALSE(m_store->SectionExists("Sonavel", "Creator Settings"));
    EXPECT_EQ(Settings().ClockFolder, "/mine");
    EXPECT_TRUE(view.apply);
    EXPECT_EQ(panesCleared + closed, 0);

    // Yes with defaults: keywords gone, defaults read back, the window closes.
    m_dialogs.ExpectMessage("", MsgResult::Yes)
        .ExpectMessage("Delete All Registry Settings", MsgResult::Yes)
        .ExpectMessage("Delete All Keyword Settings", MsgResult::Yes)
        .ExpectMessage("Set Default Registry Settings", MsgResult::Yes);
    options.Delete();
    EXPECT_EQ(panesCleared, 1);
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(Settings().ClockFolder, ProgramFolder() + "/Clocks");
    EXPECT_EQ(Stored("Clock Folder"), ProgramFolder() + "/Clocks");
}

TEST_F(CreatorOptionsTest, SettingsHoldStillWhilePlaylistsAreCreated) {
    options.Open();
    options.FolderEdited(OptionsFolder::Playlist, "/new");
    running = true;
    m_dialogs.ExpectMessage("Sonavel Creator")
        .ExpectMessage("Sonavel Creator")
        .ExpectMessage("Sonavel Creator");
    EXPECT_FALSE(options.Apply());
    options.Load();
    options.Delete();
    EXPECT_TRUE(m_dialogs.LastMessage().prompt.startsWith("Playlists are being created."));
    EXPECT_NE(Settings().PlaylistFolder, "/new");
    EXPECT_TRUE(view.apply) << "the change stays pending";
    EXPECT_TRUE(m_store->SectionExists("Sonavel", "Creator Settings"));

    running = false;
    EXPECT_TRUE(options.Apply());
    EXPECT_EQ(Stored("Playlist Folder"), "/new");
}

}  // namespace
