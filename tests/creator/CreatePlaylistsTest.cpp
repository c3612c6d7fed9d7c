#include "ClockEditor.h"
#include "ClockModule.h"
#include "FakeEditorWindow.h"
#include "FormatModule.h"
#include "KeywordModule.h"
#include "LoudnessCache.h"
#include "LoudnessSettings.h"
#include "RunDisplay.h"
#include "SchedulerModule.h"
#include "TempFolder.h"
#include "TestSounds.h"
#include "TextFile.h"

#include <QDir>
#include <QFile>
#include <cmath>
#include <functional>
#include <numbers>

using namespace sonavel;

namespace {

// The run's windows as the run leaves them, with the moments the status
// window came and went by the session's clock.
class FakeRunDisplay final : public RunDisplay {
  public:
    explicit FakeRunDisplay(const Clock& clock) : m_clock(clock) {}

    void ShowStatus(const QString& text) override {
        status = text;
        statusVisible = true;
        statusShown = m_clock.Now();
    }
    void HideStatus() override {
        if (statusVisible) statusHidden = m_clock.Now();
        statusVisible = false;
    }
    void ShowProgress(const QString& caption, int maximum) override {
        EXPECT_FALSE(statusVisible) << "the status window is gone before the progress shows";
        progressCaption = caption;
        progressMaximum = maximum;
        progressVisible = true;
        okEnabled = false;
        label.clear();
        labels.clear();
        value = 0;
    }
    void SetProgressLabel(const QString& text) override {
        label = text;
        labels.append(text);
    }
    void SetProgressValue(int newValue) override {
        EXPECT_EQ(newValue, value + 1) << "one step per playlist";
        value = newValue;
        if (onValue) onValue(value);
    }
    void EnableOk() override {
        EXPECT_FALSE(okEnabled);
        okEnabled = true;
    }
    void UnloadProgress() override { progressVisible = false; }
    void SetMeasureProgress(int done, int total, const QString& text) override {
        EXPECT_FALSE(okEnabled) << "OK waits for the measure";
        measures.push_back({done, total});
        measureLabel = text;
    }

    QString status, progressCaption, label;
    QStringList labels;
    bool statusVisible = false, progressVisible = false, okEnabled = false;
    QDateTime statusShown, statusHidden;
    int progressMaximum = 0, value = 0;
    std::function<void(int)> onValue;
    std::vector<std::pair<int, int>> measures;
    QString measureLabel;

  private:
    const Clock& m_clock;
};

class CreatePlaylistsTest : public TempFolderTest {
  protected:
    CreatePlaylistsTest()
        : session(MakeSession(Product::Creator)),
          keywords(session),
          clocks(session, keywords),
          editor(session, keywords, clocks, window),
          scheduler(session, keywords, clocks),
          display(m_clock) {
        window.editor = &editor;
        scheduler.SetEditor(&editor);
        scheduler.SetDisplay(&display);
        session.Creator.PlaylistFolder = Path("Playlists");
        session.Creator.ClockFolder = Path("Clocks");
        QDir().mkpath(Path("Playlists"));
        QDir().mkpath(Path("Clocks"));
        QDir().mkpath(ProgramFolder());
        AddKeyword("Music", {"one.wav", "two.wav", "three.wav"});
        AddKeyword("News", {"news.wav"});
        Write(DefaultClock(), "Music\r\nNews\r\n");
    }

    void AddKeyword(const QString& name, const QStringList& files) {
        keywords.RefreshKeywordList();
        ASSERT_TRUE(keywords.AddKeywordEntry(name));
        m_store->SaveSetting(kKeywordApp, name, "Folder", Path(name));
        QDir().mkpath(Path(name));
        for (const QString& file : files)
            Write(Path(name + "/" + file), {});
    }
    static void Write(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << qPrintable(path);
        file.write(bytes);
    }
    QString DefaultClock() const { return ProgramFolder() + "/Default.clk"; }
    QString Playlist(const QString& name) const { return Path("Playlists/" + name); }
    QString Read(const QString& name) const { return textfile::ReadAll(Playlist(name)); }
    QStringList PlaylistFiles() const {
        return QDir(Path("Playlists")).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
    }
    static QStringList Week(const QString& extension) {
        QStringList names;
        for (int day = 1; day <= 7; ++day) {
            for (int hour = 0; hour < 24; ++hour)
                names << WeekdayToken(day) + QString::asprintf("%02d00", hour) + extension;
        }
        names.sort();
        return names;
    }
    // A playlist of the default clock: one of Music's files, then News.
    bool FollowsDefault(const QString& name) const {
        const QString text = Read(name);
        const QString news = Path("News/news.wav") + "\r\n";
        for (const char* file : {"one.wav", "two.wav", "three.wav"}) {
            if (text == Path("Music/") + file + "\r\n" + news) return true;
        }
        return false;
    }
    void ExpectReady(MsgResult answer = MsgResult::Yes) {
        m_dialogs.ExpectMessage("Ready to Create Playlists", answer);
    }
    void ExpectUnable(const QString& title) {
        m_dialogs.ExpectMessage(title).ExpectMessage("Unable to Create Playlists");
    }

