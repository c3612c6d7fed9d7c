#pragma once

#include <QObject>
#include <deque>
#include <functional>
#include <mutex>

namespace sonavel {

// Hands work from the engine's, the decoders' and the stream's threads to the
// thread a Mailbox lives in (the one that writes the logs and owns the
// windows), in the order it was posted and in turn with everything else that
// thread's event loop serves.
//
// A queued lambda would do the same, but what it captures would be written by
// one thread and read by another behind Qt's own locks, which the thread
// sanitizer cannot see: every such hand-over looks like a race, and a real
// race among them would be lost in the noise. Here what is handed over
// crosses a standard mutex, and Qt's event carries no data of ours.
class Mailbox : public QObject {
    Q_OBJECT

  public:
    explicit Mailbox(QObject* parent = nullptr);

    // Runs the work later on the mailbox's thread, even when posted from it.
    void Post(std::function<void()> work);
    // Runs the work at once when called on the mailbox's thread; otherwise
    // as Post.
    void PostOrCall(std::function<void()> work);

  private:
    Q_INVOKABLE void DeliverOne();

    std::mutex m_mutex;
    std::deque<std::function<void()>> m_queue;
};

}  // namespace sonavel
