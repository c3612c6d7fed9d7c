#include "CapturedConsole.h"
#include "CreateCommand.h"
#include "RunningCopy.h"
#include "SystemdNotify.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>
#include <csignal>
#include <memory>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <cstring>

using namespace sonavel;
using namespace std::chrono_literals;

namespace {

// The service manager's end of the notification socket.
class ManagerSocket {
  public:
    explicit ManagerSocket(const QByteArray& path) {
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
        // An abstract name starts with a NUL and has no NUL of its end.
        const bool abstract = path.startsWith('\0');
        const auto length =
            static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) +
                                   static_cast<std::size_t>(path.size()) + (abstract ? 0 : 1));
        m_bound = ::bind(m_fd, reinterpret_cast<const sockaddr*>(&address), length) == 0;
    }
    ~ManagerSocket() { ::close(m_fd); }
    bool Bound() const { return m_bound; }
    // Every datagram that has arrived, one string each.
    QStringList Received() {
        QStringList messages;
        char buffer[4096];
        for (;;) {
            const ssize_t size = ::recv(m_fd, buffer, sizeof buffer, 0);
            if (size < 0) break;
            messages << QString::fromUtf8(buffer, size);
        }
        return messages;
    }

  private:
    int m_fd = -1;
    bool m_bound = false;
};

TEST(SupervisionTest, ReadyWhenTheFirstElementSoundsWatchdogOnlyWhileTheOutputMoves) {
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath("notify"));
    ManagerSocket manager(path);
    ASSERT_TRUE(manager.Bound());
    // WatchdogSec=30: heartbeats every 15 s, the start extended by three of them.
    AirSupervision supervision(SystemdNotify(path, 30s));
    EXPECT_EQ(supervision.HeartbeatPeriod(), 15000ms);
    const QString extend = "EXTEND_TIMEOUT_USEC=45000000\n";

    // Waiting for the Player: each try extends the start past the next
    // try, or past the next heartbeat when the tries come more often.
    supervision.Waiting("Waiting for Sonavel Player to end", 5000ms);
    supervision.Waiting("Waiting for Sonavel Player to end", 60000ms);
    EXPECT_EQ(
        manager.Received(),
        QStringList({extend + "STATUS=Waiting for Sonavel Player to end",
                     "EXTEND_TIMEOUT_USEC=180000000\nSTATUS=Waiting for Sonavel Player to end"}));

    std::int64_t frame = 0;
    QString element;
    supervision.Watch([&] { return frame; }, [&] { return element; }, false);
    const struct {
        std::int64_t frame;
        QString element;
        bool heartbeat;
        QStringList sent;
    } steps[] = {
        // Started, nothing sounds yet (the hour's playlist missing): not
        // ready, the status said once, the start extended on each heartbeat.
        {0, "", false, {"STATUS=Nothing on air yet"}},
        {0, "", false, {}},
        {0, "", true, {extend}},
        // An element is up but the output has not played a frame of it.
        {0, "Jingle 1", false, {}},
        {4800, "Jingle 1", false, {"READY=1\nSTATUS=On air: Jingle 1"}},
        // The output has not moved since: no ping, so a hung engine is restarted.
        {4800, "Jingle 1", true, {}},
        {9600, "Jingle 1", true, {"WATCHDOG=1"}},
        {9600, "Jingle 1", true, {}},
        {9600, "News", false, {"STATUS=On air: News"}},
        {14400, "", true, {"WATCHDOG=1"}},
        {14400, "", false, {"STATUS=Nothing on air"}},
    };
    int n = 0;
    for (const auto& step : steps) {
        frame = step.frame;
        element = step.element;
        if (step.heartbeat) {
            supervision.Heartbeat();
        } else {
            supervision.Poll();
        }
        EXPECT_EQ(manager.Received(), step.sent) << "step " << n;
        ++n;
    }
    EXPECT_TRUE(supervision.Ready());

    supervision.Stopping();
    frame = 96000;
    supervision.Poll();
    supervision.Heartbeat();
    EXPECT_EQ(manager.Received(), QStringList{"STOPPING=1"});
}

