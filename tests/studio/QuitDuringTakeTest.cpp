#include "LaunchedStudio.h"

#include "support/MovieProbe.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <csignal>

namespace {

// The studio with a screen take recording: the main window focused, so Ctrl+Q reaches it.
class TakeUnderWay : public LaunchedStudio {
protected:
    QProcess& recording()
    {
        QProcess& studio = launchShown();
        const QStringList windows = visibleWindows(studio);
        EXPECT_EQ(windows.size(), 1);
        mainWindow = windows.value(0);
        xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), mainWindow});
        xdotool({QStringLiteral("key"), QStringLiteral("ctrl+r")});
        EXPECT_TRUE(TestEnvironment::waitUntil([&] { return studioLog().contains(QStringLiteral("capture started")); }, 30000));
        filming.start();
        TestEnvironment::waitUntil([] { return false; }, 2500);
        return studio;
    }
    bool alertShown(const QProcess& studio) const
    {
        return TestEnvironment::waitUntil([&] { return visibleWindows(studio).size() == 2; }, 10000);
    }
    QString take(const QString& name) const { return takeFolder() + QLatin1Char('/') + name; }
    double rawSeconds() const
    {
        return MovieProbe::number(MovieProbe::streams(take(QStringLiteral("raw.mov")))[QStringLiteral("format")].toObject(), QStringLiteral("duration"));
    }
    // The next launch finishes the take from its note, as any render cut short.
    void nextLaunchMakesTheFinal()
    {
        launch();
        ASSERT_TRUE(TestEnvironment::waitUntil([&] { return QFileInfo::exists(take(QStringLiteral("final.mov"))); }, 180000));
        EXPECT_TRUE(studioLog().contains(QStringLiteral("recovery: finishing ") + take(QStringLiteral("final.mov")) + QStringLiteral(" again")));
        const QJsonObject probe = MovieProbe::streams(take(QStringLiteral("final.mov")));
        EXPECT_EQ(MovieProbe::streamsOfType(probe, QStringLiteral("video")).size(), 1);
        EXPECT_GT(MovieProbe::number(probe[QStringLiteral("format")].toObject(), QStringLiteral("duration")), 2.0);
    }
    // The studio ended by itself within five seconds of `since`, its take saved and noted for its render.
    void endedKeepingTheTake(QProcess& studio, const QElapsedTimer& since)
    {
        ASSERT_TRUE(studio.waitForFinished(10000));
        EXPECT_LT(since.elapsed(), 5000);
        EXPECT_EQ(studio.exitStatus(), QProcess::NormalExit);
        EXPECT_TRUE(QFileInfo::exists(take(QStringLiteral("take.json"))));
        EXPECT_TRUE(QFileInfo::exists(take(QStringLiteral(".final.pending"))));
        EXPECT_GT(rawSeconds(), 2.0);
    }

    // A logout: the login manager sends the session SIGTERM and, right behind it, SIGHUP.
    static void logOut(const QProcess& studio)
    {
        ::kill(static_cast<pid_t>(studio.processId()), SIGTERM);
        ::kill(static_cast<pid_t>(studio.processId()), SIGHUP);
    }
    // The signals after the first were taken as the same request, not as one to end at once. Sent back to back,
    // either may come first: the kernel hands the lower-numbered pending signal (SIGHUP) over first.
    void tookAsOneRequest() const
    {
        const QString log = studioLog();
        EXPECT_TRUE(log.contains(QStringLiteral("quit: SIGTERM received")) || log.contains(QStringLiteral("quit: SIGHUP received"))) << log.toStdString();
        EXPECT_TRUE(log.contains(QStringLiteral(" is the same request; the end goes on"))) << log.toStdString();
        EXPECT_FALSE(log.contains(QStringLiteral(" again; the studio ends now")));
    }

    QString mainWindow;
    QElapsedTimer filming;
};

