#include "core/QuitGuard.h"

#include <gtest/gtest.h>

namespace {

TEST(QuitGuardTest, AlertTextsAndButtonOrder)
{
    const auto one = QuitGuard::alertFor(1);
    ASSERT_TRUE(one);
    EXPECT_EQ(one->messageText, QStringLiteral("A take is still being finished"));
    EXPECT_EQ(one->buttons, (QStringList{QStringLiteral("Keep open"), QStringLiteral("Quit anyway")}));
    EXPECT_EQ(QuitGuard::alertFor(2)->messageText, QStringLiteral("2 takes are still being finished"));
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

} // namespace
