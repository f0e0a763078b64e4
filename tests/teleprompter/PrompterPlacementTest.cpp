#include "teleprompter/PrompterPlacement.h"
#include "teleprompter/RectNotation.h"

#include <gtest/gtest.h>

namespace {

using PrompterPlacement::Input;

// 1440 × 900 at the origin, visible area up to y = 875 (y up).
Input wide(PrompterPosition position)
{
    Input input;
    input.screen = {QRectF(0, 0, 1440, 900), QRectF(0, 0, 1440, 875)};
    input.position = position;
    input.cameraSpot = PrompterPlacement::spotPoint(input.screen.frame, PrompterPlacement::defaultSpotFractions);
    return input;
}

void expectFrame(const QRectF& actual, const QRectF& expected, const char* what)
{
    EXPECT_NEAR(actual.x(), expected.x(), 1e-9) << what;
    EXPECT_NEAR(actual.y(), expected.y(), 1e-9) << what;
    EXPECT_NEAR(actual.width(), expected.width(), 1e-9) << what;
    EXPECT_NEAR(actual.height(), expected.height(), 1e-9) << what;
}

TEST(PrompterPlacementTest, WorkedFrames)
{
    struct Row {
        Input input;
        QRectF expected;
        const char* what;
    };
    Input camera = wide(PrompterPosition::camera);
    Input narrow = wide(PrompterPosition::topCenter);
    narrow.screen = {QRectF(0, 0, 700, 900), QRectF(0, 0, 700, 875)};
    Input narrowLeft = narrow;
    narrowLeft.position = PrompterPosition::left;
    Input narrowRight = narrow;
    narrowRight.position = PrompterPosition::right;
    Input small = wide(PrompterPosition::topCenter);
    small.storedSize = QSizeF(500, 400);
    Input custom = wide(PrompterPosition::custom);
    custom.storedFrame = QRectF(3000, 100, 640, 280);
    Input customLow = wide(PrompterPosition::custom);
    customLow.storedFrame = QRectF(-2000, -500, 600, 250);
    Input customHigh = wide(PrompterPosition::custom);
    customHigh.storedFrame = QRectF(100, 2000, 600, 250);
    Input customTiny = wide(PrompterPosition::custom);
    customTiny.storedFrame = QRectF(100, 100, 500, 250);
    Input cameraLeft = wide(PrompterPosition::camera);
    cameraLeft.cameraSide = CameraSide::left;
    cameraLeft.cameraSpot = QPointF(720, 850);
    Input cameraRight = cameraLeft;
    cameraRight.cameraSide = CameraSide::right;

    const std::vector<Row> rows{
        {wide(PrompterPosition::topCenter), {330, 573, 780, 300}, "top centre"},
        {wide(PrompterPosition::left), {8, 573, 602, 300}, "left"},
        {wide(PrompterPosition::right), {830, 573, 602, 300}, "right"},
        {camera, {330, 608.72, 780, 300}, "camera, under, default spot: the top 8.72 above the screen"},
        {small, {330, 573, 780, 300}, "a stored 500 × 400 falls back to 780 × 300"},
        {narrow, {8, 573, 684, 300}, "700 wide: 684 wide"},
        {narrowLeft, {-180, 573, 420, 300}, "700 wide, left: 420 and beyond the edge"},
        {narrowRight, {460, 573, 420, 300}, "700 wide, right"},
        {custom, {1360, 100, 640, 280}, "custom wholly to the right: 80 stay on screen"},
        {customLow, {-520, 0, 600, 250}, "custom below and left"},
        {customHigh, {100, 840, 600, 250}, "custom above: 60 below the top"},
        {customTiny, {330, 573, 780, 300}, "a stored frame under 560 wide is placed as top centre"},
        {cameraLeft, {8, 850 + 38.72 - 300, 682, 300}, "camera left of the lens"},
        {cameraRight, {750, 850 + 38.72 - 300, 682, 300}, "camera right of the lens"},
    };
    for (const Row& row : rows)
        expectFrame(PrompterPlacement::frame(row.input), row.expected, row.what);
}

TEST(PrompterPlacementTest, NotationRoundTripsAndReadsOtherTextsAsZero)
{
    EXPECT_EQ(RectNotation::fromRect(QRectF(330, 573, 780, 300)), QStringLiteral("{{330, 573}, {780, 300}}"));
    EXPECT_EQ(RectNotation::fromSize(QSizeF(602.5, 300)), QStringLiteral("{602.5, 300}"));
    EXPECT_EQ(RectNotation::rect(QStringLiteral("{{-8.5, 573}, {780, 300}}")), QRectF(-8.5, 573, 780, 300));
    EXPECT_EQ(RectNotation::size(QStringLiteral("{780, 300}")), QSizeF(780, 300));
    EXPECT_EQ(RectNotation::point(QStringLiteral("{0.25, 1}")), QPointF(0.25, 1));
    EXPECT_EQ(RectNotation::rect(QStringLiteral("garbage")), QRectF());
    EXPECT_EQ(RectNotation::size(QString()), QSizeF(0, 0));
    // Hand-edited texts in another form are not guessed at.
    EXPECT_EQ(RectNotation::size(QStringLiteral("800x400")), QSizeF(0, 0));
    EXPECT_EQ(RectNotation::size(QStringLiteral("800, 400")), QSizeF(0, 0));
    EXPECT_EQ(RectNotation::rect(QStringLiteral("{800, 400}, {780, 300}")), QRectF()) << "a rectangle opens with two braces";
    EXPECT_EQ(RectNotation::rect(QStringLiteral("10 20 780 300")), QRectF());
    EXPECT_EQ(RectNotation::point(QStringLiteral("0.5;0.5")), QPointF(0, 0));
    EXPECT_EQ(RectNotation::rect(QStringLiteral(" { {1, 2}, {780, 300}}")), QRectF(1, 2, 780, 300)) << "spaces between braces are fine";
    EXPECT_EQ(RectNotation::size(QStringLiteral("{780}")), QSizeF(780, 0)) << "missing numbers are 0";
}

TEST(PrompterPlacementTest, SpotFractionsAndTheWindowSystemFlip)
{
    const QRectF screen(0, 0, 1440, 900);
    EXPECT_EQ(PrompterPlacement::spotPoint(screen, {0.5, 0}), QPointF(720, 900));
    EXPECT_EQ(PrompterPlacement::spotPoint(screen, {0, 0}), QPointF(0, 900)) << "a zero point is the top-left corner";
    EXPECT_EQ(PrompterPlacement::spotFractions(screen, QPointF(360, 675)), QPointF(0.25, 0.25));
    EXPECT_EQ(PrompterPlacement::spotFractions(screen, QPointF(-50, 2000)), QPointF(0, 0)) << "clamped to the screen";
    EXPECT_EQ(PrompterPlacement::spotFractions(QRectF(1440, 0, 1280, 720), QPointF(2720, 0)), QPointF(1, 1));
    // Desktop points (y up from the primary's bottom) against X11 (y down from its top), a 900 high primary.
    EXPECT_EQ(PrompterPlacement::toWindowSystem(QRectF(330, 573, 780, 300), 900), QRectF(330, 27, 780, 300));
    EXPECT_EQ(PrompterPlacement::fromWindowSystem(QRectF(330, 27, 780, 300), 900), QRectF(330, 573, 780, 300));
    EXPECT_EQ(PrompterPlacement::pointToWindowSystem(QPointF(720, 900), 900), QPointF(720, 0));
}

} // namespace
