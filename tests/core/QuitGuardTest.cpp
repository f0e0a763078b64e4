#include "core/QuitGuard.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

TEST(QuitGuardTest, AlertTextsAndButtonOrder)
{
    const auto one = QuitGuard::alertFor(1);
    ASSERT_TRUE(one);
    // What the alert says, one row per text.
    const std::vector<std::pair<QString, QString>> texts{
        {one->messageText, QStringLiteral("A take is still being finished")},
        {one->informativeText, QStringLiteral("If you quit now their final.mov files will not be written. The raw files stay in the folder.")},
        {QuitGuard::alertFor(2)->messageText, QStringLiteral("2 takes are still being finished")},
        {QuitGuard::alertFor(1234)->messageText, QStringLiteral("1234 takes are still being finished")},
    };
    for (const auto& [shown, expected] : texts)
        EXPECT_EQ(shown, expected);
    EXPECT_EQ(one->buttons, (QStringList{QStringLiteral("Keep open"), QStringLiteral("Quit anyway")}));
}

TEST(QuitGuardTest, OnlyQuitAnywayEndsTheApplication)
{
    QuitGuard guard;
    guard.finishingCount = [] { return 2; };
    int chosen = 0;
    guard.runAlert = [&](const QuitGuard::Alert&) { return chosen; };
    EXPECT_EQ(guard.applicationShouldTerminate(), QuitGuard::Reply::terminateCancel); // "Keep open", also Return
    chosen = 1;
    EXPECT_EQ(guard.applicationShouldTerminate(), QuitGuard::Reply::terminateNow);
    chosen = -1; // closed some other way
    EXPECT_EQ(guard.applicationShouldTerminate(), QuitGuard::Reply::terminateCancel);
}

TEST(QuitGuardTest, OnlyQuitAnywayGivesUpTheFinishingTakes)
{
    QuitGuard guard;
    int working = 1;
    guard.finishingCount = [&] { return working; };
    int chosen = 0;
    guard.runAlert = [&](const QuitGuard::Alert&) { return chosen; };
    int givenUp = 0;
    guard.giveUpFinishing = [&] { ++givenUp; };
    guard.applicationShouldTerminate(); // "Keep open"
    chosen = -1;
    guard.applicationShouldTerminate();
    EXPECT_EQ(givenUp, 0);
    chosen = 1;
    EXPECT_EQ(guard.applicationShouldTerminate(), QuitGuard::Reply::terminateNow);
    EXPECT_EQ(givenUp, 1);
    working = 0; // nothing to give up: the studio quits at once without asking
    EXPECT_EQ(guard.applicationShouldTerminate(), QuitGuard::Reply::terminateNow);
    EXPECT_EQ(givenUp, 1);
}

TEST(QuitGuardTest, TheEndBeginsOnceAndFromThenOnNothingIsAsked)
{
    QuitGuard guard;
    guard.finishingCount = [] { return 1; };
    int alerts = 0;
    int givenUp = 0;
    int ends = 0;
    int chosen = 1;
    guard.runAlert = [&](const QuitGuard::Alert&) {
        ++alerts;
        return chosen;
    };
    guard.giveUpFinishing = [&] { ++givenUp; };
    guard.endStudio = [&] { ++ends; };
    ASSERT_EQ(guard.applicationShouldTerminate(), QuitGuard::Reply::terminateNow); // "Quit anyway"
    guard.quit();
    guard.quit();
    EXPECT_EQ(ends, 1);
    EXPECT_TRUE(guard.ending());
    // The windows the end closes go without a second alert.
    EXPECT_EQ(guard.applicationShouldTerminate(), QuitGuard::Reply::terminateNow);
    EXPECT_EQ(alerts, 1);
    EXPECT_EQ(givenUp, 1);

    // The system asks for the end while the alert stands: its end keeps the finish jobs, whatever is chosen.
    QuitGuard standing;
    standing.finishingCount = [] { return 1; };
    standing.giveUpFinishing = [&] { ++givenUp; };
    standing.endStudio = [&] { ++ends; };
    standing.runAlert = [&](const QuitGuard::Alert&) {
        standing.beginEnding();
        return 1;
    };
    EXPECT_EQ(standing.applicationShouldTerminate(), QuitGuard::Reply::terminateNow);
    EXPECT_EQ(givenUp, 1);
    standing.quit();
    EXPECT_EQ(ends, 1) << "the system's end is already the studio's end";
}

} // namespace
