#include "Events.h"
#include "QtPrinters.h"
#include "RunningCopy.h"

#include <gtest/gtest.h>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>

using namespace sonavel;

namespace {

TEST(PlatformTest, WaitServesEventsAndKeepsItsBound) {
    // The condition becomes true only through an event: a wait that did not
    // serve the queue would never see it.
    bool fired = false;
    QTimer::singleShot(0, [&] { fired = true; });
    EXPECT_TRUE(WaitUntil([&] { return fired; }));

    int polls = 0;
    EXPECT_FALSE(WaitUntil(
        [&] {
            ++polls;
            return false;
        },
        25));
    EXPECT_EQ(polls, 26);  // one look per pass and a last one after the bound
}

TEST(PlatformTest, OneRunningCopyPerLock) {
    QTemporaryDir dir;
    const QString path = dir.filePath("run/sonavel-player.lock");
    auto first = std::make_unique<RunningCopyLock>(path);
    EXPECT_FALSE(first->AlreadyRunning());
    EXPECT_TRUE(RunningCopyLock(path).AlreadyRunning());
    EXPECT_FALSE(RunningCopyLock(dir.filePath("run/sonavel-creator.lock")).AlreadyRunning());
    first.reset();
    EXPECT_FALSE(RunningCopyLock(path).AlreadyRunning()) << "a program that ended frees its lock";
}

}  // namespace
