#include "support/MovieProbe.h"
#include "support/StudioHome.h"
#include "support/TestEnvironment.h"
#include "support/XvfbServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <csignal>

namespace {

// The real studio in a home of its own, on an X server of its own (its hot keys are grabbed there, so no
// other test's keys reach it), recording the test PulseAudio's default microphone.
class LaunchedStudio : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            GTEST_SKIP() << "needs xdotool";
        if (qEnvironmentVariableIsEmpty("PULSE_RUNTIME_PATH"))
            GTEST_SKIP() << "needs the test PulseAudio server";
        display = XvfbServer::start(1280, 720);
        if (!display)
            GTEST_SKIP() << "needs Xvfb";
        environment = StudioHome::make(folder->path());
        environment.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:") + qEnvironmentVariable("PULSE_RUNTIME_PATH") + QStringLiteral("/native"));
        environment.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(display->displayName()));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    }
    void TearDown() override
    {
        for (const auto& studio : studios) {
            if (studio->state() != QProcess::NotRunning) {
                studio->kill();
                studio->waitForFinished(5000);
            }
        }
        studios.clear();
        display.reset();
        SandboxTest::TearDown();
    }

    QProcess& launch()
    {
        studios.push_back(StudioHome::launch(QStringLiteral(OLVENNAR_APP), environment));
        return *studios.back();
    }

    QString studioLog() const
    {
        QFile log(path(QStringLiteral("home/.local/state/Olvennar/Olvennar.log")));
        return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
    }
    QString lockHolder() const
    {
        QFile lock(path(QStringLiteral("home/.config/Olvennar/studio.lock")));
        return lock.open(QIODevice::ReadOnly) ? QString::fromUtf8(lock.readLine().trimmed()) : QString();
    }
    QString takeFolder() const { return path(QStringLiteral("home/Videos/Olvennar/video 1")); }
    QStringList hiddenInTake() const
    {
        return QDir(takeFolder()).entryList({QStringLiteral(".*")}, QDir::Files | QDir::Hidden);
    }
    bool renderUnderWay() const { return !QDir(takeFolder()).entryList({QStringLiteral(".mixdown-*")}, QDir::Files | QDir::Hidden).isEmpty(); }

    QString xdotool(const QStringList& arguments) const
    {
        QProcess tool;
        QProcessEnvironment onDisplay = QProcessEnvironment::systemEnvironment();
        onDisplay.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(display->displayName()));
        tool.setProcessEnvironment(onDisplay);
        tool.start(QStringLiteral("xdotool"), arguments);
        tool.waitForFinished(10000);
        return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
    }
    QStringList visibleWindows(const QProcess& studio) const
    {
        return xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"), QString::number(studio.processId())})
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    // Launches the studio, films a four-second screen take with Ctrl+R and stops it the same way.
    QProcess& filmATake()
    {
        QProcess& studio = launch();
        EXPECT_TRUE(studio.waitForStarted(10000));
        EXPECT_TRUE(TestEnvironment::waitUntil([&] { return lockHolder() == QString::number(studio.processId()) && visibleWindows(studio).size() == 1; }, 60000));
        xdotool({QStringLiteral("key"), QStringLiteral("ctrl+r")});
        EXPECT_TRUE(TestEnvironment::waitUntil([&] { return studioLog().contains(QStringLiteral("capture started")); }, 30000));
        TestEnvironment::waitUntil([] { return false; }, 4000);
        xdotool({QStringLiteral("key"), QStringLiteral("ctrl+r")});
        EXPECT_TRUE(TestEnvironment::waitUntil([&] { return QFileInfo::exists(takeFolder() + QStringLiteral("/.final.pending")); }, 30000));
        return studio;
    }

    // Asks to quit while the take is finishing; the alert comes up over the main window.
    void askToQuit(QProcess& studio)
    {
        const QStringList windows = visibleWindows(studio);
        ASSERT_EQ(windows.size(), 1);
        xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), windows.front()});
        xdotool({QStringLiteral("key"), QStringLiteral("ctrl+q")});
        ASSERT_TRUE(TestEnvironment::waitUntil([&] { return visibleWindows(studio).size() == 2; }, 10000)) << "the quit alert";
    }

    std::unique_ptr<XvfbServer> display;
    QProcessEnvironment environment;
    std::vector<std::unique_ptr<QProcess>> studios;
};

