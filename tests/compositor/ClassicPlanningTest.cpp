#include "compositing/FestrinCompositor.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

const QSizeF frame(1920, 1080);

} // namespace

TEST(ClassicPlanningTest, RingsGrowAndFadeForFourtyFiveHundredthsOfASecond)
{
    const Click click{1.0, 0.25, 0.75};
    struct Case {
        double t;
        double radius;
        double opacity;
    };
    for (const Case& c : {Case{1.0, 16.1, 0.55}, Case{1.225, 31.05, 0.275}, Case{1.45, 46, 0}}) {
        const auto ring = FestrinCompositor::classicRing(click, c.t, frame);
        ASSERT_TRUE(ring) << c.t;
        EXPECT_NEAR(ring->radius, c.radius, 1e-9) << c.t;
        EXPECT_NEAR(ring->opacity, c.opacity, 1e-9) << c.t;
        EXPECT_EQ(ring->centre, QPointF(480, 810));
    }
    EXPECT_FALSE(FestrinCompositor::classicRing(click, 1.46, frame));
    EXPECT_FALSE(FestrinCompositor::classicRing(click, 0.999, frame));
    EXPECT_FALSE(FestrinCompositor::classicRing(click, std::nan(""), frame));
}

TEST(ClassicPlanningTest, CursorScaleFollowsFrameHeightPressAndRootOfZoom)
{
    const double base = 1080 * 0.046 / (14 * 19.3);
    EXPECT_NEAR(FestrinCompositor::classicCursorScale(1, QTransform(), 1080, 14), base, 1e-12);
    EXPECT_NEAR(FestrinCompositor::classicCursorScale(0.84, QTransform::fromScale(2, 2), 1080, 14), 0.84 * std::sqrt(2.0) * base, 1e-12);
    // Zoom factors below 0.3 count as 0.3.
    EXPECT_NEAR(FestrinCompositor::classicCursorScale(1, QTransform::fromScale(0.1, 0.1), 1080, 14), std::sqrt(0.3) * base, 1e-12);
}

TEST(ClassicPlanningTest, PhoneFrameOfAHundredPixelWidePhone)
{
    const auto phone = FestrinCompositor::phoneFrame(QRectF(10, 20, 100, 200));
    EXPECT_NEAR(phone.bezel, 3, 1e-12);
    EXPECT_NEAR(phone.outerRadius, 15.5, 1e-12);
    EXPECT_NEAR(phone.innerRadius, 12.5, 1e-12);
    EXPECT_EQ(phone.screen, QRectF(13, 23, 94, 194));
    EXPECT_NEAR(phone.pill.width(), 30, 1e-12);
    EXPECT_NEAR(phone.pill.height(), 8.5, 1e-12);
    EXPECT_NEAR(phone.pill.x(), 45, 1e-12);
    // Bottom edge: top of the phone − bezel − 2.8 − pill height.
    EXPECT_NEAR(phone.pill.y(), 220 - 3 - 2.8 - 8.5, 1e-9);
    // A tiny phone keeps an inner radius of 2.
    EXPECT_NEAR(FestrinCompositor::phoneFrame(QRectF(0, 0, 10, 20)).innerRadius, 2, 1e-12);
}