TEST(SupervisionTest, TheSocketComesFromTheEnvironmentAndTheWatchdogOnlyForThisProcess) {
    QTemporaryDir dir;
    // An abstract socket, as a manager in a container may hand out.
    const QByteArray name = "sonavel-test-" + QByteArray::number(::getpid());
    ManagerSocket manager('\0' + name);
    ASSERT_TRUE(manager.Bound());
    const struct {
        QByteArray socket;
        QByteArray usec;
        QByteArray pid;
        bool active;
        std::chrono::microseconds watchdog;
    } cases[] = {
        {"@" + name, "2000000", "", true, 2s},
        {"@" + name, "2000000", QByteArray::number(::getpid()), true, 2s},
        // Set for the program that started this one.
        {"@" + name, "2000000", QByteArray::number(::getpid() + 1), true, 0s},
        {"@" + name, "", "", true, 0s},
        {"", "2000000", "", false, 0s},
        // Neither a file's path nor an abstract name.
        {"notify", "", "", false, 0s},
    };
    for (const auto& c : cases) {
        qputenv("NOTIFY_SOCKET", c.socket);
        qputenv("WATCHDOG_USEC", c.usec);
        qputenv("WATCHDOG_PID", c.pid);
        const SystemdNotify notify = SystemdNotify::FromEnvironment();
        EXPECT_EQ(notify.Active(), c.active) << c.socket.toStdString();
        EXPECT_EQ(notify.Watchdog(), c.watchdog) << c.pid.toStdString();
        EXPECT_EQ(notify.Send("STATUS=x"), c.active);
    }
    for (const char* variable : {"NOTIFY_SOCKET", "WATCHDOG_USEC", "WATCHDOG_PID"})
        qunsetenv(variable);
    EXPECT_EQ(manager.Received(), QStringList(4, "STATUS=x"));
    // Without a watchdog the start is still extended, every five seconds.
    EXPECT_EQ(AirSupervision(SystemdNotify()).HeartbeatPeriod(), 5000ms);
}

TEST(SupervisionTest, TheLockIsTakenOnceFreeAndASignalEndsTheWait) {
    QTemporaryDir dir;
    const QString path = dir.filePath("sonavel-player.lock");
    const auto take = [&] { return std::make_unique<RunningCopyLock>(path); };
    auto held = std::make_unique<RunningCopyLock>(path);
    ASSERT_FALSE(held->AlreadyRunning());

    // Not waiting: refused at once.
    bool interrupted = true;
    EXPECT_EQ(TakeRunningCopyLock(take, {}, interrupted), nullptr);
    EXPECT_FALSE(interrupted);

    // The other program ends while the third try is due.
    int attempts = 0;
    std::unique_ptr<RunningCopyLock> lock = TakeRunningCopyLock(take,
                                                                {1ms,
                                                                 [&](int attempt) {
                                                                     attempts = attempt;
                                                                     if (attempt == 3) held.reset();
                                                                 }},
                                                                interrupted);
    ASSERT_NE(lock, nullptr);
    EXPECT_FALSE(lock->AlreadyRunning());
    EXPECT_EQ(attempts, 3);
    EXPECT_FALSE(interrupted);
    EXPECT_TRUE(RunningCopyLock(path).AlreadyRunning());

    // A stop of the service while it waits, by each signal that ends a run.
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        EXPECT_EQ(TakeRunningCopyLock(take, {1ms, [&](int) { std::raise(signal); }}, interrupted),
                  nullptr);
        EXPECT_TRUE(interrupted) << signal;
    }
}

TEST(SupervisionTest, WaitOptionsWaitForTheOtherProgramInsteadOfFailing) {
    QTemporaryDir dir;
    StationPaths station;
    station.settingsFile = dir.filePath("config/settings.db");
    station.programFolder = dir.filePath("Sonavel");
    station.creatorLock = dir.filePath("sonavel-creator.lock");
    const QString playerLock = dir.filePath("sonavel-player.lock");

    // Creator closes while the run waits: the run goes on to its checks (a
    // fresh station has no keywords, so it fails there, past the lock).
    auto creator = std::make_unique<RunningCopyLock>(station.creatorLock);
    QTimer::singleShot(0, [&] { creator.reset(); });
    CapturedConsole create;
    create.retry = 1ms;
    EXPECT_EQ(create.Run({"create-playlists", "--yes", "--wait"}, station), kExitFailure);
    EXPECT_TRUE(create.errText.startsWith("sonavel: Sonavel Creator is running (" +
                                          station.creatorLock +
                                          "); the playlists are written once it has closed.\n"
                                          "sonavel: no settings yet; writing the defaults"))
        << create.errText.toStdString();

    // The Player holds the station; a stop while air waits ends it cleanly
    // with nothing played.
    RunningCopyLock player(playerLock);
    QTimer::singleShot(0, [] { std::raise(SIGTERM); });
    CapturedConsole air;
    air.retry = 1ms;
    air.playerLock = playerLock;
    EXPECT_EQ(air.Run({"air", "--wait"}, station), kExitSuccess);
    EXPECT_EQ(air.errText, "sonavel: Sonavel Player is running (" + playerLock +
                               "); going on air once it has ended.\n");
    EXPECT_TRUE(air.outText.isEmpty());
    // Without --wait, refused at once as before.
    CapturedConsole refused;
    refused.playerLock = playerLock;
    EXPECT_EQ(refused.Run({"air"}, station), kExitFailure);
    EXPECT_TRUE(refused.errText.contains("already running"));
}

}  // namespace
