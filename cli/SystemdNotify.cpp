#include "SystemdNotify.h"

#include <QTimer>
#include <algorithm>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <cstddef>
#include <cstring>
#include <utility>

namespace sonavel {

namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;

constexpr milliseconds kPollPeriod{250};
constexpr milliseconds kHeartbeatWithoutWatchdog{5000};
// The start is extended by this many heartbeats (or tries of the lock): one
// late, as on a busy machine, is not taken for a hang.
constexpr int kExtensionHeartbeats = 3;

}  // namespace

SystemdNotify::SystemdNotify(const QByteArray& socketPath, microseconds watchdog)
    : m_watchdog(watchdog) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    QByteArray path = socketPath;
    const bool abstract = path.startsWith('@');
    if (abstract) path[0] = '\0';
    // Only the two forms the manager hands to a service; anything else is
    // not a socket it listens on.
    if (!(abstract || path.startsWith('/')) ||
        static_cast<std::size_t>(path.size()) >= sizeof(address.sun_path)) {
        return;
    }
    std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
    // A file's name ends with its NUL; an abstract name is exactly its bytes.
    const std::size_t length = offsetof(sockaddr_un, sun_path) +
                               static_cast<std::size_t>(path.size()) + (abstract ? 0 : 1);
    m_address = QByteArray(reinterpret_cast<const char*>(&address), static_cast<qsizetype>(length));
    m_socket = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
}

SystemdNotify::~SystemdNotify() {
    if (m_socket >= 0) ::close(m_socket);
}

SystemdNotify::SystemdNotify(SystemdNotify&& other) noexcept
    : m_socket(std::exchange(other.m_socket, -1)),
      m_address(std::move(other.m_address)),
      m_watchdog(other.m_watchdog) {}

SystemdNotify& SystemdNotify::operator=(SystemdNotify&& other) noexcept {
    if (this != &other) {
        if (m_socket >= 0) ::close(m_socket);
        m_socket = std::exchange(other.m_socket, -1);
        m_address = std::move(other.m_address);
        m_watchdog = other.m_watchdog;
    }
    return *this;
}

SystemdNotify SystemdNotify::FromEnvironment() {
    const QByteArray socketPath = qgetenv("NOTIFY_SOCKET");
    if (socketPath.isEmpty()) return {};
    bool ok = false;
    const qulonglong usec = qEnvironmentVariable("WATCHDOG_USEC").toULongLong(&ok);
    // The watchdog set for a parent that started this program is not its own.
    const QByteArray pid = qgetenv("WATCHDOG_PID");
    const bool mine = pid.isEmpty() || pid.toLongLong() == static_cast<qlonglong>(::getpid());
    return {socketPath, microseconds(ok && mine ? static_cast<std::int64_t>(usec) : 0)};
}

bool SystemdNotify::Send(const QByteArray& state) const {
    if (m_socket < 0) return false;
    const ssize_t sent =
        ::sendto(m_socket, state.constData(), static_cast<std::size_t>(state.size()), MSG_NOSIGNAL,
                 reinterpret_cast<const sockaddr*>(m_address.constData()),
                 static_cast<socklen_t>(m_address.size()));
    return sent == static_cast<ssize_t>(state.size());
}

AirSupervision::AirSupervision(SystemdNotify notify) : m_notify(std::move(notify)) {}

AirSupervision::~AirSupervision() = default;

milliseconds AirSupervision::HeartbeatPeriod() const {
    const microseconds watchdog = m_notify.Watchdog();
    if (watchdog.count() <= 0) return kHeartbeatWithoutWatchdog;
    return std::max(milliseconds(1), std::chrono::duration_cast<milliseconds>(watchdog / 2));
}

void AirSupervision::Watch(std::function<std::int64_t()> frame,
                           std::function<QString()> elementOnAir, bool startTimers) {
    m_frame = std::move(frame);
    m_elementOnAir = std::move(elementOnAir);
    if (!m_notify.Active() || !startTimers) return;
    m_pollTimer = std::make_unique<QTimer>();
    m_pollTimer->setInterval(kPollPeriod);
    QObject::connect(m_pollTimer.get(), &QTimer::timeout, [this] { Poll(); });
    m_pollTimer->start();
    m_heartbeatTimer = std::make_unique<QTimer>();
    m_heartbeatTimer->setInterval(HeartbeatPeriod());
    QObject::connect(m_heartbeatTimer.get(), &QTimer::timeout, [this] { Heartbeat(); });
    m_heartbeatTimer->start();
    Poll();
}

QByteArray AirSupervision::Extension(milliseconds period) const {
    const auto usec =
        std::chrono::duration_cast<microseconds>(period).count() * kExtensionHeartbeats;
    return "EXTEND_TIMEOUT_USEC=" + QByteArray::number(static_cast<qlonglong>(usec)) + '\n';
}

void AirSupervision::Status(const QString& status, const QByteArray& more) {
    if (status == m_status && more.isEmpty()) return;
    m_status = status;
    m_notify.Send(more + "STATUS=" + status.toUtf8());
}

void AirSupervision::Waiting(const QString& status, milliseconds retry) {
    m_status.clear();
    Status(status, Extension(std::max(retry, HeartbeatPeriod())));
}

void AirSupervision::Poll() {
    if (!m_frame) return;
    const QString element = m_elementOnAir ? m_elementOnAir() : QString();
    if (!m_ready) {
        // Sounding: an element is up and the output has played frames of it.
        const std::int64_t frame = m_frame();
        if (element.isEmpty() || frame <= 0) {
            Status(QStringLiteral("Nothing on air yet"));
            return;
        }
        m_ready = true;
        m_lastFrame = frame;
        Status(QStringLiteral("On air: ") + element, "READY=1\n");
        return;
    }
    Status(element.isEmpty() ? QStringLiteral("Nothing on air")
                             : QStringLiteral("On air: ") + element);
}

void AirSupervision::Heartbeat() {
    if (!m_frame) return;
    if (!m_ready) {
        m_notify.Send(Extension(HeartbeatPeriod()));
        return;
    }
    if (m_notify.Watchdog().count() <= 0) return;
    // A frame counter that stands still is a hung output or engine: without
    // the ping the manager restarts the run.
    const std::int64_t frame = m_frame();
    if (frame > m_lastFrame) {
        m_lastFrame = frame;
        m_notify.Send("WATCHDOG=1");
    }
}

void AirSupervision::Stopping() {
    if (m_pollTimer) m_pollTimer->stop();
    if (m_heartbeatTimer) m_heartbeatTimer->stop();
    m_frame = nullptr;
    m_elementOnAir = nullptr;
    m_notify.Send("STOPPING=1");
}

}  // namespace sonavel