TEST_F(TakeUnderWay, AQuitRightBehindTheStopAsksFirstAndKeepOpenLetsTheTakeBeSaved)
{
    QProcess& studio = recording();
    // Both keys in one go: the quit arrives before the stop has handed the take to its save.
    xdotool({QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("0"), QStringLiteral("ctrl+r"), QStringLiteral("ctrl+q")});
    ASSERT_TRUE(alertShown(studio)) << "the quit alert";
    xdotool({QStringLiteral("key"), QStringLiteral("Escape")}); // "Keep open"
    EXPECT_TRUE(TestEnvironment::waitUntil([&] { return QFileInfo::exists(take(QStringLiteral(".final.pending"))); }, 30000));
    EXPECT_TRUE(QFileInfo::exists(take(QStringLiteral("take.json"))));
    EXPECT_EQ(studio.state(), QProcess::Running);
}

TEST_F(TakeUnderWay, AQuitWhileRecordingAsksFirstKeepOpenGoesOnAndQuitAnywayStopsTheTakeWhole)
{
    QProcess& studio = recording();
    xdotool({QStringLiteral("key"), QStringLiteral("ctrl+q")});
    ASSERT_TRUE(alertShown(studio)) << "the quit alert";
    xdotool({QStringLiteral("key"), QStringLiteral("Escape")}); // "Keep open"
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return visibleWindows(studio).size() == 1; }, 10000));
    TestEnvironment::waitUntil([] { return false; }, 1000);
    EXPECT_FALSE(QFileInfo::exists(take(QStringLiteral("cursor.json")))) << "the take goes on recording";

    xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), mainWindow});
    xdotool({QStringLiteral("key"), QStringLiteral("ctrl+q")});
    ASSERT_TRUE(alertShown(studio)) << "the quit alert";
    const double filmed = filming.elapsed() / 1000.0;
    QElapsedTimer quitting;
    quitting.start();
    xdotool({QStringLiteral("key"), QStringLiteral("Tab"), QStringLiteral("space")}); // "Quit anyway"
    ASSERT_TRUE(studio.waitForFinished(10000));
    EXPECT_LT(quitting.elapsed(), 5000);
    EXPECT_EQ(studio.exitStatus(), QProcess::NormalExit);
    // The take was stopped the normal way: every picture up to the quit is in the raw movie.
    EXPECT_GE(rawSeconds(), filmed - 0.1);
    EXPECT_TRUE(QFileInfo::exists(take(QStringLiteral("cursor.json"))));
    EXPECT_TRUE(hiddenInTake().isEmpty()) << hiddenInTake().join(QLatin1Char(' ')).toStdString();
}

TEST_F(TakeUnderWay, ASigtermRightAfterTheStopEndsTheStudioWithTheTakeSavedAndTheNextLaunchMakesItsFinal)
{
    QProcess& studio = recording();
    xdotool({QStringLiteral("key"), QStringLiteral("ctrl+r")});
    QElapsedTimer ending;
    ending.start();
    ::kill(static_cast<pid_t>(studio.processId()), SIGTERM);
    ASSERT_NO_FATAL_FAILURE(endedKeepingTheTake(studio, ending));
    ASSERT_NO_FATAL_FAILURE(nextLaunchMakesTheFinal());
}

TEST_F(TakeUnderWay, ASigtermWhileRecordingStopsTheTakeTheNormalWayAndTheNextLaunchMakesItsFinal)
{
    QProcess& studio = recording();
    const double filmed = filming.elapsed() / 1000.0;
    QElapsedTimer ending;
    ending.start();
    ::kill(static_cast<pid_t>(studio.processId()), SIGTERM);
    ASSERT_NO_FATAL_FAILURE(endedKeepingTheTake(studio, ending));
    EXPECT_GE(rawSeconds(), filmed - 0.1);
    EXPECT_TRUE(studioLog().contains(QStringLiteral("quit: SIGTERM received")));
    ASSERT_NO_FATAL_FAILURE(nextLaunchMakesTheFinal());
}

TEST_F(TakeUnderWay, ALogoutsSigtermAndSighupWhileRecordingAreOneRequestThatStopsAndSavesTheTake)
{
    QProcess& studio = recording();
    const double filmed = filming.elapsed() / 1000.0;
    QElapsedTimer ending;
    ending.start();
    logOut(studio);
    ASSERT_NO_FATAL_FAILURE(endedKeepingTheTake(studio, ending));
    EXPECT_GE(rawSeconds(), filmed - 0.1);
    tookAsOneRequest();
    ASSERT_NO_FATAL_FAILURE(nextLaunchMakesTheFinal());
}