    Session& session;
    KeywordModule keywords;
    ClockModule clocks;
    FakeEditorWindow window;
    ClockEditor editor;
    SchedulerModule scheduler;
    FakeRunDisplay display;
    // Moves the clock on as the run serves events, so the status wait ends
    // in a few passes without sleeping.
    ClockTicker ticker{m_clock, 700};
};

TEST_F(CreatePlaylistsTest, WeekFollowsTheDefaultClockWhereNoValidHourlyClockExists) {
    Write(Path("Clocks/Mon0700.clk"), "News\r\n");
    Write(Path("Clocks/Tue0300.clk"), "' only a comment\r\n");
    Write(Path("Clocks/Wed1200.clk"), "Music\r\nWeather\r\n");
    window.SetEditText("News\r\n");
    editor.Saved = true;
    ExpectReady();
    m_dialogs.ExpectMessage("Invalid Keyword Found");
    int secondRuns = 0;
    display.onValue = [&](int value) {
        if (value != 10) return;
        EXPECT_TRUE(scheduler.Running());
        // A script with no boxes left fails the test if this run starts.
        scheduler.CreatePlaylists();
        ++secondRuns;
    };
    scheduler.CreatePlaylists();
    EXPECT_TRUE(m_dialogs.AllAnswered());
    EXPECT_EQ(secondRuns, 1);
    EXPECT_FALSE(scheduler.Running());

    EXPECT_EQ(m_dialogs.Messages().front().prompt,
              "Creator is ready to create playlists in folder:\r\n" + Path("Playlists") +
                  "\r\n\r\nUsing Default Clock:\r\n" + DefaultClock() +
                  "\r\n\r\nand/or Hourly Clock(s) in folder:\r\n" + Path("Clocks") +
                  "\r\n\r\nIs this what you want to do?");
    EXPECT_EQ(m_dialogs.Messages().front().icon, MsgIcon::Information);
    EXPECT_EQ(m_dialogs.Messages().front().buttons, MsgButtons::YesNo);
    EXPECT_TRUE(m_dialogs.Messages().back().prompt.contains(Path("Clocks/Wed1200.clk")));

    ASSERT_EQ(PlaylistFiles(), Week(".lst"));
    EXPECT_EQ(Read("Mon0700.lst"), Path("News/news.wav") + "\r\n");
    EXPECT_EQ(Read("Tue0300.lst"), "\r\n") << "a clock of comments is used, not the default";
    for (const char* hour : {"Sun0000.lst", "Mon0600.lst", "Mon0800.lst", "Tue0700.lst",
                             "Wed1200.lst", "Sat2300.lst"}) {
        EXPECT_TRUE(FollowsDefault(hour)) << hour << ": " << qPrintable(Read(hour));
    }

    EXPECT_EQ(display.status, "Initializing, Please Wait");
    EXPECT_FALSE(display.statusVisible);
    EXPECT_GE(display.statusShown.msecsTo(display.statusHidden), 3000);
    EXPECT_EQ(display.progressCaption, "Creating Playlists");
    EXPECT_EQ(display.progressMaximum, 169);
    EXPECT_EQ(display.value, 168);
    ASSERT_EQ(display.labels.size(), 169);
    EXPECT_EQ(display.labels.front(),
              "Now Creating Playlist for " + FormatPlaylistName(Playlist("Sun0000.lst")));
    EXPECT_EQ(display.labels[167],
              "Now Creating Playlist for " + FormatPlaylistName(Playlist("Sat2300.lst")));
    EXPECT_EQ(display.label, "All Playlists Have Been Created.");
    EXPECT_TRUE(display.okEnabled);
    EXPECT_TRUE(display.progressVisible) << "the window waits for OK";
    EXPECT_EQ(window.editHeader, "Edit: Default Clock") << "the pane holds the default clock";
}

TEST_F(CreatePlaylistsTest, M3uWeekStartedJustBeforeMidnight) {
    m_clock.Set(QDateTime(QDate(2026, 12, 5), QTime(23, 59, 59)));
    session.Creator.PlaylistExtension = ".m3u";
    session.Creator.IncludeComments = true;
    Write(Playlist("Sun0000.lst"), "old");
    Write(Path("Clocks/Mon0700.clk"), "News\r\n");
    ExpectReady();
    scheduler.CreatePlaylists();

    QStringList expected = Week(".m3u") << "Sun0000.lst";
    expected.sort();
    EXPECT_EQ(PlaylistFiles(), expected);
    EXPECT_EQ(Read("Sun0000.lst"), "old");
    EXPECT_EQ(Read("Mon0700.m3u"), Path("News/news.wav") + "\r\n") << "hourly clocks stay .clk";
    EXPECT_TRUE(FollowsDefault("Sat2300.m3u")) << "no comment lines in .m3u";
    const qint64 shown = display.statusShown.msecsTo(display.statusHidden);
    EXPECT_GE(shown, 3000);
    EXPECT_LT(shown, 10000) << "the wait ends after midnight, not a day later";
}

TEST_F(CreatePlaylistsTest, FailedChecksAndRefusalsTouchNoPlaylist) {
    Write(Playlist("Sun0000.lst"), "old");
    const QStringList before = PlaylistFiles();

    // Unsaved clock, Cancel: nothing happens, not even the checks.
    window.SetEditText("News\r\n");
    ASSERT_FALSE(editor.Saved);
    m_dialogs.ExpectMessage("Current Clock Not Saved", MsgResult::Cancel);
    scheduler.CreatePlaylists();
    EXPECT_EQ(m_dialogs.LastMessage().prompt,
              "Do you want to save the currently displayed clock\r\nas the default clock?");
    EXPECT_EQ(m_dialogs.LastMessage().buttons, MsgButtons::YesNoCancel);
    EXPECT_EQ(m_dialogs.LastMessage().icon, MsgIcon::Question);
    EXPECT_TRUE(display.status.isEmpty());
    EXPECT_EQ(textfile::ReadAll(DefaultClock()), "Music\r\nNews\r\n");

    // Yes saves the pane as the default clock before the checks; No to the
    // confirmation then ends the run.
    m_dialogs.ExpectMessage("Current Clock Not Saved", MsgResult::Yes);
    ExpectReady(MsgResult::No);
    scheduler.CreatePlaylists();
    EXPECT_TRUE(textfile::ReadAll(DefaultClock()).startsWith("News\r\n"));
    EXPECT_EQ(PlaylistFiles(), before);

    QFile::remove(DefaultClock());
    ExpectUnable("No Default Clock Found");
    scheduler.CreatePlaylists();
    const std::vector<MessageRequest> shown = m_dialogs.Messages();
    EXPECT_EQ(shown[shown.size() - 2].prompt,
              "Unable to load Default Clock.\r\nPlease create and save Default Clock.");
    EXPECT_EQ(shown.back().prompt,
              "Creator has encountered an error and cannot create playlists.\r\n\r\nPlease "
              "check that all Keywords have valid folders and that\r\nthose folders contain "
              "valid files.");
    EXPECT_EQ(shown.back().icon, MsgIcon::Critical);
    EXPECT_FALSE(display.statusVisible);

    // A default clock of comments only names no keyword: no message of its own.
    Write(DefaultClock(), "' nothing\r\n");
    m_dialogs.ExpectMessage("Unable to Create Playlists");
    scheduler.CreatePlaylists();

    Write(DefaultClock(), "Music\r\nNews\r\n");
    QFile::remove(Path("News/news.wav"));
    ExpectUnable("Invalid Folder");
    scheduler.CreatePlaylists();
    EXPECT_FALSE(display.statusVisible);

    Write(Path("News/news.txt"), {});
    ExpectUnable("Folder Not Found");
    scheduler.CreatePlaylists();

    Write(Path("News/news.wav"), {});
    session.Creator.PlaylistFolder.clear();
    ExpectUnable("Playlist Folder Not Set");
    scheduler.CreatePlaylists();

    keywords.DeleteAllKeywordDefinitions();
    ExpectUnable("No Keyword Definitions Found");
    scheduler.CreatePlaylists();

    EXPECT_EQ(PlaylistFiles(), before);
    EXPECT_EQ(Read("Sun0000.lst"), "old");
    EXPECT_FALSE(display.progressVisible);
    EXPECT_FALSE(scheduler.Running());
}

TEST_F(CreatePlaylistsTest, WriteFailureEndsTheRunWithLaterHoursUntouched) {
    Write(Playlist("Mon0100.lst"), "old");
    // A folder in the way of Monday 00:00 cannot be replaced by a playlist.
    QDir().mkpath(Playlist("Mon0000.lst/inside"));
    ExpectReady();
    m_dialogs.ExpectMessage("Unable to Create Playlist");
    scheduler.CreatePlaylists();

    EXPECT_EQ(m_dialogs.LastMessage().prompt,
              "Creator has encountered an error creating playlist: \r\n\r\n" +
                  Playlist("Mon0000.lst") +
                  "\r\n\r\nPlease check disk space, file attributes and/or permissions."
                  "\r\n\r\nCreator cannot continue.");
    EXPECT_EQ(m_dialogs.LastMessage().icon, MsgIcon::Critical);
    EXPECT_FALSE(display.progressVisible);
    EXPECT_FALSE(display.okEnabled);
    EXPECT_EQ(display.value, 24);
    EXPECT_TRUE(FollowsDefault("Sun2300.lst"));
    EXPECT_EQ(Read("Mon0100.lst"), "old");
    EXPECT_FALSE(QFile::exists(Playlist("Mon0200.lst")));
    EXPECT_FALSE(scheduler.Running());

    // The next run starts afresh.
    QDir(Playlist("Mon0000.lst")).removeRecursively();
    ExpectReady();
    scheduler.CreatePlaylists();
    EXPECT_EQ(display.value, 168);
    EXPECT_TRUE(FollowsDefault("Mon0100.lst"));
}

TEST_F(CreatePlaylistsTest, RunKeepsTheKeywordsAndClockItStartedWith) {
    // While the run serves events the operator gives Music another folder
    // in the keyword window, adds a keyword and closes the window (which
    // reloads the keyword table), then opens a changed default clock.
    QDir().mkpath(Path("Music2"));
    Write(Path("Music2/alpha.wav"), {});
    int reloads = 0;
    display.onValue = [&](int value) {
        if (value != 10) return;
        m_store->SaveSetting(kKeywordApp, "Music", "Folder", Path("Music2"));
        AddKeyword("Ads", {"ad.wav"});
        ASSERT_TRUE(keywords.GetKeywordDefinitions());
        Write(DefaultClock(), "Ads\r\n");
        editor.OpenDefaultClockCommand();
        ASSERT_EQ(clocks.DefaultClockLines.value(0), "Ads");
        ++reloads;
    };
    window.SetEditText("News\r\n");
    editor.Saved = true;
    ExpectReady();
    scheduler.CreatePlaylists();
    EXPECT_TRUE(m_dialogs.AllAnswered());
    ASSERT_EQ(reloads, 1);
    ASSERT_EQ(PlaylistFiles(), Week(".lst"));
    for (const QString& name : Week(".lst")) {
        EXPECT_TRUE(FollowsDefault(name)) << qPrintable(name) << ": " << qPrintable(Read(name));
    }

    // The next run takes the station as it is now.
    ExpectReady();
    scheduler.CreatePlaylists();
    EXPECT_EQ(Read("Sat2300.lst"), Path("Ads/ad.wav") + "\r\n");
}

}  // namespace

