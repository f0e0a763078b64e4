#include "ScreenTakeFixture.h"

#include "views/framing/CameraBubbleWindow.h"

#include <gtest/gtest.h>

namespace {

void turns(int count = 3)
{
    for (int i = 0; i < count; ++i)
        QCoreApplication::processEvents();
}

TEST_F(ScreenTakeFlow, aPhoneIsAwaitedByThePollAndAttachedWithinTwoSecondsOfAppearing)
{
    services.phone.size = QSize(); // no picture yet
    controller->phone().setPhoneEnabled(true);
    EXPECT_TRUE(controller->phone().phoneWaiting());
    EXPECT_TRUE(controller->phone().isWatchingForPhone());
    EXPECT_FALSE(controller->phone().window());
    services.phoneList = {device(QStringLiteral("scrcpy"))};
    ASSERT_TRUE(TestEnvironment::waitUntil([&] {
        QCoreApplication::processEvents();
        return controller->phone().window() != nullptr;
    }, 3000));
    EXPECT_FALSE(controller->phone().phoneWaiting());
    EXPECT_FALSE(controller->phone().isWatchingForPhone());
    EXPECT_EQ(services.phone.device, QStringLiteral("scrcpy"));
    // A phone whose picture size is not known yet gets a panel 6/13 as wide as high, 40 in from the corner.
    EXPECT_EQ(controller->phone().window()->panelSize(), QSize(212, 460));
    EXPECT_EQ(static_cast<CameraBubbleWindow*>(controller->phone().window())->pos(), QPoint(40, 180 - 460 - 40));
    EXPECT_TRUE(readLog().contains(QStringLiteral("iPhone attached")));

    controller->phone().setPhoneEnabled(false);
    EXPECT_FALSE(controller->phone().window());
    EXPECT_FALSE(services.phone.attached);
}

TEST_F(ScreenTakeFlow, switchingTheBubbleOffDuringATakeHidesItButKeepsThePanelForTheStop)
{
    plugInCamera();
    startTake();
    film(5);
    controller->setCameraEnabled(false);
    ASSERT_TRUE(controller->bubblePanel().window());
    EXPECT_FALSE(controller->bubblePanel().window()->isShown());
    QCoro::waitFor(controller->stop());
    EXPECT_FALSE(controller->bubblePanel().window());
    ASSERT_EQ(services.jobs.size(), 1u);
    EXPECT_FALSE(services.jobs[0].request.bubbleRect.isEmpty()) << "measured where it stood";
}

TEST_F(ScreenTakeFlow, aCameraAttachedMidTakeIsLoggedSoAndNoCameraFailsTheSwitch)
{
    controller->setCameraEnabled(true);
    turns();
    EXPECT_FALSE(controller->cameraEnabled());
    EXPECT_EQ(controller->phase(), RecordingPhase::failed(QStringLiteral("No camera found.")));

    startTake();
    services.cameraList = {device(QStringLiteral("desk"))};
    controller->refreshDevices();
    controller->setCameraEnabled(true);
    turns();
    EXPECT_TRUE(controller->bubblePanel().window());
    EXPECT_TRUE(readLog().contains(QStringLiteral("camera attached mid-take")));
    QCoro::waitFor(controller->discard());
}

TEST_F(ScreenTakeFlow, thePreferredMicrophoneIsTakenWhenItArrivesBetweenTakesOnly)
{
    services.microphoneList.push_back(device(QStringLiteral("Wireless Mic Rx 2")));
    startTake();
    controller->refreshDevices();
    EXPECT_EQ(controller->selectedMicrophoneID(), QStringLiteral("mic")) << "a take keeps its microphone";
    QCoro::waitFor(controller->discard());
    controller->refreshDevices();
    EXPECT_EQ(controller->selectedMicrophoneID(), QStringLiteral("mic")) << "noticed during the take, not taken later";

    services.microphoneList.pop_back();
    controller->refreshDevices();
    services.microphoneList.push_back(device(QStringLiteral("Wireless Mic Rx 2")));
    controller->refreshDevices();
    EXPECT_EQ(controller->selectedMicrophoneID(), QStringLiteral("Wireless Mic Rx 2"));
    EXPECT_EQ(readLog().count(QStringLiteral("microphone: Wireless Mic Rx 2 is plugged in, using it as the default")), 1);
}

TEST_F(ScreenTakeFlow, theTickerFollowsTheTakeClockAndStandsStillWhilePaused)
{
    startTake();
    film(25);
    EXPECT_GT(controller->elapsed(), 0.1);
    controller->togglePause();
    film(15); // the ticker publishes the last filmed moment
    const double held = controller->elapsed();
    film(15);
    EXPECT_DOUBLE_EQ(controller->elapsed(), held);
    controller->togglePause();
    film(20);
    EXPECT_GT(controller->elapsed(), held);
    QCoro::waitFor(controller->discard());
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
