#pragma once

#include "ClockEditor.h"
#include "ClockModule.h"
#include "KeywordModule.h"
#include "RunDisplay.h"
#include "Session.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <random>

namespace sonavel {

// Playlist generation: the keyword folders become candidate lists, and each
// hour's clock lines become that hour's playlist file.
class SchedulerModule {
  public:
    // Uniform values in [0, 1).
    using RandomSource = std::function<double()>;

    // Rows of KeywordDefinition::Files: names as the listing gave them, and
    // whether each was already chosen in this run.
    static constexpr int kNameRow = 0;
    static constexpr int kUsedRow = 1;

    // Without a random source the module draws from its own generator, seeded
    // once here and again by Randomize.
    SchedulerModule(Session& session, KeywordModule& keywords, ClockModule& clocks,
                    RandomSource random = {});
    SchedulerModule(const SchedulerModule&) = delete;
    SchedulerModule& operator=(const SchedulerModule&) = delete;

    // Reseeds the module's own generator from a high-resolution source; an
    // injected source is left alone. Once per creation run, never per element:
    // a seed taken from the time of day before every element repeats the same
    // draws all second long and starves part of a keyword's files.
    void Randomize();

    // The edit pane's file commands and the run's windows. A run needs both;
    // without them CreatePlaylists does nothing.
    void SetEditor(ClockEditor* editor) { m_editor = editor; }
    void SetDisplay(RunDisplay* display) { m_display = display; }

    // The whole creation run: the offer to save the displayed clock, the
    // checks, the confirmation and the week's 168 playlists. Does nothing
    // while a run is already in progress.
    void CreatePlaylists();
    // True when generation may start; every failure has shown its message.
    bool CheckBeforeCreating();
    // The run yields to the event loop, so its own commands stay clickable.
    bool Running() const { return m_running; }
    // Why the last run could not write a playlist, in the system's words
    // with the file ("Disk full: .../Sun0000.lst (No space left on device)");
    // empty when it wrote them all or stopped before writing.
    const QString& WriteFailure() const { return m_writeFailure; }

    // Called before a scan failure is shown, so the run's status display is
    // gone before the message appears.
    void SetHideStatus(std::function<void()> hide) { m_hideStatus = std::move(hide); }

    // Fills every keyword's Files table from its folder, all unused. False,
    // after the keyword's message, at the first keyword with no candidate.
    // Outside a run it works on the keyword module's table.
    bool ScanKeywordFolders();

    // Writes the hour's playlist at playlistPath as a whole, one entry per
    // element line. A reader sees the old or the new list, never half of one.
    // Raises RuntimeError (76 path not found, 75 any other failure, 52 empty
    // path) and leaves the previous file untouched when the write fails.
    void WritePlaylist(const QString& playlistPath, const QStringList& lines);

    // The playlist's text as WritePlaylist writes it; the choices it makes
    // are marked used.
    QString PlaylistText(const QStringList& lines, bool includeComments);

    // Chooses a candidate of the keyword by the random rule with its redraws
    // and reset, marks it used and returns its column.
    qsizetype ChooseFile(KeywordDefinition& keyword);

    // Folder + file name with one separator between them.
    static QString ElementPath(const QString& folder, const QString& fileName);

  private:
    // The table the scan fills and the playlists draw from.
    std::vector<KeywordDefinition>& Table();
    void HideStatus();
    bool FailCheck(const QString& prompt, const QString& title);
    bool WriteWeek();
    // Measures the loudness of the files the week's playlists use that the
    // cache lacks, when the station evens loudness out.
    void MeasureWeek();
    QStringList TimeCheckFiles();

    qsizetype Draw(qsizetype count);
    KeywordDefinition* Lookup(const QString& name);
    void ShowInvalidFolder(const KeywordDefinition& keyword);
    void ShowFolderNotFound(const KeywordDefinition& keyword);

    Session& m_session;
    KeywordModule& m_keywords;
    ClockModule& m_clocks;
    RandomSource m_random;
    bool m_ownRandom = false;
    std::mt19937_64 m_engine;
    std::function<void()> m_hideStatus;
    ClockEditor* m_editor = nullptr;
    RunDisplay* m_display = nullptr;
    bool m_running = false;
    QString m_writeFailure;
    // A run serves events for minutes, and the keyword window, Open Default
    // Clock or an import may reload the shared keyword table and default
    // clock meanwhile. The run works on its own copies of both, taken when
    // its checks load them, so nothing the operator does can pull the table
    // from under the folder scan or pair one folder's file names with
    // another folder.
    std::vector<KeywordDefinition> m_runKeywords;
    QStringList m_runDefaultClock;
    bool m_ownTable = false;
    // The files the week's playlists name, while they are written, and
    // whether any hour announces the time.
    bool m_collectWeek = false;
    QStringList m_weekFiles;
    bool m_weekTimeChecks = false;
};

}  // namespace sonavel
