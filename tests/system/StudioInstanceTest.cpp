#include "app/StudioInstance.h"
#include "support/StudioHome.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSysInfo>

#include <gtest/gtest.h>

#include <csignal>

namespace {

class StudioInstanceTest : public SandboxTest {
protected:
    // A second copy of the studio in "config" is turned away, and `first` hears it knock once.
    void expectASecondCopyKnocks(StudioInstance& first)
    {
        QObject listening;
        int knocks = 0;
        QObject::connect(&first, &StudioInstance::knocked, &listening, [&knocks] { ++knocks; });
        StudioInstance second(path(QStringLiteral("config")));
        EXPECT_FALSE(second.claim());
        EXPECT_TRUE(TestEnvironment::waitUntil([&] { return knocks == 1; }, 3000));
    }
};

// XDG_RUNTIME_DIR set (or unset, for an empty value) while it lives; the process's own value comes back after.
class RuntimeFolder {
public:
    explicit RuntimeFolder(const QByteArray& value) : had_(qEnvironmentVariableIsSet(name)), saved_(qgetenv(name))
    {
        if (value.isEmpty())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~RuntimeFolder()
    {
        if (had_)
            qputenv(name, saved_);
        else
            qunsetenv(name);
    }

private:
    static constexpr const char* name = "XDG_RUNTIME_DIR";
    bool had_;
    QByteArray saved_;
};

// The real app in a home of its own, drawing offscreen, with its runtime and temporary folders in the sandbox.
class LaunchedStudioTest : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        environment = StudioHome::make(folder->path());
        // Offscreen: no hot keys grabbed and no window on a display another test uses.
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    }

    QString configFolder() const { return path(QStringLiteral("home/.config/Olvennar")); }

    std::unique_ptr<QProcess> launch() { return StudioHome::launch(QStringLiteral(OLVENNAR_APP), environment); }

    // The studio is up once its lock names it.
    bool holdsTheLock(const QProcess& studio) const
    {
        QFile lock(QDir(configFolder()).filePath(QStringLiteral("studio.lock")));
        if (!lock.open(QIODevice::ReadOnly))
            return false;
        return lock.readLine().trimmed() == QByteArray::number(studio.processId());
    }

    // A later launch (this process, as a copy of the studio) is told another one runs and hears it answer.
    bool answersAKnock()
    {
        const QString answered = QStringLiteral("another studio is running; it was brought forward");
        const qsizetype before = readLog().count(answered);
        const RuntimeFolder runtime(QFile::encodeName(path(QStringLiteral("run"))));
        StudioInstance later(configFolder());
        const bool claimed = later.claim();
        return !claimed && readLog().count(answered) > before;
    }

    QProcessEnvironment environment;
};

} // namespace

TEST_F(StudioInstanceTest, aSecondCopyKnocksAndLeavesAndTheFirstComesForward)
{
    StudioInstance first(path(QStringLiteral("config")));
    ASSERT_TRUE(first.claim());
    expectASecondCopyKnocks(first);
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

TEST_F(StudioInstanceTest, theSocketLivesInTheRuntimeFolderElseInTheAbstractNamespace)
{
    QDir().mkpath(path(QStringLiteral("run")));
    {
        const RuntimeFolder runtime(QFile::encodeName(path(QStringLiteral("run"))));
        StudioInstance studio(path(QStringLiteral("config")));
        EXPECT_EQ(QFileInfo(studio.socketName()).absolutePath(), path(QStringLiteral("run")));
        ASSERT_TRUE(studio.claim());
        EXPECT_TRUE(QFileInfo::exists(studio.socketName()));
    }
    for (const QByteArray& runtime : {QByteArray(), QFile::encodeName(path(QStringLiteral("missing")))}) {
        SCOPED_TRACE(runtime.toStdString());
        const RuntimeFolder set(runtime);
        StudioInstance first(path(QStringLiteral("config")));
        EXPECT_FALSE(first.socketName().contains(QLatin1Char('/')));
        ASSERT_TRUE(first.claim());
        expectASecondCopyKnocks(first);
        EXPECT_FALSE(QFileInfo::exists(QDir::tempPath() + QLatin1Char('/') + first.socketName()));
    }
}

TEST_F(LaunchedStudioTest, aStudioEndedBySigtermOrSigkillLeavesNothingInTmpAndTheNextLaunchStarts)
{
    std::unique_ptr<QProcess> studio = launch();
    ASSERT_TRUE(studio->waitForStarted(10000));
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return holdsTheLock(*studio); }, 60000));
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return answersAKnock(); }, 30000));
    for (const int signal : {SIGTERM, SIGKILL}) {
        SCOPED_TRACE(signal);
        ::kill(static_cast<pid_t>(studio->processId()), signal);
        ASSERT_TRUE(studio->waitForFinished(10000));
        // A SIGTERM is answered: the studio ends as a quit does.
        EXPECT_EQ(studio->exitStatus(), signal == SIGTERM ? QProcess::NormalExit : QProcess::CrashExit);
        EXPECT_TRUE(QDir(path(QStringLiteral("tmp"))).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System))
            << "nothing in the temporary folder";
        const QString socket = QFileInfo(StudioInstance(configFolder()).socketName()).fileName();
        EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/tmp/") + socket));

        // The next launch takes the stale lock over and answers a later one.
        studio = launch();
        ASSERT_TRUE(studio->waitForStarted(10000));
        ASSERT_TRUE(TestEnvironment::waitUntil([&] { return holdsTheLock(*studio); }, 60000));
        EXPECT_EQ(studio->state(), QProcess::Running);
        EXPECT_TRUE(TestEnvironment::waitUntil([&] { return answersAKnock(); }, 30000));
    }
    ::kill(static_cast<pid_t>(studio->processId()), SIGTERM);
    studio->waitForFinished(10000);
}
