#include "SchedulerModule.h"

#include "Events.h"
#include "FormatModule.h"
#include "LoudnessGain.h"
#include "LoudnessSettings.h"
#include "ProgramSettings.h"
#include "RuntimeError.h"
#include "TextFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <chrono>
#include <cmath>
#include <random>

namespace sonavel {

namespace {

const QString kNotUsed = QStringLiteral("No");
const QString kUsed = QStringLiteral("Yes");

// The bar's range leaves one step beyond the last playlist, so a finished
// run stands just short of full.
constexpr int kProgressMaximum = 169;
constexpr qint64 kStatusShownMs = 3000;

// A folder of 100,000 entries must not spend its time in the event loop, yet
// the status window has to stay responsive: serve events a few times a
// second rather than after every entry.
constexpr qint64 kYieldEveryMs = 20;

}  // namespace

SchedulerModule::SchedulerModule(Session& session, KeywordModule& keywords, ClockModule& clocks,
                                 RandomSource random)
    : m_session(session), m_keywords(keywords), m_clocks(clocks), m_random(std::move(random)) {
    if (!m_random) {
        m_ownRandom = true;
        Randomize();
        m_random = [this] { return std::uniform_real_distribution<double>(0.0, 1.0)(m_engine); };
    }
}

void SchedulerModule::Randomize() {
    if (!m_ownRandom) return;
    // random_device alone may be a fixed sequence on some libraries; the
    // clock's nanoseconds keep two runs apart even then.
    std::random_device device;
    const auto ticks = static_cast<std::uint64_t>(
        std::chrono::high_resolution_clock::now().time_since_epoch().count());
    std::seed_seq seed{device(), device(), static_cast<std::uint32_t>(ticks),
                       static_cast<std::uint32_t>(ticks >> 32)};
    m_engine.seed(seed);
}

std::vector<KeywordDefinition>& SchedulerModule::Table() {
    return m_ownTable ? m_runKeywords : m_keywords.KeywordDefinitions;
}

bool SchedulerModule::ScanKeywordFolders() {
    QElapsedTimer sinceYield;
    sinceYield.start();
    for (KeywordDefinition& keyword : Table()) {
        keyword.Files = {QStringList(), QStringList()};
        // QDir of an empty path is the working folder, which is no keyword's.
        QStringList entries;
        if (!keyword.Folder.isEmpty()) {
            // Files only: folders, symbolic links to folders, hidden entries,
            // devices, sockets and dangling links stay out, so nothing is
            // followed and a link loop is just an entry that is left out.
            entries =
                QDir(keyword.Folder).entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
        }
        if (entries.isEmpty()) {
            ShowInvalidFolder(keyword);
            return false;
        }
        QStringList& names = keyword.Files[kNameRow];
        for (const QString& entry : entries) {
            if (IsSoundFile(entry)) names.append(entry);
            if (sinceYield.elapsed() >= kYieldEveryMs) {
                DoEvents();
                sinceYield.restart();
            }
        }
        if (names.isEmpty()) {
            ShowFolderNotFound(keyword);
            return false;
        }
        keyword.Files[kUsedRow] = QStringList(names.size(), kNotUsed);
    }
    return true;
}

void SchedulerModule::ShowInvalidFolder(const KeywordDefinition& keyword) {
    HideStatus();
    m_session.Dlg().MsgBox(QStringLiteral("Invalid folder: ") + keyword.Folder + kCrLf + kCrLf +
                               QStringLiteral("Keyword: ") + keyword.Keyword + kCrLf + kCrLf +
                               QStringLiteral("Folder not found or folder contains no valid "
                                              "files") +
                               kCrLf + kCrLf + QStringLiteral("Run Keyword Maintenance"),
                           MsgButtons::OK, MsgIcon::Information, QStringLiteral("Invalid Folder"));
}

void SchedulerModule::ShowFolderNotFound(const KeywordDefinition& keyword) {
    HideStatus();
    m_session.Dlg().MsgBox(
        QStringLiteral("Folder not found (or defined) or contains no valid files.") + kCrLf +
            kCrLf + QStringLiteral("Keyword: '") + keyword.Keyword + QStringLiteral("'") + kCrLf +
            kCrLf + QStringLiteral("Run Keyword Maintenance"),
        MsgButtons::OK, MsgIcon::Information, QStringLiteral("Folder Not Found"));
}

// ---------------------------------------------------------------------------
// The creation run

void SchedulerModule::CreatePlaylists() {
    if (m_running || !m_editor || !m_display) return;
    m_running = true;
    m_writeFailure.clear();
    struct Finish {
        SchedulerModule& run;
        ~Finish() {
            run.m_running = false;
            run.m_ownTable = false;
            run.m_runKeywords.clear();
            run.m_runDefaultClock.clear();
            run.m_collectWeek = false;
            run.m_weekFiles.clear();
        }
    } finish{*this};

    Dialogs& dialogs = m_session.Dlg();
    if (!m_editor->Saved) {
        const MsgResult answer = dialogs.MsgBox(
            QStringLiteral("Do you want to save the currently displayed clock") + kCrLf +
                QStringLiteral("as the default clock?"),
            MsgButtons::YesNoCancel, MsgIcon::Question, QStringLiteral("Current Clock Not Saved"));
        if (answer == MsgResult::Cancel) return;
        // A failed save has shown its message; the run goes on with the
        // default clock as it is on disk.
        if (answer == MsgResult::Yes) m_editor->SaveDefaultClock();
    }

    if (!CheckBeforeCreating()) {
        dialogs.MsgBox(
            QStringLiteral("Creator has encountered an error and cannot create playlists.") +
                kCrLf + kCrLf +
                QStringLiteral("Please check that all Keywords have valid folders and that") +
                kCrLf + QStringLiteral("those folders contain valid files."),
            MsgButtons::OK, MsgIcon::Critical, QStringLiteral("Unable to Create Playlists"));
        return;
    }

    const CreatorSettings& settings = m_session.Creator;
    const MsgResult ready = dialogs.MsgBox(
        QStringLiteral("Creator is ready to create playlists in folder:") + kCrLf +
            settings.PlaylistFolder + kCrLf + kCrLf + QStringLiteral("Using Default Clock:") +
            kCrLf + m_clocks.DefaultClockPath() + kCrLf + kCrLf +
            QStringLiteral("and/or Hourly Clock(s) in folder:") + kCrLf + settings.ClockFolder +
            kCrLf + kCrLf + QStringLiteral("Is this what you want to do?"),
        MsgButtons::YesNo, MsgIcon::Information, QStringLiteral("Ready to Create Playlists"));
    if (ready != MsgResult::Yes) return;

    Randomize();
    m_display->ShowProgress(QStringLiteral("Creating Playlists"), kProgressMaximum);
    m_weekFiles.clear();
    m_weekTimeChecks = false;
    m_collectWeek = true;
    const bool written = WriteWeek();
    m_collectWeek = false;
    if (!written) return;
    MeasureWeek();
    m_display->SetProgressLabel(QStringLiteral("All Playlists Have Been Created."));
    m_display->EnableOk();
}

bool SchedulerModule::WriteWeek() {
    // Read once: an hourly clock's message is modal and the options could
    // change behind it, yet the week has to land in one folder.
    const QString folder = m_session.Creator.PlaylistFolder;
    const QString extension = m_session.Creator.PlaylistExtension;
    int count = 0;
    for (int day = 1; day <= 7; ++day) {
        for (int hour = 0; hour < 24; ++hour) {
            const QString path = folder + QLatin1Char('/') + WeekdayToken(day) +
                                 QStringLiteral("%1").arg(hour, 2, 10, QLatin1Char('0')) +
                                 QStringLiteral("00") + extension;
            const QStringList& lines = m_clocks.LoadHourlyClock(path, Table())
                                           ? m_clocks.HourlyClockLines
                                           : m_runDefaultClock;
            try {
                WritePlaylist(path, lines);
            } catch (const RuntimeError& error) {
                m_writeFailure = error.Description();
                m_display->UnloadProgress();
                m_session.Dlg().MsgBox(
                    QStringLiteral("Creator has encountered an error creating playlist: ") + kCrLf +
                        kCrLf + path + kCrLf + kCrLf +
                        QStringLiteral(
                            "Please check disk space, file attributes and/or permissions.") +
                        kCrLf + kCrLf + QStringLiteral("Creator cannot continue."),
                    MsgButtons::OK, MsgIcon::Critical, QStringLiteral("Unable to Create Playlist"));
                return false;
            }
            DoEvents();
            m_display->SetProgressLabel(QStringLiteral("Now Creating Playlist for ") +
                                        FormatPlaylistName(path));
            m_display->SetProgressValue(++count);
            DoEvents();
        }
    }
    return true;
}

void SchedulerModule::MeasureWeek() {
    try {
        if (!ReadLoudnessSettings(m_session).Enabled) return;
    } catch (const RuntimeError&) {
        // Settings that cannot be read even nothing out: Player says so when it plays.
        return;
    }
    QStringList files = m_weekFiles;
    if (m_weekTimeChecks) files += TimeCheckFiles();
    const std::unique_ptr<LoudnessCache> cache = OpenLoudnessCache(m_session);
    const MeasureRun run = MeasureFiles(
        *cache, files,
        [this, &cache](int done, int total, const MeasuredFile* file) {
            if (file && file->key) ReportUnmeasurable(m_session, *cache, *file->key, file->measure);
            m_display->SetMeasureProgress(
                done, total,
                QStringLiteral("Measuring Loudness: %1 of %2 Files").arg(done).arg(total));
        },
        [] { DoEvents(); });
    if (run.measured == 0) return;
    QString summary = QStringLiteral("Loudness Measured: %1 Files").arg(run.measured);
    if (run.problems > 0)
        summary +=
            QStringLiteral(", %1 Could Not Be Measured (See the Error Log)").arg(run.problems);
    m_display->SetMeasureProgress(run.measured, run.measured, summary);
}

QStringList SchedulerModule::TimeCheckFiles() {
    // The announcements are Player's: its folder, as it plays them.
    QString folder;
    try {
        folder = m_session.Store().GetSetting(QString::fromLatin1(kAppName), kPlayerSettings.Name(),
                                              playerfield::TimeCheckFolder.Key());
    } catch (const RuntimeError&) {
    }
    if (folder.isEmpty()) folder = DefaultText(playerfield::TimeCheckFolder.byDefault, m_session);
    QStringList files;
    for (const QString& name : QDir(folder).entryList(QDir::Files, QDir::Name)) {
        if (IsSoundFile(name)) files << ElementPath(folder, name);
    }
    return files;
}

bool SchedulerModule::CheckBeforeCreating() {
    if (!m_editor || !m_display) return false;
    const QDateTime started = m_session.Time().Now();
    m_display->ShowStatus(QStringLiteral("Initializing, Please Wait"));

    if (!m_keywords.GetKeywordDefinitions()) {
        return FailCheck(QStringLiteral("Unable to find any Keyword definitions.") + kCrLf +
                             QStringLiteral("Please run Keyword Maintenance to create keyword "
                                            "definitions."),
                         QStringLiteral("No Keyword Definitions Found"));
    }
    if (!m_editor->LoadDefaultClock()) {
        return FailCheck(QStringLiteral("Unable to load Default Clock.") + kCrLf +
                             QStringLiteral("Please create and save Default Clock."),
                         QStringLiteral("No Default Clock Found"));
    }
    // Its message came with the loading.
    if (m_clocks.InvalidKeywordFound) return FailCheck({}, {});
    if (m_running) {
        m_runKeywords = m_keywords.KeywordDefinitions;
        m_runDefaultClock = m_clocks.DefaultClockLines;
        m_ownTable = true;
    }
    if (m_session.Creator.PlaylistFolder.isEmpty()) {
        return FailCheck(QStringLiteral("Playlist Folder has not been set.") + kCrLf +
                             QStringLiteral("Please set Playlist Folder."),
                         QStringLiteral("Playlist Folder Not Set"));
    }
    if (!ScanKeywordFolders()) return FailCheck({}, {});

    // Measured on date and time, so a run started just before midnight does
    // not wait a day; a clock set back ends the wait rather than prolonging it.
    const auto waited = [&] {
        const qint64 elapsed = started.msecsTo(m_session.Time().Now());
        return elapsed >= kStatusShownMs || elapsed < 0;
    };
    while (!WaitUntil(waited)) {
    }
    HideStatus();
    return true;
}

bool SchedulerModule::FailCheck(const QString& prompt, const QString& title) {
    HideStatus();
    if (!title.isEmpty()) {
        m_session.Dlg().MsgBox(prompt, MsgButtons::OK, MsgIcon::Information, title);
    }
    return false;
}

void SchedulerModule::HideStatus() {
    if (m_hideStatus) m_hideStatus();
    if (m_display) m_display->HideStatus();
}

void SchedulerModule::WritePlaylist(const QString& playlistPath, const QStringList& lines) {
    // An .m3u list never carries comments, even if the setting was switched
    // on behind the options window's back.
    const bool m3u = playlistPath.endsWith(QStringLiteral(".m3u"), Qt::CaseInsensitive);
    const QString text = PlaylistText(lines, m_session.Creator.IncludeComments && !m3u);
    textfile::WriteAll(playlistPath, text);
}

QString SchedulerModule::PlaylistText(const QStringList& lines, bool includeComments) {
    QString text;
    for (const QString& entry : lines) {
        if (entry.isEmpty()) {
            text += kCrLf;
            continue;
        }
        if (TrimBlanks(entry).compare(QLatin1String(":timecheck"), Qt::CaseInsensitive) == 0) {
            text += QStringLiteral(":TimeCheck") + kCrLf;
            if (m_collectWeek) m_weekTimeChecks = true;
            continue;
        }
        KeywordDefinition* keyword = Lookup(entry);
        // Clocks are checked when read, so only a clock built elsewhere gets here.
        if (!keyword || keyword->Files.size() <= kUsedRow || keyword->Files[kNameRow].isEmpty()) {
            continue;
        }
        if (includeComments) text += QStringLiteral("' ") + keyword->Description + kCrLf;
        const qsizetype chosen = ChooseFile(*keyword);
        const QString path = ElementPath(keyword->Folder, keyword->Files[kNameRow][chosen]);
        if (m_collectWeek) m_weekFiles.append(path);
        text += path + kCrLf;
    }
    return text;
}

KeywordDefinition* SchedulerModule::Lookup(const QString& name) {
    for (KeywordDefinition& definition : Table()) {
        if (definition.Keyword.compare(name, Qt::CaseInsensitive) == 0) return &definition;
    }
    return nullptr;
}

qsizetype SchedulerModule::Draw(qsizetype count) {
    // Rounding halves to even gives the two end candidates half the weight
    // of the others; that is the rule, kept as it stands.
    const double scaled = m_random() * static_cast<double>(count - 1);
    const double rounded = std::nearbyint(scaled);
    // A source that strays outside [0, 1) must not index outside the table.
    if (!(rounded >= 0)) return 0;
    if (rounded > static_cast<double>(count - 1)) return count - 1;
    return static_cast<qsizetype>(rounded);
}

qsizetype SchedulerModule::ChooseFile(KeywordDefinition& keyword) {
    QStringList& used = keyword.Files[kUsedRow];
    const qsizetype count = used.size();
    qsizetype i = Draw(count);
    qsizetype tries = 0;
    while (used[i] != kNotUsed && tries != count - 1) {
        i = Draw(count);
        ++tries;
    }
    // Out of redraws: the keyword starts afresh, and the last draw stands
    // even when it found a file already used.
    if (tries >= count - 1) {
        for (QString& flag : used) {
            if (flag == kUsed) flag = kNotUsed;
        }
    }
    used[i] = kUsed;
    return i;
}

QString SchedulerModule::ElementPath(const QString& folder, const QString& fileName) {
    if (folder.endsWith(QLatin1Char('/'))) return folder + fileName;
    return folder + QLatin1Char('/') + fileName;
}

}  // namespace sonavel
