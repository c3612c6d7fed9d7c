#include "ErrorModule.h"
#include "KeywordModule.h"
#include "TempFolder.h"
#include "TextFile.h"

#include <sqlite3.h>
#include <QFile>

using namespace sonavel;

namespace {

class CountingPane final : public KeywordPane {
  public:
    void Clear() override {}
    void Refill() override { ++refills; }
    int refills = 0;
};

// Description, Folder, Estimated Time, Color, Notes: the order of the file.
using Values = std::array<QString, 5>;

class KeywordFileTest : public TempFolderTest {
  protected:
    KeywordFileTest() : keywords(MakeSession(Product::Creator)) { keywords.SetPane(&pane); }

    void Store(const QString& name, const Values& v) {
        const auto number = static_cast<std::int32_t>(Listed().size());
        m_store->SaveSetting(kKeywordApp, "Keywords", KeywordModule::KeywordKey(number), name);
        m_store->ReplaceSection(kKeywordApp, name,
                                {{"Description", v[0]},
                                 {"Folder", v[1]},
                                 {"Estimated Time", v[2]},
                                 {"Color", v[3]},
                                 {"Notes", v[4]}});
    }
    QList<SettingRow> Listed() {
        return m_store->SectionExists(kKeywordApp, "Keywords")
                   ? m_store->GetAllSettings(kKeywordApp, "Keywords")
                   : QList<SettingRow>{};
    }
    // The list and every listed keyword's section, as a test compares stores.
    QList<QList<SettingRow>> Snapshot() {
        QList<QList<SettingRow>> all{Listed()};
        for (const SettingRow& row : all.first()) {
            all << m_store->GetAllSettings(kKeywordApp, row.second);
        }
        return all;
    }
    static QStringList Header() {
        return {"' Sonavel Keyword Definition File 05/12/2026 16:55:22",
                "' Caution: This file is maintained by Sonavel Creator",
                "'          DO NOT EDIT BY HAND", ""};
    }
    static QStringList Block(const QString& name, const Values& v) {
        return {
            "' Keyword", name, "' Description", v[0], "' Folder", v[1], "' Estimated Time", v[2],
            "' Color",   v[3], "' Notes",       v[4], ""};
    }
    QString Write(const QString& file, const QStringList& lines) {
        QString path = Path(file);
        textfile::WriteLines(path, lines);
        return path;
    }
    void ExpectSaved() { m_dialogs.ExpectMessage("Keyword Definitions Saved"); }

