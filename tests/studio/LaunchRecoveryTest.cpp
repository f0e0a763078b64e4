#include "LaunchedStudio.h"

#include "support/MovieProbe.h"

#include <gtest/gtest.h>

#include <iostream>

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

TEST_F(LaunchedStudio, ATakeFolderRenamedWhileItsFinalRendersIsFinishedInItsNewFolderAtTheNextLaunch)
{
    QProcess& studio = filmATake();
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return renderUnderWay(); }, 60000));
    const QString renamed = path(QStringLiteral("home/Videos/Olvennar/intro take"));
    ASSERT_TRUE(QDir().rename(takeFolder(), renamed));
    // Killed while it renders on in the renamed folder: its note moved with the take.
    ::kill(static_cast<pid_t>(studio.processId()), SIGKILL);
    ASSERT_TRUE(studio.waitForFinished(10000));

    launch();
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return QFileInfo::exists(renamed + QStringLiteral("/final.mov")); }, 180000)) << studioLog().toStdString();
    EXPECT_TRUE(studioLog().contains(QStringLiteral("recovery: finishing ") + renamed + QStringLiteral("/final.mov again")));
    EXPECT_EQ(MovieProbe::streamsOfType(MovieProbe::streams(renamed + QStringLiteral("/final.mov")), QStringLiteral("video")).size(), 1);
    EXPECT_TRUE(TestEnvironment::waitUntil([&] { return QFileInfo::exists(renamed + QStringLiteral("/Raw/raw.mov")); }, 10000));
    EXPECT_FALSE(QFileInfo::exists(takeFolder()));
}

TEST_F(LaunchedStudio, ATakeFilmedUnderTheNameARenamedTakeFolderFreedAndEndedBySigtermLeavesEachTakeItsOwnFinalAtTheNextLaunch)
{
    QProcess& studio = filmATake();
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return renderUnderWay(); }, 60000));
    const QString renamed = path(QStringLiteral("home/Videos/Olvennar/intro take"));
    ASSERT_TRUE(QDir().rename(takeFolder(), renamed));
    // The next take, longer, lands at once in the name the rename freed while the first render goes on in the
    // renamed folder; the studio is told to end right after its stop.
    filmInShownStudio(7000);
    ASSERT_TRUE(QFileInfo::exists(takeFolder() + QStringLiteral("/raw.mov")));
    ::kill(static_cast<pid_t>(studio.processId()), SIGTERM);
    ASSERT_TRUE(studio.waitForFinished(60000));

    launch();
    const auto seconds = [](const QString& movie) {
        return MovieProbe::number(MovieProbe::streams(movie)[QStringLiteral("format")].toObject(), QStringLiteral("duration"));
    };
    for (const QString& take : {renamed, takeFolder()}) {
        SCOPED_TRACE(take.toStdString());
        ASSERT_TRUE(TestEnvironment::waitUntil([&] { return QFileInfo::exists(take + QStringLiteral("/Raw/raw.mov")); }, 180000)) << studioLog().toStdString();
        const double raw = seconds(take + QStringLiteral("/Raw/raw.mov"));
        const double final = seconds(take + QStringLiteral("/final.mov"));
        std::cout << QFileInfo(take).fileName().toStdString() << ": raw " << raw << " s, final " << final << " s\n";
        EXPECT_NEAR(final, raw, 0.5);
        EXPECT_FALSE(QFileInfo::exists(take + QStringLiteral("/raw.mov")));
    }
    EXPECT_GT(seconds(takeFolder() + QStringLiteral("/final.mov")), seconds(renamed + QStringLiteral("/final.mov")) + 1.5) << "each final is its own take's";
    EXPECT_FALSE(studioLog().contains(QStringLiteral("could not be read"))) << studioLog().toStdString();
}

} // namespace