namespace {

std::vector<float> Tone(double seconds, double dbfs) {
    const auto frames = static_cast<std::size_t>(seconds * 48000);
    std::vector<float> samples(frames * 2);
    const double amplitude = std::pow(10.0, dbfs / 20);
    for (std::size_t f = 0; f < frames; ++f)
        samples[f * 2] = samples[f * 2 + 1] = static_cast<float>(
            amplitude * std::sin(2 * std::numbers::pi * 1000 * static_cast<double>(f) / 48000));
    return samples;
}

// Evened loudness on: the run measures what the week plays, the time checks
// of Player's folder too, and OK waits for it. What cannot be measured is
// named once in the error log; the next run measures nothing known.
TEST_F(CreatePlaylistsTest, TheRunMeasuresTheWeeksFilesTheCacheLacks) {
    const auto sound = [this](const QString& name, const std::vector<float>& samples) {
        ASSERT_TRUE(
            testsounds::Write(Path(name), samples, 2, 48000, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    };
    for (const char* name : {"Music/one.wav", "Music/two.wav", "Music/three.wav"})
        sound(name, Tone(1.5, -20));
    sound("News/news.wav", std::vector<float>(std::size_t{48000} * 2, 0.0f));  // silent
    // Player's announcements, where Player finds them, under the keyword
    // a clock names them by.
    m_store->SaveSetting(kAppName, kPlayerSection, "Time Check Folder", Path("Time"));
    keywords.RefreshKeywordList();
    ASSERT_TRUE(keywords.AddKeywordEntry(":TimeCheck"));
    m_store->SaveSetting(kKeywordApp, ":TimeCheck", "Folder", Path("Time"));
    QDir().mkpath(Path("Time"));
    sound("Time/0900.wav", Tone(1, -30));
    sound("Time/0901.wav", Tone(1, -30));
    Write(DefaultClock(), "Music\r\n:TimeCheck\r\nNews\r\n");
    m_store->SaveSetting(kAppName, kLoudnessSection, "Enabled", "True");
    session.ErrorLoggingEnabled = true;
    session.ErrorLogFileName = Path("error.log");
    window.SetEditText("Music\r\n:TimeCheck\r\nNews\r\n");
    editor.Saved = true;

    ExpectReady();
    scheduler.CreatePlaylists();
    ASSERT_TRUE(m_dialogs.AllAnswered());
    EXPECT_EQ(display.value, 168);
    ASSERT_FALSE(display.measures.empty());
    // Three of Music, News, two time checks; each once, however often it plays.
    EXPECT_EQ(display.measures.front(), (std::pair{0, 6}));
    EXPECT_EQ(display.measures[display.measures.size() - 2], (std::pair{6, 6}));
    EXPECT_EQ(display.measures.size(), 8u);
    EXPECT_EQ(display.measureLabel,
              "Loudness Measured: 6 Files, 1 Could Not Be Measured (See the Error Log)");
    EXPECT_EQ(display.label, "All Playlists Have Been Created.");
    EXPECT_TRUE(display.okEnabled);

    LoudnessCache cache(ProgramFolder(), m_clock);
    const std::optional<CachedLoudness> one = cache.Find(*FileKey::Of(Path("Music/one.wav")));
    ASSERT_TRUE(one.has_value());
    EXPECT_NEAR(one->measure.integrated, -20, 0.1);
    ASSERT_TRUE(cache.Find(*FileKey::Of(Path("Time/0901.wav"))).has_value());
    const std::optional<CachedLoudness> news = cache.Find(*FileKey::Of(Path("News/news.wav")));
    ASSERT_TRUE(news.has_value());
    EXPECT_EQ(news->measure.problem, "it is silent");
    EXPECT_TRUE(news->problemReported);
    const QString entry = "Cannot measure the loudness of " + Path("News/news.wav") +
                          ": it is silent. It plays at its own level.";
    EXPECT_EQ(textfile::ReadAll(Path("error.log")).count(entry), 1);

    // Known files are not measured again, nor named again.
    display.measures.clear();
    display.okEnabled = false;
    ExpectReady();
    scheduler.CreatePlaylists();
    EXPECT_TRUE(display.measures.empty());
    EXPECT_TRUE(display.okEnabled);
    EXPECT_EQ(textfile::ReadAll(Path("error.log")).count(entry), 1);

    // Off: nothing is measured, even a file the cache lacks.
    sound("Music/one.wav", Tone(1.5, -10));
    m_store->SaveSetting(kAppName, kLoudnessSection, "Enabled", "False");
    display.okEnabled = false;
    ExpectReady();
    scheduler.CreatePlaylists();
    EXPECT_TRUE(display.measures.empty());
    EXPECT_FALSE(cache.Find(*FileKey::Of(Path("Music/one.wav"))).has_value());
}

}  // namespace