    const Values news{"News on the hour", "/srv/sound/news", "185", "255", "None"};
    const Values sport{"Sport", "/srv/sound/sport", "30", "65280", "Weekends only"};
    CountingPane pane;
    KeywordModule keywords;
};

TEST_F(KeywordFileTest, ExportWritesHeaderAndBlocksWithDefaultsForEmptyValues) {
    Store("News", news);
    Store("Sport", {"", "", "", "", ""});
    const QString path = Path("station.key");
    // Empty values travel as the format's defaults: nothing to ask about.
    m_dialogs.ExpectMessage("Keyword Definitions Exported");
    ASSERT_TRUE(keywords.ExportKeywordDefinitionsTo(path));

    const QDateTime now = m_clock.Now();
    QStringList expected = Header();
    expected[0] = "' Sonavel Keyword Definition File " + LogDate(now) + " " + LogTime(now);
    expected << Block("News", news) << Block("Sport", {"None", "None", "1", "16777215", "None"});
    EXPECT_EQ(textfile::ReadLines(path), expected);
    QFile raw(path);
    ASSERT_TRUE(raw.open(QIODevice::ReadOnly));
    EXPECT_TRUE(raw.readAll().endsWith("None\r\n\r\n")) << "every line ends in CR LF";
    EXPECT_EQ(m_dialogs.LastMessage().icon, MsgIcon::Information);
}

TEST_F(KeywordFileTest, ExportAsksBeforeWritingValuesTheFileWouldLose) {
    Store("News", news);
    Store("Jingles", {" Station idents", "/srv/sound/jingles", "8", "0", "'Live' reads"});
    Store("Promos", {"Promos", "/srv/sound/promos", "30", "blue", "None"});
    Store("Sport", {"", "", "", "", "' quoted"});
    const QString path = Path("station.key");
    m_dialogs.ExpectMessage("Export Keywords", MsgResult::No);
    EXPECT_FALSE(keywords.ExportKeywordDefinitionsTo(path));
    EXPECT_FALSE(QFile::exists(path)) << "No leaves no file behind";
    const MessageRequest warning = m_dialogs.LastMessage();
    EXPECT_EQ(warning.buttons, MsgButtons::YesNo);
    EXPECT_EQ(warning.defaultButton, 2);
    const QString prompt = warning.prompt;
    EXPECT_TRUE(prompt.contains("Jingles (Description, Notes)"));
    EXPECT_TRUE(prompt.contains("Promos (Color)")) << "Import would refuse that file";
    EXPECT_TRUE(prompt.contains("Sport (Notes)")) << "its empty values are not named";
    EXPECT_FALSE(prompt.contains("News"));
}

TEST_F(KeywordFileTest, ExportDialogEmptyStoreAndCancel) {
    m_dialogs.ExpectMessage("Export Keywords");
    keywords.ExportKeywordDefinitions();
    EXPECT_EQ(m_dialogs.LastMessage().prompt, " There are no Keywords to Export.");
    EXPECT_EQ(m_dialogs.Shown().size(), 1u) << "no file dialog for an empty store";

    Store("News", news);
    m_dialogs.Clear();
    m_dialogs.ExpectFile(std::nullopt, "Export Keyword Description File");
    keywords.ExportKeywordDefinitions();
    ASSERT_EQ(m_dialogs.Shown().size(), 1u) << "Cancel ends without a word";
    const FileDialogRequest& request = m_dialogs.Shown().front().file;
    EXPECT_TRUE(request.save);
    EXPECT_EQ(request.filter, "Keyword Description Files (*.key)|*.key");
    EXPECT_EQ(request.initialFolder, ProgramFolder());
    EXPECT_TRUE(request.fileName.isEmpty());
    EXPECT_EQ(request.flags, 34820);
}

TEST_F(KeywordFileTest, ImportReplacesTheWholeStore) {
    Store("Old", news);
    Store("Older", sport);
    Store("News", {"stale", "", "", "", ""});
    const QString path = Write("two.key", Header() + Block("News", news) + Block("Sport", sport));
    m_dialogs.ExpectFile(path, "Import Keyword Description File");
    ExpectSaved();
    keywords.ImportKeywordDefinitions();

    EXPECT_EQ(m_dialogs.Shown().front().file.flags, 2052);
    EXPECT_FALSE(m_dialogs.Shown().front().file.save);
    EXPECT_EQ(m_dialogs.LastMessage().prompt,
              "New Keyword Definitions have been saved in the Registry");
    EXPECT_EQ(Listed(), (QList<SettingRow>{{"Keyword 0", "News"}, {"Keyword 1", "Sport"}}));
    EXPECT_FALSE(m_store->SectionExists(kKeywordApp, "Old"));
    EXPECT_FALSE(m_store->SectionExists(kKeywordApp, "Older"));
    EXPECT_EQ(m_store->GetAllSettings(kKeywordApp, "News"),
              (QList<SettingRow>{{"Description", "News on the hour"},
                                 {"Folder", "/srv/sound/news"},
                                 {"Estimated Time", "185"},
                                 {"Color", "255"},
                                 {"Notes", "None"}}));
    EXPECT_EQ(pane.refills, 1);
    ASSERT_TRUE(keywords.GetKeywordDefinitions());
    EXPECT_EQ(keywords.KeywordDefinitions.size(), 2u);
    EXPECT_EQ(keywords.KeywordDefinitions[1].Color, 65280);

    // Cancel, or a file that cannot be read, changes nothing and says nothing.
    const auto before = Snapshot();
    m_dialogs.Clear();
    m_dialogs.ExpectFile(std::nullopt);
    keywords.ImportKeywordDefinitions();
    EXPECT_FALSE(keywords.ImportKeywordDefinitionsFrom(Path("missing.key")));
    EXPECT_EQ(m_dialogs.Shown().size(), 1u);
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(KeywordFileTest, CommentAndEmptyLinesAnywhereChangeNothing) {
    ExpectSaved();
    ASSERT_TRUE(keywords.ImportKeywordDefinitionsFrom(
        Write("plain.key", Header() + Block("News", news) + Block("Sport", sport))));
    const auto plain = Snapshot();

    // No header, no labels, and comments, blank-led lines and empty lines
    // between every value.
    QStringList sprinkled;
    for (const QStringList& block : {Block("News", news), Block("Sport", sport)}) {
        for (const QString& line : block) {
            if (line.isEmpty() || line.startsWith('\'')) continue;
            sprinkled << ""
                      << "' edited by hand" << line << "   indented note"
                      << "";
        }
    }
    ExpectSaved();
    ASSERT_TRUE(keywords.ImportKeywordDefinitionsFrom(Write("sprinkled.key", sprinkled)));
    EXPECT_EQ(Snapshot(), plain);
}

TEST_F(KeywordFileTest, RoundTripKeepsOrderAndValues) {
    Store("Zed", sport);
    Store("Alpha", news);
    Store("Mid", {"Mid-morning", "C:\\Sound\\Mid", "-1", "-16777216", "Ends in a blank "});
    const auto before = Snapshot();
    const QString path = Path("round.key");
    m_dialogs.ExpectMessage("Keyword Definitions Exported");
    ASSERT_TRUE(keywords.ExportKeywordDefinitionsTo(path));
    keywords.DeleteAllKeywordDefinitions();
    Store("Stranger", news);
    ExpectSaved();
    ASSERT_TRUE(keywords.ImportKeywordDefinitionsFrom(path));
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(KeywordFileTest, DamagedFilesLeaveTheStoreUntouched) {
    Store("News", news);
    const auto before = Snapshot();
    const QStringList good = Header() + Block("News", news) + Block("Sport", sport);
    QStringList incomplete = good;
    incomplete.removeAt(incomplete.size() - 2);  // Sport's notes
    QStringList badTime = good;
    badTime[4 + 13 + 7] = "long";
    QStringList badColor = good;
    badColor[4 + 9] = "1.5";

    const struct {
        QStringList lines;
        QString fault;
    } cases[] = {
        {incomplete,
         "Keyword 2 (\"Sport\", line 19) is incomplete: the file ends after 5 of its "
         "6 lines."},
        {badTime,
         "Keyword 2 (\"Sport\", line 19): its Estimated Time \"long\" on line 25 is not "
         "a whole number."},
        {badColor,
         "Keyword 1 (\"News\", line 6): its Color \"1.5\" on line 14 is not a whole "
         "number."},
        {Header(), "it holds no Keywords."},
        {Header() + Block("Sport", sport) + Block("Sport", news),
         "Keyword 2 (\"Sport\", line 19) is defined already by Keyword 1."},
        {Header() + Block("Keywords", news), "has the name of the list that holds all Keywords"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault.toStdString());
        const QString path = Write("damaged.key", c.lines);
        m_dialogs.Clear();
        m_dialogs.ExpectMessage("Keyword Definitions Not Imported");
        EXPECT_FALSE(keywords.ImportKeywordDefinitionsFrom(path));
        const MessageRequest& shown = m_dialogs.LastMessage();
        EXPECT_EQ(shown.icon, MsgIcon::Information);
        EXPECT_TRUE(shown.prompt.contains("\"" + path + "\"")) << shown.prompt.toStdString();
        EXPECT_TRUE(shown.prompt.contains(c.fault)) << shown.prompt.toStdString();
        EXPECT_EQ(Snapshot(), before);
    }
    EXPECT_EQ(pane.refills, 0);
}

TEST_F(KeywordFileTest, ByteOrderMarksInMidFile) {
    Store("News", news);
    const auto before = Snapshot();
    const QString bom = QString(QChar::ByteOrderMark);

    // Two exported files joined as `cat` joins them: the second one's mark
    // now opens a line in mid-file, and its first comment is read as a name.
    const QByteArray mark("\xEF\xBB\xBF");
    const QByteArray joined = mark + (Header() + Block("Jingles", news)).join("\r\n").toUtf8() +
                              "\r\n" + mark +
                              (Header() + Block("Weather", sport)).join("\r\n").toUtf8() + "\r\n";
    const QString path = Path("joined.key");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(joined);
    }
    m_dialogs.ExpectMessage("Keyword Definitions Not Imported");
    EXPECT_FALSE(keywords.ImportKeywordDefinitionsFrom(path));
    EXPECT_TRUE(m_dialogs.LastMessage().prompt.contains(
        "Keyword 2 (\"" + bom + Header()[0] +
        "\", line 18) begins with an invisible mark (U+FEFF) or "
        "holds a damaged character, so it would not read back as written."))
        << m_dialogs.LastMessage().prompt.toStdString();
    EXPECT_EQ(Snapshot(), before);

    // In a value the mark is the operator's business; it is kept to the byte.
    const Values marked{bom + "News on the hour", "/srv/sound/news", "185", "255", bom};
    ExpectSaved();
    ASSERT_TRUE(keywords.ImportKeywordDefinitionsFrom(
        Write("marked.key", Header() + Block("News", marked))));
    ASSERT_TRUE(keywords.GetKeywordDefinitions());
    ASSERT_EQ(keywords.KeywordDefinitions.size(), 1u);
    EXPECT_EQ(keywords.KeywordDefinitions[0].Description, bom + "News on the hour");
    EXPECT_EQ(keywords.KeywordDefinitions[0].Notes, bom);
}

TEST_F(KeywordFileTest, WriteFailingHalfWayKeepsTheOldKeywordsAndReportsNoSuccess) {
    Store("News", news);
    Store("Weather", sport);
    const auto before = Snapshot();
    // Another connection makes the store refuse the second keyword's rows,
    // so the import fails after it has replaced part of the store.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(m_store->Path().toUtf8().constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other,
                           "CREATE TRIGGER refuse BEFORE INSERT ON settings "
                           "WHEN NEW.section = 'Sport' BEGIN SELECT RAISE(ABORT, 'disk full'); END",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(other);
    const QString path =
        Write("two.key", Header() + Block("Jingles", news) + Block("Sport", sport));

    for (const MsgResult answer : {MsgResult::Abort, MsgResult::Ignore}) {
        m_dialogs.Clear();
        m_dialogs.ExpectMessage("", answer);
        EXPECT_FALSE(keywords.ImportKeywordDefinitionsFrom(path));
        EXPECT_EQ(Snapshot(), before);
        EXPECT_FALSE(m_store->SectionExists(kKeywordApp, "Jingles"));
    }
    EXPECT_EQ(pane.refills, 0);
}

}  // namespace
