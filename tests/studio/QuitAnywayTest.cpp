#include "LaunchedStudio.h"

#include "support/MovieProbe.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <csignal>

namespace {

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
    // At once: the studio waits for its background work at most 1.5 s; on a machine busy with other work its
    // window may take a second more to answer the key. The render itself would take far longer.
    ASSERT_TRUE(studio.waitForFinished(5000)) << "still running 5 s after \"Quit anyway\"";
    EXPECT_LT(quitting.elapsed(), 5000);
    EXPECT_EQ(studio.exitStatus(), QProcess::NormalExit);

    EXPECT_FALSE(QFileInfo::exists(takeFolder() + QStringLiteral("/final.mov")));
    // A render that could not reach its next frame within the studio's wait (a machine busy with other work)
    // may be left behind unfinished, said in the log, for the next launch to remove.
    const QStringList hiddenAfterQuit = hiddenInTake();
    if (!studioLog().contains(QStringLiteral("quit: background work did not stop in time")))
        EXPECT_TRUE(hiddenAfterQuit.isEmpty()) << hiddenAfterQuit.join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(QFileInfo::exists(takeFolder() + QStringLiteral("/raw.mov"))) << "the raw files stay";
    EXPECT_EQ(studioLog().count(QStringLiteral("quit: gave up finishing video 1")), 1);

    // The next launch finishes nothing again.
    QProcess& next = launch();
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return lockHolder() == QString::number(next.processId()); }, 60000));
    TestEnvironment::waitUntil([] { return false; }, 8000); // past a recording break
    EXPECT_FALSE(studioLog().contains(QStringLiteral("recovery: finishing")));
    EXPECT_FALSE(QFileInfo::exists(takeFolder() + QStringLiteral("/final.mov")));
    EXPECT_TRUE(hiddenInTake().isEmpty()) << hiddenInTake().join(QLatin1Char(' ')).toStdString();
    if (!hiddenAfterQuit.isEmpty())
        EXPECT_TRUE(studioLog().contains(QStringLiteral("recovery: removed the unfinished render")));
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
    // How soon a quit ends is the test above's; here the second launch starts beside it on the same cores.
    ASSERT_TRUE(studio.waitForFinished(15000));

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

TEST_F(LaunchedStudio, ARenderResumedAtLaunchAndCutByALogoutAgainIsResumedAtTheFollowingLaunch)
{
    const auto noted = [&] {
        QFile note(takeFolder() + QStringLiteral("/.final.pending"));
        return note.open(QIODevice::ReadOnly) ? std::optional<QJsonObject>(QJsonDocument::fromJson(note.readAll()).object()) : std::nullopt;
    };
    const auto logOut = [&](QProcess& studio) {
        ASSERT_TRUE(TestEnvironment::waitUntil([&] { return renderUnderWay(); }, 60000));
        ::kill(static_cast<pid_t>(studio.processId()), SIGTERM);
        ASSERT_TRUE(studio.waitForFinished(10000));
        EXPECT_EQ(studio.exitStatus(), QProcess::NormalExit);
        ASSERT_FALSE(QFileInfo::exists(takeFolder() + QStringLiteral("/final.mov"))) << "the render ran to its end before the signal";
        ASSERT_TRUE(noted());
        EXPECT_EQ(noted()->value(QStringLiteral("relaunches")).toInt(-1), 0) << "an orderly end is not a crash";
    };
    // Long enough that its render is still under way when the signals come.
    ASSERT_NO_FATAL_FAILURE(logOut(filmATake(10000)));
    QProcess& resumed = launch();
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return studioLog().contains(QStringLiteral("recovery: finishing ") + takeFolder() + QStringLiteral("/final.mov again")); }, 60000));
    ASSERT_NO_FATAL_FAILURE(logOut(resumed));
    EXPECT_TRUE(studioLog().contains(QStringLiteral("quit: the next launch finishes ") + takeFolder() + QStringLiteral("/final.mov")));

    launch();
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return QFileInfo::exists(takeFolder() + QStringLiteral("/final.mov")) || studioLog().contains(QStringLiteral("cut short again")); }, 180000));
    EXPECT_FALSE(studioLog().contains(QStringLiteral("cut short again")));
    const QJsonObject probe = MovieProbe::streams(takeFolder() + QStringLiteral("/final.mov"));
    EXPECT_EQ(MovieProbe::streamsOfType(probe, QStringLiteral("video")).size(), 1);
    EXPECT_GT(MovieProbe::number(probe[QStringLiteral("format")].toObject(), QStringLiteral("duration")), 8.0) << "the whole take";
    EXPECT_EQ(studioLog().count(QStringLiteral("recovery: finishing ") + takeFolder() + QStringLiteral("/final.mov again")), 2);
    EXPECT_TRUE(TestEnvironment::waitUntil([&] { return hiddenInTake().isEmpty(); }, 10000)) << hiddenInTake().join(QLatin1Char(' ')).toStdString();
}

} // namespace
