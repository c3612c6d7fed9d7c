#include "Mailbox.h"

#include <QThread>
#include <utility>

namespace sonavel {

Mailbox::Mailbox(QObject* parent) : QObject(parent) {}

void Mailbox::Post(std::function<void()> work) {
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(work));
    }
    // One event per piece of work, each taking the oldest: the work keeps its
    // place among the other events posted to the thread meanwhile.
    QMetaObject::invokeMethod(this, "DeliverOne", Qt::QueuedConnection);
}

void Mailbox::PostOrCall(std::function<void()> work) {
    if (QThread::currentThread() == thread()) {
        work();
        return;
    }
    Post(std::move(work));
}

void Mailbox::DeliverOne() {
    std::function<void()> work;
    {
        std::lock_guard lock(m_mutex);
        if (m_queue.empty()) return;
        work = std::move(m_queue.front());
        m_queue.pop_front();
    }
    work();
}

}  // namespace sonavel