TEST_F(TakeUnderWay, ALogoutsSigtermAndSighupRightAfterTheStopLetTheTakeReachItsSave)
{
    QProcess& studio = recording();
    xdotool({QStringLiteral("key"), QStringLiteral("ctrl+r")});
    QElapsedTimer ending;
    ending.start();
    logOut(studio);
    ASSERT_NO_FATAL_FAILURE(endedKeepingTheTake(studio, ending));
    tookAsOneRequest();
    ASSERT_NO_FATAL_FAILURE(nextLaunchMakesTheFinal());
}

TEST_F(TakeUnderWay, ALogoutsSigtermAndSighupWhileAVoiceTakeRecordsKeepItsSoundAndSidecar)
{
    const QString project = path(QStringLiteral("home/Olvennar Projects/PROJECTS/BRANCHLINE/recordings/voice 1"));
    handOff(project, QStringLiteral("branchline"), QStringLiteral("voice"));
    QProcess& studio = launchShown();
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return studioLog().contains(QStringLiteral("auto-switched Screen → Voice only")) && QFileInfo(project).isDir(); }, 30000));
    TestEnvironment::waitUntil([] { return false; }, 1000); // the handoff's folder becomes the destination
    const QStringList windows = visibleWindows(studio);
    ASSERT_EQ(windows.size(), 1);
    xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), windows.front()});
    xdotool({QStringLiteral("key"), QStringLiteral("ctrl+r")});
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return studioLog().contains(QStringLiteral("voice-only start -> ")); }, 30000));
    TestEnvironment::waitUntil([] { return false; }, 2500);
    QElapsedTimer ending;
    ending.start();
    logOut(studio);
    ASSERT_TRUE(studio.waitForFinished(10000));
    EXPECT_LT(ending.elapsed(), 5000);
    EXPECT_EQ(studio.exitStatus(), QProcess::NormalExit);
    tookAsOneRequest();
    const QString sound = take(QStringLiteral("voice.m4a"));
    ASSERT_TRUE(QFileInfo::exists(sound));
    ASSERT_TRUE(QFileInfo::exists(take(QStringLiteral("voice.json")))) << "the sidecar the take's finish writes";
    QFile sidecar(take(QStringLiteral("voice.json")));
    ASSERT_TRUE(sidecar.open(QIODevice::ReadOnly));
    const double noted = QJsonDocument::fromJson(sidecar.readAll()).object()[QStringLiteral("durationSeconds")].toDouble();
    const double measured = MovieProbe::number(MovieProbe::streams(sound)[QStringLiteral("format")].toObject(), QStringLiteral("duration"));
    EXPECT_GT(measured, 2.0);
    EXPECT_NEAR(noted, measured, 0.1);
}

TEST_F(TakeUnderWay, ASignalASecondAfterTheFirstInsistsAndEndsTheStudioAtOnce)
{
    QProcess& studio = recording();
    const auto pid = static_cast<pid_t>(studio.processId());
    ::kill(pid, SIGTERM);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return studioLog().contains(QStringLiteral("quit: SIGTERM received")); }, 5000));
    // The end held still, so the user's second Ctrl+C finds it under way however fast this machine ends.
    ::kill(pid, SIGSTOP);
    TestEnvironment::waitUntil([] { return false; }, 1200);
    ::kill(pid, SIGINT);
    QElapsedTimer insisting;
    insisting.start();
    ::kill(pid, SIGCONT);
    ASSERT_TRUE(studio.waitForFinished(10000));
    EXPECT_LT(insisting.elapsed(), 2500);
    EXPECT_TRUE(studioLog().contains(QStringLiteral("quit: SIGINT again; the studio ends now"))) << studioLog().toStdString();
    EXPECT_GT(rawSeconds(), 2.0) << "the recorder closing its movie finishes first";
}

} // namespace
