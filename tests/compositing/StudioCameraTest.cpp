#include "compositing/StudioCamera.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

const QSizeF hd(1920, 1080);
const QRectF wholeScreen(0, 0, 1, 1);

ZoomTimeline::State zoom(double amount, double scale, QPointF center = {0.5, 0.5}) { return {amount, scale, center}; }

void expectPoint(QPointF actual, QPointF expected, double tolerance = 1e-6)
{
    EXPECT_NEAR(actual.x(), expected.x(), tolerance);
    EXPECT_NEAR(actual.y(), expected.y(), tolerance);
}

class StudioCameraTest : public ::testing::Test {
protected:
    StudioGeometry light{hd, 16.0 / 9.0, FaceLayout::bottomRight, StudioBackground::linen};
    StudioGeometry dark{hd, 16.0 / 9.0, FaceLayout::bottomRight, StudioBackground::darkRoom};
};

TEST_F(StudioCameraTest, UnzoomedScreenFillsTheWindow)
{
    // Weights up to 0.0005 give the plain mapping, whatever the scale.
    for (double weight : {0.0, 0.0005}) {
        const StudioCamera camera = StudioCamera::at(zoom(weight, 2.5), light, hd, wholeScreen);
        expectPoint(camera.transform.map(QPointF(0, 0)), {170, 144.25});
        expectPoint(camera.transform.map(QPointF(1920, 1080)), {1670, 988});
        EXPECT_TRUE(camera.roomTransform.isIdentity());
        EXPECT_NEAR(camera.magnification, 0.78125, 1e-12);
    }
    // A region of the screen is laid into the given overview, fitted by width.
    const QRectF overview(100, 100, 800, 450);
    const StudioCamera part = StudioCamera::at(zoom(0, 1), light, hd, QRectF(0.5, 0.5, 0.5, 0.5), overview);
    expectPoint(part.transform.map(QPointF(960, 540)), {100, 100});
    expectPoint(part.transform.map(QPointF(1920, 1080)), {900, 550});
}

TEST_F(StudioCameraTest, ZoomAimsAtTheCentreAndClampsThePan)
{
    struct Case {
        QPointF center;
        QPointF screenPoint;
        QPointF lands;
    };
    // k = 2 × 0.78125; the zoom centre lands on the window's middle unless that would show past an edge.
    const std::vector<Case> cases{
        {{0.5, 0.5}, {960, 540}, {920, 566.125}},
        {{0.0, 0.0}, {0, 0}, {170, 144.25}},
        {{1.0, 1.0}, {1920, 1080}, {1670, 988}},
        {{0.0, 1.0}, {0, 1080}, {170, 988}},
        {{0.3, 0.5}, {576, 540}, {920, 566.125}},
    };
    for (const Case& c : cases) {
        const StudioCamera camera = StudioCamera::at(zoom(1, 2, c.center), light, hd, wholeScreen);
        expectPoint(camera.transform.map(c.screenPoint), c.lands);
        EXPECT_NEAR(camera.magnification, 1.5625, 1e-9);
        EXPECT_TRUE(camera.roomTransform.isIdentity());
    }
}

TEST_F(StudioCameraTest, DarkRoomZoomMovesTheSceneAndCoversTheFrame)
{
    const StudioCamera camera = StudioCamera::at(zoom(1, 1.0), dark, hd, wholeScreen);
    EXPECT_FALSE(camera.roomTransform.isIdentity());
    // The screen, less the window's rim inset, covers the whole frame.
    const double inset = (0.3 * dark.windowRadius + dark.edgeWidth + 2) / (1766.4 / 1920);
    const QPointF low = camera.transform.map(QPointF(inset, inset));
    const QPointF high = camera.transform.map(QPointF(1920 - inset, 1080 - inset));
    EXPECT_LE(low.x(), 1e-6);
    EXPECT_LE(low.y(), 1e-6);
    EXPECT_GE(high.x(), 1920 - 1e-6);
    EXPECT_GE(high.y(), 1080 - 1e-6);
    // transform = base mapping followed by the room move.
    const StudioCamera plain = StudioCamera::at(zoom(0, 1), dark, hd, wholeScreen);
    EXPECT_TRUE(plain.roomTransform.isIdentity());
    const QTransform composed = plain.transform * camera.roomTransform;
    expectPoint(composed.map(QPointF(333, 444)), camera.transform.map(QPointF(333, 444)));

    // A larger zoom aims at the centre of the safe area where the limits allow.
    const StudioCamera deep = StudioCamera::at(zoom(1, 2.5, {0.5, 0.5}), dark, hd, wholeScreen);
    expectPoint(deep.transform.map(QPointF(960, 540)), {960, 540});
    EXPECT_NEAR(deep.magnification, 2.5, 1e-9);
    // At the edge the pan stops with the inset region flush to the frame.
    const StudioCamera corner = StudioCamera::at(zoom(1, 2.5, {0, 0}), dark, hd, wholeScreen);
    expectPoint(corner.transform.map(QPointF(inset, inset)), {0, 0});
}

} // namespace
