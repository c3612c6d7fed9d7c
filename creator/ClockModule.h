#pragma once

#include "KeywordModule.h"
#include "Session.h"

#include <QString>
#include <QStringList>

namespace sonavel {

// What a clock's file name shows, and whether it has hourly neighbours.
struct ClockDisplayName {
    QString text;  // "Monday 07:00", "Default Clock" or "Unknown"
    bool hourly = false;
};

// Clock files of Creator: their names, their neighbours in the week, their
// reading into element lists, and writing them safely. The edit pane's side
// of loading and saving lives with the main window.
class ClockModule {
  public:
    ClockModule(Session& session, KeywordModule& keywords)
        : m_session(session), m_keywords(keywords) {}

    static ClockDisplayName PrettyPrintFileName(const QString& path);
    // The neighbouring hourly clock's path in clockFolder, or empty text.
    static QString GetPreviousFileName(const QString& clockFolder, const QString& path);
    static QString GetNextFileName(const QString& clockFolder, const QString& path);
    // The first existing hourly clock before or after path, walking at most
    // one week and one hour; empty when there is none.
    static QString FindNeighbourClock(const QString& clockFolder, const QString& path,
                                      bool forward);

    // Writes the content to path as a whole (DurableFile). With backup on,
    // the file it replaces is kept as path-without-extension + ".bak" (one
    // generation), made only once the new text is safely on the disk. Raises
    // FileWriteError, with the system's reason, and leaves the old file and
    // its backup as they were when the write fails.
    static void WriteClockFile(const QString& path, const QByteArray& content, bool backup);
    static QByteArray PlainClockContent(const QString& paneText);

    QString DefaultClockPath() const;
    // Reads the default clock into DefaultClockLines and checks every element
    // line against the keywords. False when the file cannot be read.
    bool ReadDefaultClockLines();
    // Reads the hourly clock of a playlist into HourlyClockLines. False when
    // the hour has no clock, it cannot be read, or a line names no keyword.
    bool LoadHourlyClock(const QString& playlistPath);
    // The same, checking the lines against the given keyword table.
    bool LoadHourlyClock(const QString& playlistPath,
                         const std::vector<KeywordDefinition>& keywords);

    QStringList DefaultClockLines;
    QStringList HourlyClockLines;
    bool InvalidKeywordFound = true;

  private:
    enum class Verdict { Read, Unreadable, InvalidLine };
    Verdict ReadClockLines(const QString& path, const std::vector<KeywordDefinition>& keywords,
                           QStringList& lines, QString& invalidLine);
    void ShowInvalidKeyword(const QString& line, const QString& path, const QString& advice,
                            const QString& title);

    Session& m_session;
    KeywordModule& m_keywords;
};

}  // namespace sonavel
