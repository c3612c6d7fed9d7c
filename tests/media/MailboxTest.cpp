#include "Events.h"
#include "Mailbox.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QStringList>
#include <atomic>
#include <memory>
#include <thread>

using namespace sonavel;

namespace {

// The decoders and the engine's service thread hand their news over while
// they go on working; the receiving thread reads it with no other meeting
// point than the mailbox (under the thread sanitizer, a hand-over it cannot
// see is reported here).
TEST(MailboxTest, WorkPostedByABusyThreadArrivesWholeAndInOrder) {
    Mailbox mailbox;
    QStringList received;
    std::atomic<bool> stop{false};
    std::thread worker([&] {
        for (int n = 0; !stop.load(std::memory_order_relaxed); ++n) {
            QString text = QStringLiteral("report %1 from the decoder").arg(n);
            mailbox.Post([&received, text] { received << text; });
            std::this_thread::yield();
        }
    });
    while (received.size() < 200)
        DoEvents();
    stop = true;
    worker.join();
    DoEvents();
    ASSERT_GE(received.size(), 200);
    for (int n = 0; n < received.size(); ++n)
        ASSERT_EQ(received[n], QStringLiteral("report %1 from the decoder").arg(n));
}

TEST(MailboxTest, KeepsItsPlaceAmongTheThreadsEventsAndDropsWorkNotYetDue) {
    QStringList order;
    QObject context;
    auto mailbox = std::make_unique<Mailbox>();
    mailbox->Post([&] { order << QStringLiteral("first"); });
    QMetaObject::invokeMethod(
        &context, [&] { order << QStringLiteral("an event between"); }, Qt::QueuedConnection);
    mailbox->Post([&] { order << QStringLiteral("last"); });
    mailbox->PostOrCall([&] { order << QStringLiteral("at once"); });
    EXPECT_EQ(order, QStringList{QStringLiteral("at once")});
    DoEvents();
    EXPECT_EQ(order, (QStringList{QStringLiteral("at once"), QStringLiteral("first"),
                                  QStringLiteral("an event between"), QStringLiteral("last")}));

    // From another thread PostOrCall waits its turn too.
    std::thread([&] { mailbox->PostOrCall([&] { order << QStringLiteral("from away"); }); }).join();
    EXPECT_EQ(order.size(), 4);
    DoEvents();
    EXPECT_EQ(order.last(), QStringLiteral("from away"));

    // A mailbox that goes (a player deleted) takes what it still held with it.
    mailbox->Post([&] { order << QStringLiteral("never"); });
    mailbox.reset();
    DoEvents();
    EXPECT_FALSE(order.contains(QStringLiteral("never")));
}

}  // namespace
