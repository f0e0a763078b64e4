#include "app/DesktopWindows.h"
#include "app/StudioTakeKinds.h"
#include "core/RecordingController.h"
#include "support/FakeAccessProbe.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

class ControllerStartupTest : public SandboxTest {
protected:
    FakeAccessProbe access;
};

TEST_F(ControllerStartupTest, ConstructionLogsTheRealProbeStatesAndTheScreenIsNeverNotAsked)
{
    access.screenState = Permissions::State::notAsked;
    access.microphoneState = Permissions::State::notAsked;
    access.cameraState = Permissions::State::denied;
    QCoreApplication::setApplicationVersion(QStringLiteral("9.8.7"));
    Platform platform{*settings, access};
    platform.kinds = &StudioTakeKinds::standard();
    platform.windows = &DesktopWindows::shared();
    RecordingController controller(platform);
    EXPECT_TRUE(readLog().contains(QStringLiteral("  launch 9.8.7: permissions screen=denied mic=notAsked camera=denied\n")));
    QCoreApplication::setApplicationVersion(QString());
}

TEST_F(ControllerStartupTest, FirstHandoffRefreshComesOnALaterTurnAndOnlyOneTimerEverRuns)
{
    Platform platform{*settings, access};
    platform.kinds = &StudioTakeKinds::standard();
    platform.windows = &DesktopWindows::shared();
    RecordingController controller(platform);
    EXPECT_EQ(controller.handoffs().handoffRefreshCount(), 0); // never inside the constructor
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return controller.handoffs().handoffRefreshCount() == 1; }, 1000));
    EXPECT_TRUE(controller.handoffs().isWatchingNextTake());
    // The watch's poll is the controller's only timer so far.
    EXPECT_TRUE(controller.findChildren<QTimer*>().isEmpty());
    const QTimer* timer = controller.handoffs().findChild<QTimer*>();
    controller.handoffs().watchNextTake(true); // refreshes at once, keeps the running timer
    EXPECT_EQ(controller.handoffs().handoffRefreshCount(), 2);
    EXPECT_EQ(controller.handoffs().findChildren<QTimer*>().size(), 1);
    EXPECT_EQ(controller.handoffs().findChild<QTimer*>(), timer);
    EXPECT_EQ(timer->interval(), 2000);
}

} // namespace
