#include "Events.h"
#include "Paths.h"
#include "QtPrinters.h"
#include "RunningCopy.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>

#include <unistd.h>

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

// Sets an environment variable for one scope and puts the old value back.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const QByteArray& value, bool set = true)
        : m_name(name), m_wasSet(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name)) {
        if (set) {
            qputenv(name, value);
        } else {
            qunsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (m_wasSet) {
            qputenv(m_name, m_old);
        } else {
            qunsetenv(m_name);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    const char* m_name;
    bool m_wasSet;
    QByteArray m_old;
};

TEST(PlatformTest, HelpPagesAreFoundInstalledAndInTheBuildTree) {
    QTemporaryDir dir;
    const QDir root(dir.path());
    root.mkpath("usr/bin");
    root.mkpath("usr/share/sonavel/help");
    root.mkpath("src/build/player");
    root.mkpath("src/docs/help");
    root.mkpath("elsewhere/bin");
    for (const char* page : {"usr/share/sonavel/help/index.html", "src/docs/help/index.html"}) {
        QFile file(root.filePath(page));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    const auto canonical = [&](const char* path) {
        return QFileInfo(root.filePath(path)).canonicalFilePath();
    };
    EXPECT_EQ(HelpIndexPath(root.filePath("usr/bin")),
              canonical("usr/share/sonavel/help/index.html"));
    EXPECT_EQ(HelpIndexPath(root.filePath("src/build/player")),
              canonical("src/docs/help/index.html"));
    EXPECT_EQ(HelpIndexPath(root.filePath("elsewhere/bin")), QString());
}

TEST(PlatformTest, AMissingRuntimeFolderIsMadePrivateAndAGivenOneIsKept) {
    QTemporaryDir tmp;
    const ScopedEnv tmpdir("TMPDIR", QFile::encodeName(tmp.path()));
    const QString folder = tmp.filePath(QStringLiteral("sonavel-runtime-%1").arg(getuid()));
    const auto permissions = [&] { return QFileInfo(folder).permissions() & 0x7077; };
    const QFileDevice::Permissions ownerOnly =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
    {
        const ScopedEnv runtime("XDG_RUNTIME_DIR", {}, false);
        EnsureRuntimeFolder();
        EXPECT_EQ(qEnvironmentVariable("XDG_RUNTIME_DIR"), folder);
        EXPECT_EQ(permissions(), ownerOnly);
        // QStandardPaths takes it as it is, so Qt has nothing to warn about.
        EXPECT_EQ(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation), folder);
    }
    {
        // Left open to others since the last start: closed again.
        QFile::setPermissions(folder, ownerOnly | QFileDevice::ReadOther | QFileDevice::ExeOther);
        const ScopedEnv runtime("XDG_RUNTIME_DIR", {}, false);
        EnsureRuntimeFolder();
        EXPECT_EQ(qEnvironmentVariable("XDG_RUNTIME_DIR"), folder);
        EXPECT_EQ(permissions(), ownerOnly);
    }
    {
        // A link planted under the name is not followed.
        ASSERT_TRUE(QDir(folder).removeRecursively());
        ASSERT_TRUE(QFile::link(tmp.path(), folder));
        const ScopedEnv runtime("XDG_RUNTIME_DIR", {}, false);
        EnsureRuntimeFolder();
        EXPECT_FALSE(qEnvironmentVariableIsSet("XDG_RUNTIME_DIR"));
    }
    {
        const ScopedEnv runtime("XDG_RUNTIME_DIR", "/run/user/4242");
        EnsureRuntimeFolder();
        EXPECT_EQ(qgetenv("XDG_RUNTIME_DIR"), "/run/user/4242");
    }
}

}  // namespace
