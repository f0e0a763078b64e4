#include "ScreenTakeFixture.h"

#include "framing/CameraBubbleWindow.h"

#include <gtest/gtest.h>

namespace {

TEST_F(ScreenTakeFlow, aPhoneIsAwaitedByThePollAndAttachedWithinTwoSecondsOfAppearing)
{
    services.phone.size = QSize(); // no picture yet
    controller->setPhoneEnabled(true);
    EXPECT_TRUE(controller->phoneWaiting());
    EXPECT_TRUE(controller->isWatchingForPhone());
    EXPECT_FALSE(controller->phoneWindow());
    services.phoneList = {device(QStringLiteral("scrcpy"))};
    ASSERT_TRUE(TestEnvironment::waitUntil([&] {
        QCoreApplication::processEvents();
        return controller->phoneWindow() != nullptr;
    }, 3000));
    EXPECT_FALSE(controller->phoneWaiting());
    EXPECT_FALSE(controller->isWatchingForPhone());
    EXPECT_EQ(services.phone.device, QStringLiteral("scrcpy"));
    // A phone whose picture size is not known yet gets a panel 6/13 as wide as high, 40 in from the corner.
    EXPECT_EQ(controller->phoneWindow()->size(), QSize(212, 460));
    EXPECT_EQ(controller->phoneWindow()->pos(), QPoint(40, 180 - 460 - 40));
    EXPECT_TRUE(readLog().contains(QStringLiteral("iPhone attached")));

    controller->setPhoneEnabled(false);
    EXPECT_FALSE(controller->phoneWindow());
    EXPECT_FALSE(services.phone.attached);
}

TEST_F(ScreenTakeFlow, aSidecarThatCannotBeWrittenIsLoggedAndTheTakeStillGoesToTheSaveJob)
{
    startTake();
    film(10);
    // A folder where the pointer log belongs: the replacing rename must fail.
    ASSERT_TRUE(QDir(folderPath(QStringLiteral("video 1"))).mkdir(QStringLiteral("cursor.json")));
    QCoro::waitFor(controller->stop());
    EXPECT_TRUE(readLog().contains(QStringLiteral("stop: could not write cursor.json")));
    EXPECT_EQ(services.jobs.size(), 1u);
    const QStringList leftovers = QDir(folderPath(QStringLiteral("video 1"))).entryList(QDir::Files | QDir::Hidden);
    EXPECT_FALSE(leftovers.join(',').contains(QStringLiteral(".cursor-"))) << "no half-written sibling stays";
}

} // namespace
