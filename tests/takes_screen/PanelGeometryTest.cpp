#include "ScreenTakeFixture.h"

#include "framing/CameraBubbleWindow.h"

#include <gtest/gtest.h>

namespace {

TEST(RectInRenderSpace, mapsThePanelFromItsScreenIntoTheRenderWithTheOriginAtTheBottomLeft)
{
    const QSizeF render(1920, 1080);
    const QRectF screen(0, 0, 1280, 720);
    // Bottom-left corner of the screen (y down: its bottom edge is the screen's).
    EXPECT_EQ(CameraBubbleWindow::rectInRenderSpace(QRectF(0, 620, 100, 100), screen, render), QRectF(0, 0, 150, 150));
    EXPECT_EQ(CameraBubbleWindow::rectInRenderSpace(screen, screen, render), QRectF(0, 0, 1920, 1080));
    // Top-right corner: high up in render space.
    EXPECT_EQ(CameraBubbleWindow::rectInRenderSpace(QRectF(1180, 0, 100, 100), screen, render), QRectF(1770, 930, 150, 150));
    // A second screen to the right and lower: only the position within it counts.
    EXPECT_EQ(CameraBubbleWindow::rectInRenderSpace(QRectF(1320, 400, 200, 100), QRectF(1280, 200, 640, 360), QSizeF(640, 360)),
        QRectF(40, 60, 200, 100));
    EXPECT_EQ(CameraBubbleWindow::rectInRenderSpace(QRectF(0, 0, 10, 10), QRectF(0, 0, 0, 720), render), QRectF());
    EXPECT_EQ(CameraBubbleWindow::rectInRenderSpace(QRectF(0, 0, 10, 10), QRectF(0, 0, 720, -1), render), QRectF());
}

TEST(RectInRenderSpace, aShownPanelAtTheScreensCornerLandsAtTheRenderOrigin)
{
    CameraBubbleWindow panel(nullptr, QSizeF(200, 200), 100);
    panel.move(0, 520);
    EXPECT_EQ(panel.rectInRenderSpace(QRect(0, 0, 1280, 720), QSizeF(2560, 1440)), QRectF(0, 0, 400, 400));
}

TEST(CaptureRect, filmsTheLargestCentred16By9PartInBottomLeftDesktopCoordinates)
{
    const QRectF tall = RecordingController::captureRect(QRect(0, 0, 1728, 1117), 1117);
    EXPECT_DOUBLE_EQ(tall.width(), 1728);
    EXPECT_DOUBLE_EQ(tall.height(), 972);
    EXPECT_DOUBLE_EQ(tall.y(), 72.5);
    // A wide display beside a taller one: cut at the sides, measured from the root's bottom edge.
    const QRectF wide = RecordingController::captureRect(QRect(1728, 0, 2560, 1080), 1117);
    EXPECT_DOUBLE_EQ(wide.x(), 1728 + (2560 - 1920) / 2.0);
    EXPECT_DOUBLE_EQ(wide.y(), 37);
    EXPECT_DOUBLE_EQ(wide.width(), 1920);
}


} // namespace
