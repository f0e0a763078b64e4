#include "platform/image/ImageCompositing.h"
#include "platform/image/ImageResampling.h"
#include "platform/image/RoundedRectShape.h"

#include <gtest/gtest.h>

#include <opencv2/core.hpp>

namespace {

cv::Mat solid(int w, int h, cv::Vec4b bgra) { return cv::Mat(h, w, CV_8UC4, cv::Scalar(bgra[0], bgra[1], bgra[2], bgra[3])); }
cv::Vec4b at(const cv::Mat& m, int x, int y) { return m.at<cv::Vec4b>(y, x); }

TEST(ImageCoreTest, RoundedRectCoverageIsAnalytic)
{
    const RoundedRectShape shape = RoundedRectShape::make(QRectF(10, 10, 40, 20), 8);
    EXPECT_FLOAT_EQ(shape.coverage(30.5, 20.5), 1.0f);
    EXPECT_FLOAT_EQ(shape.coverage(5.5, 20.5), 0.0f);
    // A pixel centre on the straight edge is half covered.
    EXPECT_NEAR(shape.coverage(10.0, 20.5), 0.5f, 1e-6);
    // The exact corner of the bounding box lies outside the arc.
    EXPECT_FLOAT_EQ(shape.coverage(10.5, 10.5), 0.0f);
    EXPECT_FLOAT_EQ(shape.coverage(18, 18), 1.0f);
    // The radius is kept within half the shorter side; a negative size is empty.
    EXPECT_DOUBLE_EQ(RoundedRectShape::make(QRectF(0, 0, 10, 4), 50).radius, 2.0);
    EXPECT_TRUE(RoundedRectShape::make(QRectF(0, 0, -3, 4), 1).isEmpty());
}

TEST(ImageCoreTest, AreaResamplingAveragesAndPlacesAtSubpixelPositions)
{
    // A checkerboard halved becomes its mean.
    cv::Mat board(8, 8, CV_8UC4);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            board.at<cv::Vec4b>(y, x) = ((x + y) % 2) ? cv::Vec4b(200, 200, 200, 255) : cv::Vec4b(0, 0, 0, 255);
    cv::Mat out;
    ImageResampling::draw(board, QTransform::fromScale(0.5, 0.5), QRect(0, 0, 4, 4), out, ImageResampling::Filter::linear);
    EXPECT_EQ(at(out, 1, 2), cv::Vec4b(100, 100, 100, 255));

    // One opaque pixel moved by (3, 1) lands on (3 + x, 1 + y); by half a pixel it spreads over two.
    cv::Mat dot = solid(5, 5, {0, 0, 0, 0});
    dot.at<cv::Vec4b>(2, 2) = cv::Vec4b(255, 255, 255, 255);
    ImageResampling::draw(dot, QTransform::fromTranslate(3, 1), QRect(0, 0, 10, 10), out, ImageResampling::Filter::linear);
    EXPECT_EQ(at(out, 5, 3)[3], 255);
    EXPECT_EQ(at(out, 4, 3)[3], 0);
    ImageResampling::draw(dot, QTransform::fromTranslate(3.5, 1), QRect(0, 0, 10, 10), out, ImageResampling::Filter::linear);
    EXPECT_NEAR(at(out, 5, 3)[3], 128, 1);
    EXPECT_NEAR(at(out, 6, 3)[3], 128, 1);
    // Outside the source is transparent, or the nearest edge with clamped edges.
    ImageResampling::draw(solid(4, 4, {10, 20, 30, 255}), QTransform(), QRect(-2, 0, 8, 4), out, ImageResampling::Filter::linear);
    EXPECT_EQ(at(out, 0, 1)[3], 0);
    ImageResampling::draw(solid(4, 4, {10, 20, 30, 255}), QTransform(), QRect(-2, 0, 8, 4), out, ImageResampling::Filter::linear, true);
    EXPECT_EQ(at(out, 0, 1), cv::Vec4b(10, 20, 30, 255));
}

TEST(ImageCoreTest, CompositingOverWithAlphaAndMask)
{
    cv::Mat dst = solid(4, 4, {0, 0, 200, 255});
    ImageCompositing::over(dst, solid(2, 2, {100, 0, 0, 128}), QPoint(1, 1));
    EXPECT_EQ(at(dst, 0, 0), cv::Vec4b(0, 0, 200, 255));
    const cv::Vec4b mixed = at(dst, 1, 1);
    EXPECT_EQ(mixed[0], 100);
    EXPECT_NEAR(mixed[2], 200 * 127 / 255.0, 1);
    EXPECT_EQ(mixed[3], 255);
    // A layer alpha of 0.5 halves the source; placing partly outside clips.
    cv::Mat clear = solid(4, 4, {0, 0, 0, 0});
    ImageCompositing::over(clear, solid(3, 3, {200, 200, 200, 255}), QPoint(2, -1), 0.5);
    EXPECT_NEAR(at(clear, 3, 0)[3], 128, 1);
    EXPECT_EQ(at(clear, 1, 0)[3], 0);

    cv::Mat masked = solid(20, 20, {0, 0, 0, 0});
    ImageCompositing::overMasked(masked, solid(20, 20, {255, 255, 255, 255}), {}, RoundedRectShape::make(QRectF(2, 2, 16, 16), 6));
    EXPECT_EQ(at(masked, 10, 10)[3], 255);
    EXPECT_EQ(at(masked, 2, 2)[3], 0);
    EXPECT_EQ(at(masked, 0, 10)[3], 0);

    cv::Mat image = solid(4, 1, {100, 100, 100, 200});
    cv::Mat mask = solid(2, 1, {255, 255, 255, 255});
    cv::Mat cut = image.clone();
    ImageCompositing::blendWithAlphaMask(image, mask, QPoint(1, 0));
    EXPECT_EQ(at(image, 0, 0)[3], 0);
    EXPECT_EQ(at(image, 1, 0)[3], 200);
    ImageCompositing::sourceOut(cut, mask, QPoint(1, 0));
    EXPECT_EQ(at(cut, 0, 0)[3], 200);
    EXPECT_EQ(at(cut, 2, 0)[3], 0);
    EXPECT_EQ(ImageCompositing::contentBounds(image), QRect(1, 0, 2, 1));
    EXPECT_TRUE(ImageCompositing::contentBounds(solid(3, 3, {0, 0, 0, 0})).isEmpty());
}

} // namespace
