#pragma once

#include <QSocketNotifier>
#include <csignal>
#include <functional>
#include <memory>

namespace sonavel {

// SIGINT, SIGTERM and SIGHUP (the terminal closed) end a program through its
// event loop, so the ending is the same clean one as any other: the program
// log says so, the element on air is accounted for and the air check is
// closed. The signal is seen by every event-serving pass, waits nested in a
// switch included. One watch at a time; the signals' earlier handling comes
// back when it goes.
class SignalWatch {
  public:
    // Catches the signals from now on, before anything else of the program
    // runs: one that comes before a watch exists is kept and acted on as soon
    // as a watch is made, instead of killing the program half-started (with
    // a recording that has no valid header, or a lock never released).
    static void CatchEarly();
    // Whether a signal has come since the signals were caught.
    static bool Received();

    explicit SignalWatch(std::function<void()> onSignal);
    ~SignalWatch();
    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;

  private:
    std::unique_ptr<QSocketNotifier> m_notifier;
};

}  // namespace sonavel
