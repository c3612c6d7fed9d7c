#include "SignalWatch.h"

#include <fcntl.h>
#include <unistd.h>
#include <algorithm>
#include <array>
#include <vector>

namespace sonavel {

namespace {

constexpr std::array<int, 3> kSignals{SIGINT, SIGTERM, SIGHUP};

int g_signalPipe[2] = {-1, -1};
bool g_caught = false;
std::array<struct sigaction, kSignals.size()> g_earlier{};
volatile std::sig_atomic_t g_received = 0;
// Watches nest (a wait for the lock inside a run's own watch): only the
// newest one hears a signal, and the one before it hears again once it goes.
std::vector<SignalWatch*> g_watches;

void OnSignal(int) {
    g_received = 1;
    const char byte = 1;
    // Only async-signal-safe work here: the event loop reads the pipe.
    [[maybe_unused]] const ssize_t written = write(g_signalPipe[1], &byte, 1);
}

void Release() {
    if (!g_caught) return;
    for (std::size_t k = 0; k < kSignals.size(); ++k)
        sigaction(kSignals[k], &g_earlier[k], nullptr);
    for (int& fd : g_signalPipe) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
    g_caught = false;
}

}  // namespace

void SignalWatch::CatchEarly() {
    if (g_caught) return;
    if (pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    g_caught = true;
    g_received = 0;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (std::size_t k = 0; k < kSignals.size(); ++k)
        sigaction(kSignals[k], &action, &g_earlier[k]);
}

bool SignalWatch::Received() {
    return g_received != 0;
}

SignalWatch::SignalWatch(std::function<void()> onSignal) {
    CatchEarly();
    if (!g_caught) return;
    if (!g_watches.empty() && g_watches.back()->m_notifier)
        g_watches.back()->m_notifier->setEnabled(false);
    g_watches.push_back(this);
    m_notifier = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated,
                     [onSignal = std::move(onSignal)] {
                         char byte = 0;
                         while (read(g_signalPipe[0], &byte, 1) > 0) {
                         }
                         onSignal();
                     });
}

SignalWatch::~SignalWatch() {
    m_notifier.reset();
    g_watches.erase(std::remove(g_watches.begin(), g_watches.end(), this), g_watches.end());
    if (g_watches.empty()) {
        Release();
    } else if (g_watches.back()->m_notifier) {
        g_watches.back()->m_notifier->setEnabled(true);
    }
}

}  // namespace sonavel
