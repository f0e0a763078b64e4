#include "compositing/BubbleShapePath.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(BubbleShapePath, RoundedCornersAreAFifthOfTheShorterSideAndTheCircleIsInscribed)
{
    const QRectF rect(10, 20, 300, 200);
    const QPainterPath path = BubbleShapePath::path(BubbleShape::square, rect, 0);
    EXPECT_EQ(path.boundingRect(), rect);
    // The bottom-left corner arc is centred 44 in from both edges.
    const QPointF arcCentre(10 + 44, 20 + 44);
    const double diagonal = 1 / std::sqrt(2.0);
    EXPECT_TRUE(path.contains(arcCentre + QPointF(-43 * diagonal, -43 * diagonal)));
    EXPECT_FALSE(path.contains(arcCentre + QPointF(-45 * diagonal, -45 * diagonal)));
    EXPECT_TRUE(path.contains(QPointF(10.5, 20 + 44))); // the straight edge starts where the arc ends

    // The circle is the inscribed ellipse.
    const QPainterPath circle = BubbleShapePath::path(BubbleShape::circle, QRectF(0, 0, 200, 100), 0);
    EXPECT_TRUE(circle.contains(QPointF(100, 50)));
    EXPECT_TRUE(circle.contains(QPointF(199, 50)));
    EXPECT_FALSE(circle.contains(QPointF(5, 5)));
    EXPECT_FALSE(circle.contains(QPointF(190, 95)));
}

TEST(BubbleShapePath, TheCornerRadiusIsTheOneTheOutlineRoundsBy)
{
    EXPECT_DOUBLE_EQ(BubbleShapePath::cornerRadius(BubbleShape::square, 200), 44);
    EXPECT_DOUBLE_EQ(BubbleShapePath::cornerRadius(BubbleShape::circle, 200), 100);
    // A bubble of 260 points measured for a render twice the screen's height.
    EXPECT_DOUBLE_EQ(BubbleShapePath::cornerRadius(BubbleShape::circle, 260, 2), 260);
    EXPECT_DOUBLE_EQ(BubbleShapePath::cornerRadius(BubbleShape::square, 260, 0.5), 28.6);

    // The rounded outline's arc has exactly that radius, on the shorter side of a tall rect too.
    const QRectF tall(0, 0, 150, 400);
    const double r = BubbleShapePath::cornerRadius(BubbleShape::square, 150);
    const QPainterPath path = BubbleShapePath::path(BubbleShape::square, tall, 0);
    const double diagonal = 1 / std::sqrt(2.0);
    EXPECT_TRUE(path.contains(QPointF(r, r) + QPointF(-(r - 1) * diagonal, -(r - 1) * diagonal)));
    EXPECT_FALSE(path.contains(QPointF(r, r) + QPointF(-(r + 1) * diagonal, -(r + 1) * diagonal)));
}

TEST(BubbleShapePath, TiltTurnsCounterClockwiseAboutTheCentre)
{
    const QRectF rect(0, 0, 200, 100);
    // A wide ellipse turned 90° becomes a tall one about the same centre.
    const QPainterPath turned = BubbleShapePath::path(BubbleShape::circle, rect, 90);
    EXPECT_NEAR(turned.boundingRect().width(), 100, 0.5);
    EXPECT_NEAR(turned.boundingRect().height(), 200, 0.5);
    EXPECT_NEAR(turned.boundingRect().center().x(), 100, 1e-6);
    EXPECT_NEAR(turned.boundingRect().center().y(), 50, 1e-6);

    // Counter-clockwise in y-up: the right end of the long axis moves up.
    const QPainterPath small = BubbleShapePath::path(BubbleShape::circle, rect, 30);
    const QPointF upRight(100 + 90 * std::cos(M_PI / 6), 50 + 90 * std::sin(M_PI / 6));
    EXPECT_TRUE(small.contains(upRight));
    EXPECT_FALSE(small.contains(QPointF(upRight.x(), 50 - 90 * std::sin(M_PI / 6))));
}

} // namespace
