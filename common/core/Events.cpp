#include "Events.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

namespace sonavel {

void DoEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

bool WaitUntil(const std::function<bool()>& condition, int maxPasses) {
    for (int pass = 0; pass < maxPasses; ++pass) {
        if (condition()) return true;
        QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
        const bool served = dispatcher && dispatcher->processEvents(QEventLoop::AllEvents);
        if (!served) QThread::usleep(1000);
    }
    return condition();
}

}  // namespace sonavel
