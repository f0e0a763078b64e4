#include "support/TestEnvironment.h"
#include "teleprompter/TeleprompterModel.h"
#include "views/teleprompter/CameraSpotMarker.h"
#include "views/teleprompter/CameraSpotPanel.h"
#include "views/teleprompter/TeleprompterWindow.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QPushButton>

#include <gtest/gtest.h>

#include <memory>

namespace {

void runDeferredDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

class CameraSpotMarkerTest : public SandboxTest { };

TEST_F(CameraSpotMarkerTest, AnOwnerMayDestroyTheMarkerInsideItsDone)
{
    TeleprompterModel model(*settings);
    auto marker = std::make_unique<CameraSpotMarker>(model, QPointF(400, 700));
    int done = 0;
    // The harshest owner: the marker goes at once, inside its own Done.
    marker->onDone = [&] {
        ++done;
        marker.reset();
    };
    marker->show();
    QPointer<CameraSpotPanel> panel = marker->panel();
    ASSERT_TRUE(panel);
    panel->doneButton()->click();
    EXPECT_EQ(done, 1);
    EXPECT_EQ(marker, nullptr);
    // The panel whose button was pressed outlives its click and goes with the next turn of the loop.
    ASSERT_TRUE(panel);
    EXPECT_TRUE(panel->isHidden());
    runDeferredDeletes();
    EXPECT_FALSE(panel);
}

TEST_F(CameraSpotMarkerTest, DoneOnTheWindowsMarkerLetsItGoAfterItsHandlerAndAnotherCanBegin)
{
    TeleprompterWindow window(*settings, nullptr);
    window.show(nullptr);
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        window.model().beginCameraSpot();
        QPointer<CameraSpotMarker> marker = window.spotMarker();
        ASSERT_TRUE(marker);
        QPointer<CameraSpotPanel> panel = marker->panel();
        ASSERT_TRUE(panel);
        panel->doneButton()->click();
        EXPECT_EQ(window.spotMarker(), nullptr);
        EXPECT_TRUE(marker) << "still running its Done when it was let go";
        runDeferredDeletes();
        EXPECT_FALSE(marker);
        EXPECT_FALSE(panel);
    }
    // Done pressed twice in one turn (a double click) reports once.
    window.model().beginCameraSpot();
    CameraSpotMarker* marker = window.spotMarker();
    ASSERT_NE(marker, nullptr);
    int done = 0;
    const auto finish = marker->onDone;
    marker->onDone = [&done, finish] {
        ++done;
        finish();
    };
    QPushButton* button = marker->panel()->doneButton();
    button->click();
    button->click();
    EXPECT_EQ(done, 1);
    runDeferredDeletes();
    window.hide();
}

} // namespace
