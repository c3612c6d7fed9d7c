#include "ClockModule.h"
#include "ErrorNumber.h"
#include "FormatModule.h"
#include "KeywordModule.h"
#include "SchedulerModule.h"
#include "TempFolder.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <csignal>
#include <deque>

using namespace sonavel;

namespace {

const QString kNo = QStringLiteral("No");
const QString kYes = QStringLiteral("Yes");

class SchedulerModuleTest : public TempFolderTest {
  protected:
    SchedulerModuleTest()
        : session(MakeSession(Product::Creator)),
          keywords(session),
          clocks(session, keywords),
          scheduler(session, keywords, clocks, [this] { return NextDraw(); }) {
        // Tests hold references to definitions while adding more.
        keywords.KeywordDefinitions.reserve(16);
    }

    double NextDraw() {
        if (draws.empty()) {
            ADD_FAILURE() << "more draws than the test scripted";
            return 0.0;
        }
        const double r = draws.front();
        draws.pop_front();
        return r;
    }

    // A keyword whose folder (under the test folder) holds the given empty files.
    KeywordDefinition& AddKeyword(const QString& name, const QString& folder,
                                  const QStringList& files, const QString& description = {}) {
        QDir().mkpath(Path(folder));
        for (const QString& file : files) {
            QFile f(Path(folder) + QLatin1Char('/') + file);
            EXPECT_TRUE(f.open(QIODevice::WriteOnly)) << qPrintable(file);
        }
        KeywordDefinition definition;
        definition.Keyword = name;
        definition.Description = description;
        definition.Folder = Path(folder);
        keywords.KeywordDefinitions.push_back(definition);
        return keywords.KeywordDefinitions.back();
    }
    // Tables as a scan leaves them, without touching the disk.
    static void Table(KeywordDefinition& keyword, const QStringList& names,
                      const QStringList& flags) {
        keyword.Files = {names, flags};
    }
    static QStringList Flags(const KeywordDefinition& keyword) {
        return keyword.Files[SchedulerModule::kUsedRow];
    }
    QByteArray Read(const QString& path) {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << qPrintable(path);
        return f.readAll();
    }

