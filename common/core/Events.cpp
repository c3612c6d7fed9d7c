#include "Events.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <atomic>

namespace sonavel {

void DoEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

namespace {
// Only the thread that waits sets and reads it; atomic so that a signal
// handler could too.
std::atomic<bool> g_abandoned{false};
}  // namespace

void AbandonWaits() {
    g_abandoned.store(true);
}

void ResumeWaits() {
    g_abandoned.store(false);
}

bool WaitsAbandoned() {
    return g_abandoned.load();
}

bool WaitUntil(const std::function<bool()>& condition, int maxPasses) {
    for (int pass = 0; pass < maxPasses; ++pass) {
        if (condition()) return true;
        if (g_abandoned.load(std::memory_order_relaxed)) break;
        QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
        const bool served = dispatcher && dispatcher->processEvents(QEventLoop::AllEvents);
        if (!served) QThread::usleep(1000);
    }
    return condition();
}

}  // namespace sonavel
