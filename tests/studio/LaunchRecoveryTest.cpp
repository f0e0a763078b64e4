#include "LaunchedStudio.h"

#include "support/MovieProbe.h"

#include <gtest/gtest.h>

namespace {

TEST_F(LaunchedStudio, ABranchlineRenderKilledMidWayIsResumedAtTheNextLaunchAndLeavesNoHiddenFile)
{
    const QString project = path(QStringLiteral("home/Olvennar Projects/PROJECTS/BRANCHLINE/recordings/video 1"));
    ASSERT_NO_FATAL_FAILURE(killWhileRenderingAndRelaunch(project, QStringLiteral("branchline")));
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return QFileInfo::exists(project + QStringLiteral("/final.mov")); }, 180000));
    EXPECT_TRUE(studioLog().contains(QStringLiteral("recovery: removed the unfinished render ") + project + QStringLiteral("/.mixdown-")));
    EXPECT_TRUE(studioLog().contains(QStringLiteral("recovery: finishing ") + project + QStringLiteral("/final.mov again")));
    const QJsonObject probe = MovieProbe::streams(project + QStringLiteral("/final.mov"));
    EXPECT_EQ(MovieProbe::streamsOfType(probe, QStringLiteral("video")).size(), 1);
    EXPECT_TRUE(TestEnvironment::waitUntil([&] { return hiddenInTake().isEmpty(); }, 10000)) << hiddenInTake().join(QLatin1Char(' ')).toStdString();
    EXPECT_FALSE(studioLog().contains(QStringLiteral("cut short again")));
}

TEST_F(LaunchedStudio, ARenderKilledInAFolderAHandoffNamedOutsideTheRootsIsResumedAtTheNextLaunch)
{
    // Inside the channel's project tree, where a handoff may lead, but under neither of its roots.
    const QString project = path(QStringLiteral("home/Olvennar Projects/PROJECTS/BRANCHLINE/episodes/ep12"));
    const auto settingsText = [this] {
        QFile file(path(QStringLiteral("home/.config/Olvennar/Olvennar.conf")));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };
    ASSERT_NO_FATAL_FAILURE(killWhileRenderingAndRelaunch(project, QStringLiteral("branchline"),
        [&] { EXPECT_TRUE(settingsText().contains(QStringLiteral("resumeNoteFolders"))) << settingsText().toStdString(); }));
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return QFileInfo::exists(project + QStringLiteral("/final.mov")); }, 180000));
    EXPECT_TRUE(studioLog().contains(QStringLiteral("recovery: removed the unfinished render ") + project + QStringLiteral("/.mixdown-")));
    EXPECT_TRUE(studioLog().contains(QStringLiteral("recovery: finishing ") + project + QStringLiteral("/final.mov again")));
    EXPECT_TRUE(TestEnvironment::waitUntil([&] { return hiddenInTake().isEmpty(); }, 10000)) << hiddenInTake().join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(TestEnvironment::waitUntil([&] { return !settingsText().contains(QStringLiteral("resumeNoteFolders")); }, 10000))
        << settingsText().toStdString();
}

} // namespace