    Session& session;
    KeywordModule keywords;
    ClockModule clocks;
    std::deque<double> draws;
    SchedulerModule scheduler;
};

TEST_F(SchedulerModuleTest, ChoiceRuleRoundsRedrawsAndResetsAsWritten) {
    keywords.KeywordDefinitions.resize(4);
    KeywordDefinition& one = keywords.KeywordDefinitions[0];
    KeywordDefinition& two = keywords.KeywordDefinitions[1];
    KeywordDefinition& three = keywords.KeywordDefinitions[2];
    KeywordDefinition& four = keywords.KeywordDefinitions[3];

    // One file: always that one, and it never counts as a repeat to avoid.
    Table(one, {"only.mp3"}, {kNo});
    draws = {0.0, 0.99, 0.5};
    for (int n = 0; n < 3; ++n)
        EXPECT_EQ(scheduler.ChooseFile(one), 0);
    EXPECT_EQ(Flags(one), QStringList({kYes}));

    // Two files, A used. A first draw on B takes B and keeps A's flag.
    Table(two, {"A.mp3", "B.mp3"}, {kYes, kNo});
    draws = {0.9};
    EXPECT_EQ(scheduler.ChooseFile(two), 1);
    EXPECT_EQ(Flags(two), QStringList({kYes, kYes}));
    // A then B: the single redraw is spent, so the flags reset before B is taken.
    Table(two, {"A.mp3", "B.mp3"}, {kYes, kNo});
    draws = {0.1, 0.7};
    EXPECT_EQ(scheduler.ChooseFile(two), 1);
    EXPECT_EQ(Flags(two), QStringList({kNo, kYes}));
    // Both draws on A (0.5 rounds to the even 0): reset, and A is taken again.
    Table(two, {"A.mp3", "B.mp3"}, {kYes, kNo});
    draws = {0.2, 0.5};
    EXPECT_EQ(scheduler.ChooseFile(two), 0);
    EXPECT_EQ(Flags(two), QStringList({kYes, kNo}));
    EXPECT_TRUE(draws.empty());

    // Halves go to the even neighbour: 0.25 x 2 = 0.5 -> 0, 0.75 x 2 = 1.5 -> 2.
    Table(three, {"a", "b", "c"}, {kNo, kNo, kNo});
    draws = {0.25, 0.75, 0.4};
    EXPECT_EQ(scheduler.ChooseFile(three), 0);
    EXPECT_EQ(scheduler.ChooseFile(three), 2);
    EXPECT_EQ(scheduler.ChooseFile(three), 1);
    EXPECT_EQ(Flags(three), QStringList({kYes, kYes, kYes}));

    // Four files, the first used: exactly one draw and three redraws, then
    // the reset; the fifth scripted value is left for the next element.
    Table(four, {"a", "b", "c", "d"}, {kYes, kNo, kNo, kYes});
    draws = {0.0, 0.1, 0.0, 0.05, 0.6};
    EXPECT_EQ(scheduler.ChooseFile(four), 0);
    EXPECT_EQ(Flags(four), QStringList({kYes, kNo, kNo, kNo}));
    EXPECT_EQ(draws, std::deque<double>({0.6}));
    // A source that strays to 1.0 still lands on a candidate.
    draws = {1.0};
    EXPECT_EQ(scheduler.ChooseFile(four), 3);
}

TEST_F(SchedulerModuleTest, SeededOnceAWeekUsesEveryFileWithoutEarlyRepeats) {
    QStringList names;
    for (int i = 0; i < 10; ++i)
        names << QStringLiteral("song%1.mp3").arg(i);
    KeywordDefinition& music = AddKeyword("Music", "Music", names);
    // The module's own generator, as a creation run uses it.
    SchedulerModule own(session, keywords, clocks);
    ASSERT_TRUE(own.ScanKeywordFolders());

    // A week of 20 uses per hour. A repeat is allowed only when the redraws
    // ran out, and then the keyword has started afresh.
    QSet<qsizetype> chosen;
    int repeats = 0;
    for (int use = 0; use < 168 * 20; ++use) {
        const QStringList before = Flags(music);
        const qsizetype i = own.ChooseFile(music);
        chosen.insert(i);
        if (before[i] == kYes) {
            ++repeats;
            EXPECT_EQ(Flags(music).count(kYes), 1) << "use " << use;
        }
    }
    EXPECT_EQ(chosen.size(), 10);
    EXPECT_GT(repeats, 0) << "ten files cannot last a week without running out";
}

TEST_F(SchedulerModuleTest, PlaylistLinesAreByteExactInBothFormats) {
    AddKeyword("Music", "Music/", {"song.mp3"}, "Up-tempo");
    AddKeyword("News", "News", {QStringLiteral("Nachrichten – Ünï 'q' \"x\".mp3")}, "Top of hour");
    AddKeyword("Jingle", "Jingles", {"-id.wav"}, "");
    ASSERT_TRUE(scheduler.ScanKeywordFolders());
    const QByteArray music = Path("Music/song.mp3").toUtf8();
    const QByteArray news = Path(QStringLiteral("News/Nachrichten – Ünï 'q' \"x\".mp3")).toUtf8();
    const QByteArray jingle = Path("Jingles/-id.wav").toUtf8();
    // A clock ending in a comment ends in one empty entry; keywords in any case.
    const QStringList clock = {"MUSIC", " :TimeCheck ", "news", "jingle", ""};
    QDir().mkpath(Path("Playlists"));
    const QString lst = Path("Playlists/Mon0700.lst");
    const QString m3u = Path("Playlists/Mon0700.m3u");

    session.Creator.IncludeComments = true;
    draws.assign(7, 0.0);
    scheduler.WritePlaylist(lst, clock);
    EXPECT_EQ(Read(lst), "' Up-tempo\r\n" + music + "\r\n:TimeCheck\r\n' Top of hour\r\n" + news +
                             "\r\n' \r\n" + jingle + "\r\n\r\n");
    // The same clock as .m3u: no comment lines even with the setting on.
    scheduler.WritePlaylist(m3u, clock);
    EXPECT_EQ(Read(m3u), music + "\r\n:TimeCheck\r\n" + news + "\r\n" + jingle + "\r\n\r\n");

    // A folder stored without its final separator gives the same line.
    session.Creator.IncludeComments = false;
    keywords.KeywordDefinitions[0].Folder = Path("Music");
    scheduler.WritePlaylist(lst, {"Music"});
    EXPECT_EQ(Read(lst), music + "\r\n");
    EXPECT_EQ(SchedulerModule::ElementPath("/srv/Music/", "a.mp3"), "/srv/Music/a.mp3");

    // An empty hourly clock gives an empty playlist; an unknown keyword nothing.
    scheduler.WritePlaylist(lst, {});
    EXPECT_EQ(Read(lst), "");
    scheduler.WritePlaylist(lst, {"Weather", ":timecheck"});
    EXPECT_EQ(Read(lst), ":TimeCheck\r\n");
    EXPECT_TRUE(draws.empty());
}

TEST_F(SchedulerModuleTest, FailedWriteKeepsThePreviousPlaylist) {
    AddKeyword("Music", "Music", {"song.mp3"});
    ASSERT_TRUE(scheduler.ScanKeywordFolders());
    QDir().mkpath(Path("Playlists"));
    const QString path = Path("Playlists/Sun0500.lst");
    draws.assign(2000, 0.0);
    scheduler.WritePlaylist(path, {":timecheck"});

    // A full disk, as the file-size limit makes it: the write fails part way.
    const QStringList longHour(1000, QStringLiteral("Music"));
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const int number = ErrorNumberOf([&] { scheduler.WritePlaylist(path, longHour); });
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(number, err::kPathFileAccess);
    EXPECT_EQ(Read(path), ":TimeCheck\r\n");
    EXPECT_EQ(QDir(Path("Playlists")).entryList(QDir::Files | QDir::Hidden),
              QStringList({"Sun0500.lst"}))
        << "no temporary file is left behind";

    EXPECT_EQ(ErrorNumberOf([&] { scheduler.WritePlaylist(Path("Gone/Sun0600.lst"), {}); }),
              err::kPathNotFound);
}

TEST_F(SchedulerModuleTest, ScanTakesOrdinarySoundFilesOnlyAndSurvivesOddFolders) {
    KeywordDefinition& odd =
        AddKeyword("Odd", "Odd",
                   {"b song.mp3", "a 'quoted' \"x\".mp3", "-dash.wav",
                    QStringLiteral("Ünïcode.MP3"), ".hidden.mp3", "notes.txt", ":timecheck"});
    const QString dir = Path("Odd");
    QDir().mkpath(dir + "/sub.mp3");
    QDir().mkpath(dir + "/locked.mp3");
    chmod(QFile::encodeName(dir + "/locked.mp3").constData(), 0);
    QFile::link("loop.mp3", dir + "/loop.mp3");
    QFile::link(".", dir + "/self.mp3");
    QFile::link("b song.mp3", dir + "/alias.mp3");
    ASSERT_EQ(mkfifo(QFile::encodeName(dir + "/pipe.mp3").constData(), 0600), 0);

    // A hundred thousand files take seconds to make on a disk and about one
    // in memory, so the big folder lives in memory where the system has it.
    const QTemporaryDir bigDir(QDir(QStringLiteral("/dev/shm")).exists()
                                   ? QStringLiteral("/dev/shm/sonavel-XXXXXX")
                                   : Path(QStringLiteral("Big-XXXXXX")));
    ASSERT_TRUE(bigDir.isValid());
    QStringList huge;
    for (int i = 0; i < 100000; ++i) {
        huge << QStringLiteral("%1.mp3").arg(i, 6, 10, QLatin1Char('0'));
        const int fd = ::open(QFile::encodeName(bigDir.filePath(huge.last())).constData(),
                              O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
    KeywordDefinition& big = keywords.KeywordDefinitions.emplace_back();
    big.Keyword = "Big";
    big.Folder = bigDir.path();

    int hides = 0;
    scheduler.SetHideStatus([&] { ++hides; });
    ASSERT_TRUE(scheduler.ScanKeywordFolders());
    m_dialogs.Clear();
    EXPECT_EQ(odd.Files[SchedulerModule::kNameRow],
              QStringList({"-dash.wav", ":timecheck", "a 'quoted' \"x\".mp3", "alias.mp3",
                           "b song.mp3", QStringLiteral("Ünïcode.MP3")}));
    EXPECT_EQ(Flags(odd), QStringList(6, kNo));
    EXPECT_EQ(big.Files[SchedulerModule::kNameRow], huge);
    EXPECT_EQ(hides, 0);
    // Rescanning a hundred thousand names per failure below would only add time.
    keywords.KeywordDefinitions.pop_back();

    // The failures, each stopping the scan at its keyword with its message.
    const auto failsWith = [&](const QString& title, const QString& text) {
        m_dialogs.ExpectMessage(title);
        EXPECT_FALSE(scheduler.ScanKeywordFolders());
        ASSERT_TRUE(m_dialogs.AllAnswered());
        EXPECT_EQ(m_dialogs.LastMessage().prompt, text);
        EXPECT_EQ(m_dialogs.LastMessage().icon, MsgIcon::Information);
        m_dialogs.Clear();
    };
    const auto invalidFolder = [](const QString& folder) {
        return "Invalid folder: " + folder +
               "\r\n\r\nKeyword: Gone\r\n\r\nFolder not found or folder contains no valid "
               "files\r\n\r\nRun Keyword Maintenance";
    };
    KeywordDefinition& gone = AddKeyword("Gone", "Gone", {"x.mp3"});
    KeywordDefinition& after = AddKeyword("After", "After", {"y.mp3"});
    QDir(Path("Gone")).removeRecursively();
    failsWith("Invalid Folder", invalidFolder(Path("Gone")));
    EXPECT_EQ(hides, 1) << "the status display goes before the message";
    EXPECT_TRUE(after.Files.value(0).isEmpty()) << "keywords after a failure are not scanned";

    // A folder of folders only, and a keyword with no folder at all: the
    // working folder must not stand in for it.
    QDir(Path("Gone")).mkpath("inner.mp3");
    failsWith("Invalid Folder", invalidFolder(Path("Gone")));
    gone.Folder.clear();
    failsWith("Invalid Folder", invalidFolder(""));

    gone.Folder = Path("Text");
    QDir().mkpath(gone.Folder);
    QFile(gone.Folder + "/readme.txt").open(QIODevice::WriteOnly);
    failsWith("Folder Not Found",
              "Folder not found (or defined) or contains no valid files.\r\n\r\nKeyword: "
              "'Gone'\r\n\r\nRun Keyword Maintenance");
    EXPECT_EQ(hides, 4);
}

}  // namespace
