#include "CreateCommand.h"

#include "ClockEditor.h"
#include "ClockModule.h"
#include "CommonModule.h"
#include "EditorWindow.h"
#include "KeywordModule.h"
#include "NamedEntries.h"
#include "Paths.h"
#include "RunDisplay.h"
#include "RunningCopy.h"
#include "RuntimeError.h"
#include "SchedulerModule.h"
#include "Session.h"
#include "SettingsStore.h"
#include "SignalWatch.h"
#include "SystemdNotify.h"

#include <QDir>
#include <QEventLoop>
#include <QTimer>
#include <memory>

namespace sonavel {

namespace {

constexpr int kPlaylistsPerWeek = 168;
constexpr int kPlaylistsPerDay = 24;
constexpr int kMeasureLines = 10;

// The run's status and progress windows as a few lines on the terminal: one
// per day of the week rather than one per playlist. The run enables the
// progress window's OK only once the whole week is written, which is how the
// command knows it succeeded.
class ConsoleRunDisplay final : public RunDisplay {
  public:
    explicit ConsoleRunDisplay(QTextStream& err) : m_err(err) {}

    void ShowStatus(const QString& text) override { Print(text); }
    void HideStatus() override {}
    void ShowProgress(const QString& caption, int) override {
        m_value = 0;
        Print(caption);
    }
    void SetProgressLabel(const QString& text) override { m_label = text; }
    void SetProgressValue(int value) override {
        m_value = value;
        if (value % kPlaylistsPerDay == 0) {
            Print(QStringLiteral("  ") + m_label +
                  QStringLiteral(" (%1 of %2)").arg(value).arg(kPlaylistsPerWeek));
        }
    }
    void EnableOk() override {
        m_finished = true;
        Print(m_label);
    }
    void UnloadProgress() override {}
    // A station's first measure runs to thousands of files: a line at the
    // start, at every tenth of the way and at the end.
    void SetMeasureProgress(int done, int total, const QString& text) override {
        const bool step = total > 0 && done > 0 &&
                          done * kMeasureLines / total != (done - 1) * kMeasureLines / total;
        if (done == 0 || done == total || step) Print(QStringLiteral("  ") + text);
    }

    bool Succeeded() const { return m_finished && m_value == kPlaylistsPerWeek; }

  private:
    void Print(const QString& line) {
        m_err << line << '\n';
        m_err.flush();
    }

    QTextStream& m_err;
    QString m_label;
    int m_value = 0;
    bool m_finished = false;
};

}  // namespace

StationPaths StationPaths::ForUser() {
    return {DefaultSettingsPath(), DefaultProgramFolder(),
            RunningCopyLock::DefaultPath(QStringLiteral("creator"))};
}

std::unique_ptr<SettingsStore> OpenStationStore(const StationPaths& station, QTextStream& err) {
    try {
        return std::make_unique<SettingsStore>(station.settingsFile);
    } catch (const StoreError& error) {
        err << "sonavel: the settings file cannot be read: " << error.Path() << "\n"
            << error.Reason() << "\nThe file was left as it is.\n";
        err.flush();
        return nullptr;
    }
}

void WriteDefaultsIfFresh(Session& session, const StationPaths& station, QTextStream& err) {
    if (session.Store().SectionExists(QString::fromLatin1(kAppName), session.OwnSection())) return;
    err << "sonavel: no settings yet; writing the defaults to " << station.settingsFile << '\n';
    err.flush();
    SetMissingRegistryDefaults(session);
    QDir().mkpath(session.ProgramFolder());
    for (const QString& folder : WorkingFolders(session))
        QDir().mkpath(folder);
}

std::unique_ptr<RunningCopyLock> TakeRunningCopyLock(
    const std::function<std::unique_ptr<RunningCopyLock>()>& take, const LockWait& wait,
    bool& interrupted) {
    interrupted = false;
    std::unique_ptr<RunningCopyLock> lock = take();
    if (!lock->AlreadyRunning()) return lock;
    if (wait.interval.count() <= 0) return nullptr;
    // The wait serves events, so a signal ends it as it ends a run on air.
    QEventLoop loop;
    SignalWatch watch([&] {
        interrupted = true;
        loop.quit();
    });
    int attempt = 1;
    if (wait.waiting) wait.waiting(attempt);
    QTimer retry;
    retry.setInterval(wait.interval);
    QObject::connect(&retry, &QTimer::timeout, &loop, [&] {
        lock = take();
        if (!lock->AlreadyRunning()) {
            loop.quit();
            return;
        }
        if (wait.waiting) wait.waiting(++attempt);
    });
    retry.start();
    loop.exec();
    if (interrupted || lock->AlreadyRunning()) return nullptr;
    return lock;
}

int CreatePlaylistsRun(const StationPaths& station, Dialogs& dialogs, QTextStream& err,
                       std::chrono::milliseconds waitForCreator) {
    // Two runs at once would write the same files; Creator's own run, or its
    // edit pane, must not be changed behind its back either.
    const QString lockPath =
        station.creatorLock.isEmpty()
            ? RunningCopyLock::StationPath(station.settingsFile, QStringLiteral("creator"))
            : station.creatorLock;
    // A timer's run shows why it has not finished yet in the service's status.
    const SystemdNotify notify = SystemdNotify::FromEnvironment();
    LockWait wait{waitForCreator, [&](int attempt) {
                      if (attempt == 1) {
                          err << "sonavel: Sonavel Creator is running (" << lockPath
                              << "); the playlists are written once it has closed.\n";
                          err.flush();
                          notify.Send("STATUS=Waiting for Sonavel Creator to close");
                      }
                  }};
    bool interrupted = false;
    const std::unique_ptr<RunningCopyLock> lock = TakeRunningCopyLock(
        [&] { return std::make_unique<RunningCopyLock>(lockPath); }, wait, interrupted);
    if (!lock) {
        if (interrupted) {
            err << "sonavel: ended while waiting for Sonavel Creator to close; no playlist was "
                   "written.\n";
        } else {
            err << "sonavel: Sonavel Creator is running (" << lockPath
                << ").\nClose it, or create the playlists from its window.\n";
        }
        err.flush();
        return 1;
    }

    notify.Send("STATUS=Writing the playlists");
    const std::unique_ptr<SettingsStore> store = OpenStationStore(station, err);
    if (!store) return 1;

    SystemClock clock;
    Session session(Product::Creator, station.programFolder, *store, dialogs, clock);
    try {
        // The run then says what is still missing.
        WriteDefaultsIfFresh(session, station, err);
        if (!ReadCreatorSettings(session)) return 1;

        KeywordModule keywords(session);
        ClockModule clocks(session, keywords);
        HeadlessEditorWindow window;
        ClockEditor editor(session, keywords, clocks, window);
        SchedulerModule scheduler(session, keywords, clocks);
        ConsoleRunDisplay display(err);
        scheduler.SetEditor(&editor);
        scheduler.SetDisplay(&display);
        scheduler.CreatePlaylists();
        // The message says which playlist; the journal also needs why.
        if (!scheduler.WriteFailure().isEmpty()) {
            err << "sonavel: create-playlists: " << scheduler.WriteFailure() << '\n';
            err.flush();
        }
        return display.Succeeded() ? 0 : 1;
    } catch (const RuntimeError& error) {
        err << "sonavel: " << error.Description() << '\n';
        err.flush();
        return 1;
    }
}

}  // namespace sonavel
