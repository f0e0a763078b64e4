#include "app/StudioInstance.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QSysInfo>
#include <QProcess>

#include <gtest/gtest.h>

namespace {

class StudioInstanceTest : public SandboxTest { };

} // namespace

TEST_F(StudioInstanceTest, aSecondCopyKnocksAndLeavesAndTheFirstComesForward)
{
    StudioInstance first(path(QStringLiteral("config")));
    ASSERT_TRUE(first.claim());
    int knocks = 0;
    QObject::connect(&first, &StudioInstance::knocked, [&knocks] { ++knocks; });

    StudioInstance second(path(QStringLiteral("config")));
    EXPECT_FALSE(second.claim());
    EXPECT_TRUE(TestEnvironment::waitUntil([&] { return knocks == 1; }, 3000));
    EXPECT_TRUE(readLog().contains(QStringLiteral("another studio is running")));

    // Another studio folder is another studio.
    StudioInstance elsewhere(path(QStringLiteral("other")));
    EXPECT_TRUE(elsewhere.claim());
}

TEST_F(StudioInstanceTest, theLockOfAKilledCopyIsTakenOver)
{
    // A lock file naming a process that has ended, on this machine, as a killed studio leaves it.
    QProcess gone;
    gone.start(QStringLiteral("true"), {});
    ASSERT_TRUE(gone.waitForStarted());
    const qint64 pid = gone.processId();
    ASSERT_TRUE(gone.waitForFinished());
    QDir().mkpath(path(QStringLiteral("config")));
    QFile lock(path(QStringLiteral("config/studio.lock")));
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    lock.write(QByteArray::number(pid) + "\nolvennar\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    lock.close();

    StudioInstance studio(path(QStringLiteral("config")));
    EXPECT_TRUE(studio.claim());
}
