#include "LaunchedStudio.h"

#include "support/MovieProbe.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

TEST_F(LaunchedStudio, ABranchlineRenderKilledMidWayIsResumedAtTheNextLaunchAndLeavesNoHiddenFile)
{
    const QString project = path(QStringLiteral("home/Olvennar Projects/PROJECTS/BRANCHLINE/recordings/video 1"));
    handOff(project, QStringLiteral("branchline"));
    QProcess& studio = launchShown();
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return studioLog().contains(QStringLiteral(", channel branchline")) && QFileInfo(project).isDir(); }, 30000));
    filmInShownStudio();
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return renderUnderWay(); }, 60000));
    ::kill(static_cast<pid_t>(studio.processId()), SIGKILL);
    ASSERT_TRUE(studio.waitForFinished(10000));

    launch();
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return QFileInfo::exists(project + QStringLiteral("/final.mov")); }, 180000));
    EXPECT_TRUE(studioLog().contains(QStringLiteral("recovery: removed the unfinished render ") + project + QStringLiteral("/.mixdown-")));
    EXPECT_TRUE(studioLog().contains(QStringLiteral("recovery: finishing ") + project + QStringLiteral("/final.mov again")));
    const QJsonObject probe = MovieProbe::streams(project + QStringLiteral("/final.mov"));
    EXPECT_EQ(MovieProbe::streamsOfType(probe, QStringLiteral("video")).size(), 1);
    EXPECT_TRUE(TestEnvironment::waitUntil([&] { return hiddenInTake().isEmpty(); }, 10000)) << hiddenInTake().join(QLatin1Char(' ')).toStdString();
    EXPECT_FALSE(studioLog().contains(QStringLiteral("cut short again")));
}

} // namespace
