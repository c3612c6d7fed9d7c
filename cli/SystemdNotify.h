#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

class QTimer;

namespace sonavel {

// The service manager's notification protocol: datagrams of NAME=value lines
// sent to the socket NOTIFY_SOCKET names. A program not started by systemd
// has no such socket, and every call does nothing.
class SystemdNotify {
  public:
    // Inactive.
    SystemdNotify() = default;
    // socketPath as NOTIFY_SOCKET gives it: a file, or an abstract name after '@'.
    // watchdog: the interval the manager expects WATCHDOG=1 within; zero for none.
    SystemdNotify(const QByteArray& socketPath, std::chrono::microseconds watchdog);
    ~SystemdNotify();
    SystemdNotify(const SystemdNotify&) = delete;
    SystemdNotify& operator=(const SystemdNotify&) = delete;
    SystemdNotify(SystemdNotify&& other) noexcept;
    SystemdNotify& operator=(SystemdNotify&& other) noexcept;

    // From NOTIFY_SOCKET, WATCHDOG_USEC and WATCHDOG_PID: the watchdog only
    // when it is meant for this process.
    static SystemdNotify FromEnvironment();

    bool Active() const { return m_socket >= 0; }
    std::chrono::microseconds Watchdog() const { return m_watchdog; }
    // One datagram of lines ("READY=1\nSTATUS=On air"). False when it could
    // not be sent; the manager then simply hears nothing.
    bool Send(const QByteArray& state) const;

  private:
    int m_socket = -1;
    QByteArray m_address;  // sockaddr_un, as long as it needs to be
    std::chrono::microseconds m_watchdog{0};
};

// What 'sonavel air' tells the service manager: ready once the first element
// sounds, a watchdog ping only while the output's frame counter moves, so an
// engine that hangs is restarted, and the element on air as the status.
// Until it is ready, the start is extended for as long as the run is alive,
// so a wait for Sonavel Player or for the hour's playlist is not a failure.
class AirSupervision {
  public:
    explicit AirSupervision(SystemdNotify notify);
    ~AirSupervision();

    // How often Heartbeat runs: half the watchdog's interval, or every five
    // seconds without one.
    std::chrono::milliseconds HeartbeatPeriod() const;
    // The run is on its way: frame is the output's frame counter, elementOnAir
    // what the Player's status bar would name. Polls and heartbeats run from
    // here on, off timers when startTimers is set (tests call them themselves).
    void Watch(std::function<std::int64_t()> frame, std::function<QString()> elementOnAir,
               bool startTimers = true);

    // The station is held elsewhere; the status says so and the start is
    // extended past the next try, due after retry.
    void Waiting(const QString& status, std::chrono::milliseconds retry);
    // READY when the first element sounds; the status when the element on air changes.
    void Poll();
    // Before READY, the start extended; after it, WATCHDOG=1 when the output
    // has moved since the last heartbeat.
    void Heartbeat();
    // The run is ending; nothing is polled after it.
    void Stopping();

    bool Ready() const { return m_ready; }

  private:
    void Status(const QString& status, const QByteArray& more = {});
    QByteArray Extension(std::chrono::milliseconds period) const;

    SystemdNotify m_notify;
    std::function<std::int64_t()> m_frame;
    std::function<QString()> m_elementOnAir;
    bool m_ready = false;
    QString m_status;
    std::int64_t m_lastFrame = -1;
    std::unique_ptr<QTimer> m_pollTimer;
    std::unique_ptr<QTimer> m_heartbeatTimer;
};

}  // namespace sonavel
