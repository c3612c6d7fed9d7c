#pragma once

#include <QSocketNotifier>
#include <csignal>
#include <functional>
#include <memory>

namespace sonavel {

// SIGINT, SIGTERM and SIGHUP (the terminal it was started from closing) end a
// program through its event loop, so the ending is the same clean one as any
// other: the program log says so and the element on air is accounted for. The signal is seen by
// every event-serving pass, waits nested in a switch included. One watch at a time; the signals'
// earlier handling comes back when it goes.
class SignalWatch {
  public:
    explicit SignalWatch(std::function<void()> onSignal);
    ~SignalWatch();
    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;

  private:
    std::unique_ptr<QSocketNotifier> m_notifier;
    struct sigaction m_oldInt {};
    struct sigaction m_oldTerm {};
    struct sigaction m_oldHup {};
};

}  // namespace sonavel
