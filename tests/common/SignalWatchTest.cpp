#include "SignalWatch.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <csignal>

using namespace sonavel;

namespace {

// Serves events until the pipe's byte has been read; bounded by passes, not time.
void ServeEvents() {
    for (int pass = 0; pass < 50; ++pass)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace

// A wait for the lock runs its own watch inside a run's: the signal must end
// the wait, and once the wait is over the run must still hear the next one.
// A signal that comes before any watch exists is kept for the first one.
TEST(SignalWatchTest, NestedWatchesHearInTurnAndEarlySignalsAreKept) {
    SignalWatch::CatchEarly();
    ASSERT_EQ(raise(SIGHUP), 0);  // no watch yet: the program must live on
    int outer = 0;
    SignalWatch run([&outer] { ++outer; });
    ServeEvents();
    EXPECT_EQ(outer, 1);

    {
        int inner = 0;
        SignalWatch wait([&inner] { ++inner; });
        ASSERT_EQ(raise(SIGTERM), 0);
        ServeEvents();
        EXPECT_EQ(inner, 1);
        EXPECT_EQ(outer, 1);
    }
    ASSERT_EQ(raise(SIGINT), 0);
    ServeEvents();
    EXPECT_EQ(outer, 2);
    EXPECT_TRUE(SignalWatch::Received());
}