TEST_F(LaunchedStudio, QuitAnywayWhileARenderRunsEndsAtOnceWritingNoFinalAndLeavingNothingToResume)
{
    QProcess& studio = filmATake();
    askToQuit(studio);
    // The render starts under the alert once the recording break has passed.
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return renderUnderWay(); }, 60000));
    xdotool({QStringLiteral("key"), QStringLiteral("Tab")}); // from "Keep open" to "Quit anyway"
    QElapsedTimer quitting;
    quitting.start();
    xdotool({QStringLiteral("key"), QStringLiteral("space")});
    ASSERT_TRUE(studio.waitForFinished(2000)) << "still running 2 s after \"Quit anyway\"";
    EXPECT_LT(quitting.elapsed(), 2000);
    EXPECT_EQ(studio.exitStatus(), QProcess::NormalExit);

    EXPECT_FALSE(QFileInfo::exists(takeFolder() + QStringLiteral("/final.mov")));
    EXPECT_TRUE(hiddenInTake().isEmpty()) << hiddenInTake().join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(QFileInfo::exists(takeFolder() + QStringLiteral("/raw.mov"))) << "the raw files stay";
    EXPECT_EQ(studioLog().count(QStringLiteral("quit: gave up finishing video 1")), 1);

    // The next launch finishes nothing again.
    QProcess& next = launch();
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return lockHolder() == QString::number(next.processId()); }, 60000));
    TestEnvironment::waitUntil([] { return false; }, 8000); // past a recording break
    EXPECT_FALSE(studioLog().contains(QStringLiteral("recovery: finishing")));
    EXPECT_FALSE(QFileInfo::exists(takeFolder() + QStringLiteral("/final.mov")));
}

TEST_F(LaunchedStudio, ALaunchDuringAQuitStartsNoSecondStudio)
{
    QProcess& studio = filmATake();
    askToQuit(studio);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return renderUnderWay(); }, 60000));
    xdotool({QStringLiteral("key"), QStringLiteral("Tab")});
    xdotool({QStringLiteral("key"), QStringLiteral("space")});
    QProcess& second = launch();
    ASSERT_TRUE(second.waitForStarted(10000));
    ASSERT_TRUE(studio.waitForFinished(2000));

    // Either the second launch found the quitting studio and ended, or it started once the first had gone.
    if (second.waitForFinished(3000)) {
        EXPECT_EQ(second.exitCode(), 0);
        EXPECT_TRUE(studioLog().contains(QStringLiteral("another studio is running")));
        return;
    }
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return lockHolder() == QString::number(second.processId()); }, 60000));
    TestEnvironment::waitUntil([] { return false; }, 8000);
    const QString log = studioLog();
    EXPECT_FALSE(log.contains(QStringLiteral("recovery: removed the unfinished render")));
    EXPECT_FALSE(log.contains(QStringLiteral("recovery: finishing")));
    EXPECT_FALSE(log.contains(QStringLiteral(" unavailable: "))) << "every hot key is the new studio's";
    EXPECT_FALSE(QFileInfo::exists(takeFolder() + QStringLiteral("/final.mov")));
}

TEST_F(LaunchedStudio, AStudioKilledWhileARenderRunsResumesTheRenderAtTheNextLaunch)
{
    QProcess& studio = filmATake();
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return renderUnderWay(); }, 60000));
    ::kill(static_cast<pid_t>(studio.processId()), SIGKILL);
    ASSERT_TRUE(studio.waitForFinished(10000));

    launch();
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return QFileInfo::exists(takeFolder() + QStringLiteral("/final.mov")); }, 180000));
    EXPECT_TRUE(studioLog().contains(QStringLiteral("recovery: finishing ") + takeFolder() + QStringLiteral("/final.mov again")));
    const QJsonObject probe = MovieProbe::streams(takeFolder() + QStringLiteral("/final.mov"));
    EXPECT_EQ(MovieProbe::streamsOfType(probe, QStringLiteral("video")).size(), 1);
    EXPECT_EQ(MovieProbe::streamsOfType(probe, QStringLiteral("audio")).size(), 1);
    EXPECT_TRUE(TestEnvironment::waitUntil([&] { return hiddenInTake().isEmpty(); }, 10000)) << hiddenInTake().join(QLatin1Char(' ')).toStdString();
}

} // namespace
