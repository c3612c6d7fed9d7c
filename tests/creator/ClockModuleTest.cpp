#include "ClockModule.h"
#include "ErrorNumber.h"
#include "TempFolder.h"
#include "TextFile.h"

#include <QDir>
#include <QFile>

using namespace sonavel;

namespace {

TEST(ClockNames, DisplayNamesAndNeighboursAcrossTheWeek) {
    auto shown = [](const char* path) { return ClockModule::PrettyPrintFileName(path).text; };
    EXPECT_EQ(shown("/c/Mon0700.clk"), "Monday 07:00");
    EXPECT_EQ(shown("/c/MON0700.clk"), "Monday 07:00");
    EXPECT_EQ(shown("/c/mOn0700.clk"), "Unknown");
    EXPECT_EQ(shown("/p/Default.clk"), "Default Clock");
    EXPECT_EQ(shown("/p/DEFAULT.CLK"), "Default Clock");
    EXPECT_EQ(shown("/c/Mondayfoo.clk"), "Monday yf:oo");
    EXPECT_TRUE(ClockModule::PrettyPrintFileName("/c/Sun2300.clk").hourly);
    EXPECT_FALSE(ClockModule::PrettyPrintFileName("/p/Default.clk").hourly);
    EXPECT_FALSE(ClockModule::PrettyPrintFileName("/c/Xyz0100.clk").hourly);

    const QString folder = "/clocks";
    EXPECT_EQ(ClockModule::GetPreviousFileName(folder, "/c/Mon0000.clk"), "/clocks/Sun2300.clk");
    EXPECT_EQ(ClockModule::GetPreviousFileName(folder, "/c/Tue0100.clk"), "/clocks/Tue0000.clk");
    EXPECT_EQ(ClockModule::GetPreviousFileName(folder, "/c/wed1000.clk"), "/clocks/wed0900.clk");
    EXPECT_EQ(ClockModule::GetNextFileName(folder, "/c/Sat2300.clk"), "/clocks/Sun0000.clk");
    EXPECT_EQ(ClockModule::GetNextFileName(folder, "/c/mon0900.clk"), "/clocks/mon1000.clk");
    EXPECT_EQ(ClockModule::GetNextFileName(folder, "/c/SUN2300.clk"), "/clocks/Mon0000.clk");
    EXPECT_EQ(ClockModule::GetNextFileName(folder, "/c/Xyz2300.clk"), "");
    EXPECT_EQ(ClockModule::GetPreviousFileName(folder, "/c/Xyz0000.clk"), "");
}

class ClockModuleTest : public TempFolderTest {
  protected:
    ClockModuleTest() : keywords(MakeSession(Product::Creator)), clocks(*m_session, keywords) {
        m_session->Creator.ClockFolder = Path("Clocks");
        QDir().mkpath(Path("Clocks"));
        for (const char* name : {"Music", "News", ":TimeCheck"}) {
            keywords.RefreshKeywordList();
            keywords.AddKeywordEntry(name);
        }
        EXPECT_TRUE(keywords.GetKeywordDefinitions());
    }
    void WriteClock(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    KeywordModule keywords;
    ClockModule clocks;
};

TEST_F(ClockModuleTest, WalkFindsTheNextExistingClockAndComesBackToItself) {
    const QString clocks = Path("Clocks");
    WriteClock(clocks + "/Tue0300.clk", "Music\r\n");
    EXPECT_EQ(ClockModule::FindNeighbourClock(clocks, clocks + "/Mon2200.clk", true),
              clocks + "/Tue0300.clk");
    EXPECT_EQ(ClockModule::FindNeighbourClock(clocks, clocks + "/Mon2200.clk", false),
              clocks + "/Tue0300.clk");  // the long way round the week
    EXPECT_EQ(ClockModule::FindNeighbourClock(clocks, clocks + "/Tue0300.clk", true),
              clocks + "/Tue0300.clk");
    QFile::remove(clocks + "/Tue0300.clk");
    EXPECT_EQ(ClockModule::FindNeighbourClock(clocks, clocks + "/Tue0300.clk", true), "");
}

TEST_F(ClockModuleTest, LineKindsAndTheTrailingEmptyEntry) {
    const QString hour = Path("Clocks/Mon0700.clk");
    WriteClock(hour, "Music\r\n'a comment\r\nNews\r\n;another\r\n");
    ASSERT_TRUE(clocks.LoadHourlyClock("/lists/Mon0700.lst"));
    EXPECT_EQ(clocks.HourlyClockLines, QStringList({"Music", "News", ""}));

    WriteClock(hour, "Music\r\nNews\r\n");
    ASSERT_TRUE(clocks.LoadHourlyClock("/lists/Mon0700.lst"));
    EXPECT_EQ(clocks.HourlyClockLines, QStringList({"Music", "News"}));

    // Indented is a comment; trailing blanks go; letter case does not matter;
    // a tab is part of the line.
    WriteClock(hour, " News\nnews   \n:timecheck\n#x\n");
    ASSERT_TRUE(clocks.LoadHourlyClock("/lists/Mon0700.lst"));
    EXPECT_EQ(clocks.HourlyClockLines, QStringList({"news", ":timecheck", ""}));

    WriteClock(hour, "Music\r\n\tNews\r\n");
    m_dialogs.ExpectMessage("Invalid Keyword Found");
    EXPECT_FALSE(clocks.LoadHourlyClock("/lists/Mon0700.lst"));
    EXPECT_TRUE(m_dialogs.LastMessage().prompt.startsWith(
        "An invalid keyword (\tNews) has been detected.\r\n"));
    EXPECT_TRUE(
        m_dialogs.LastMessage().prompt.endsWith("Creator can not continue with this clock."));

    // An hour without a clock falls back quietly; an empty clock folder setting
    // becomes the program's Clocks folder.
    m_session->Creator.ClockFolder.clear();
    EXPECT_FALSE(clocks.LoadHourlyClock("/lists/Sun0500.lst"));
    EXPECT_EQ(m_session->Creator.ClockFolder, ProgramFolder() + "/Clocks");
}

TEST_F(ClockModuleTest, DefaultClockValidity) {
    EXPECT_FALSE(clocks.ReadDefaultClockLines()) << "no default clock yet";

    WriteClock(clocks.DefaultClockPath(), "' only comments\r\n; here\r\n");
    ASSERT_TRUE(clocks.ReadDefaultClockLines());
    EXPECT_TRUE(clocks.InvalidKeywordFound);

    WriteClock(clocks.DefaultClockPath(), "Music\r\nNEWS\r\n");
    ASSERT_TRUE(clocks.ReadDefaultClockLines());
    EXPECT_FALSE(clocks.InvalidKeywordFound);
    EXPECT_EQ(clocks.DefaultClockLines, QStringList({"Music", "NEWS"}));

    WriteClock(clocks.DefaultClockPath(), "Music\r\nWeather\r\nNews\r\n");
    m_dialogs.ExpectMessage("Invalid Keyword Detected");
    ASSERT_TRUE(clocks.ReadDefaultClockLines());
    EXPECT_TRUE(clocks.InvalidKeywordFound);
    EXPECT_EQ(m_dialogs.LastMessage().icon, MsgIcon::Critical);
    EXPECT_TRUE(m_dialogs.LastMessage().prompt.endsWith("\r\n\r\nPlease run Keyword Mainteance"));

    // Damaged bytes load without harm.
    WriteClock(clocks.DefaultClockPath(),
               QByteArray("Mu\0sic\r\n\xff\xfe\r\n", 12) + QByteArray(100000, 'x'));
    m_dialogs.ExpectMessage("Invalid Keyword Detected");
    EXPECT_TRUE(clocks.ReadDefaultClockLines());
}

TEST_F(ClockModuleTest, SavesKeepOneBackupAndNeverLoseTheOldFile) {
    const QString path = Path("Clocks/Mon0700.clk");
    const QString bak = Path("Clocks/Mon0700.bak");
    ClockModule::WriteClockFile(path, ClockModule::PlainClockContent("Music\nNews"), true);
    EXPECT_EQ(textfile::ReadAll(path), "Music\r\nNews\r\n");
    EXPECT_FALSE(QFile::exists(bak)) << "nothing to back up the first time";

    ClockModule::WriteClockFile(path, ClockModule::PlainClockContent("News\n"), true);
    EXPECT_EQ(textfile::ReadAll(bak), "Music\r\nNews\r\n");
    EXPECT_EQ(textfile::ReadAll(path), "News\r\n\r\n");
    ClockModule::WriteClockFile(path, ClockModule::PlainClockContent("Music"), true);
    EXPECT_EQ(textfile::ReadAll(bak), "News\r\n\r\n") << "one generation only";

    QFile::remove(bak);
    ClockModule::WriteClockFile(path, ClockModule::PlainClockContent("News"), false);
    EXPECT_FALSE(QFile::exists(bak));

    // A save that cannot be written leaves the clock and its backup alone.
    ClockModule::WriteClockFile(path, ClockModule::PlainClockContent("Music"), true);
    const QString before = textfile::ReadAll(path), backup = textfile::ReadAll(bak);
    EXPECT_NE(
        ErrorNumberOf([&] { ClockModule::WriteClockFile(Path("gone/Mon0700.clk"), "x", true); }),
        0);
    QFile::setPermissions(Path("Clocks"), QFile::ReadOwner | QFile::ExeOwner);
    const int number = ErrorNumberOf([&] { ClockModule::WriteClockFile(path, "lost", true); });
    QFile::setPermissions(Path("Clocks"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (number != 0) {  // root may write anyway
        EXPECT_EQ(textfile::ReadAll(path), before);
        EXPECT_EQ(textfile::ReadAll(bak), backup);
    }
}

}  // namespace
