#include "platform/image/ImageBlur.h"
#include "platform/image/ImageColor.h"
#include "platform/image/ImageCompositing.h"
#include "platform/image/ImageResampling.h"
#include "platform/image/ImageShapes.h"
#include "platform/image/RoundedRectShape.h"

#include <gtest/gtest.h>

#include <opencv2/core.hpp>

#include <algorithm>
#include <atomic>
#include <thread>
#include <functional>
#include <vector>

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

TEST(ImageCoreTest, ARowsEvenSpanHasTheCoverageOfEveryPixelInIt)
{
    // Fractional edges, a radius as large as it may be, none, and a sliver: every pixel of the span has the
    // span's value, and the span reaches the middle of every row beside the straight edges.
    for (const auto& [rect, radius] : {std::pair{QRectF(10.3, 7.6, 41.2, 23.7), 8.5}, std::pair{QRectF(0, 0, 30, 30), 15.0},
             std::pair{QRectF(4.5, 2.25, 17, 9), 0.0}, std::pair{QRectF(3, 3, 0.6, 12), 0.2}}) {
        const RoundedRectShape shape = RoundedRectShape::make(rect, radius);
        const QRect bounds = shape.pixelBounds();
        for (int y = bounds.top(); y <= bounds.bottom(); ++y) {
            const RoundedRectShape::Span span = shape.evenSpan(y + 0.5);
            for (int x = span.from; x <= span.to; ++x)
                ASSERT_FLOAT_EQ(shape.coverage(x + 0.5, y + 0.5), span.value) << x << ", " << y;
            const int middle = static_cast<int>(shape.centerX);
            if (shape.isStraightRow(y + 0.5) && shape.halfWidth > 3) {
                EXPECT_TRUE(span.from <= middle && middle <= span.to) << y;
            }
        }
    }
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

TEST(ImageCoreTest, LanczosOnAPlaneIsTheSameAsOnAGreyPicture)
{
    cv::Mat plane(23, 31, CV_8UC1);
    for (int y = 0; y < plane.rows; ++y)
        for (int x = 0; x < plane.cols; ++x)
            plane.at<uint8_t>(y, x) = static_cast<uint8_t>((x * 37 + y * 11) % 200 + 20);
    cv::Mat grey;
    cv::Mat channels[4] = {plane, plane, plane, cv::Mat(plane.size(), CV_8UC1, cv::Scalar(255))};
    cv::merge(channels, 4, grey);
    const QTransform enlarge = QTransform::fromScale(1.9, 1.9) * QTransform::fromTranslate(3.3, -2.6);
    const QRect area(0, 0, 60, 40);
    cv::Mat expected, drawn;
    ImageResampling::draw(grey, enlarge, area, expected, ImageResampling::Filter::lanczos, true);
    ImageResampling::drawPlane(plane, enlarge, area, drawn, true, ImageResampling::Filter::lanczos);
    cv::Mat expectedPlane;
    cv::extractChannel(expected, expectedPlane, 0);
    cv::Mat difference;
    cv::absdiff(drawn, expectedPlane, difference);
    double worst = 0;
    cv::minMaxLoc(difference, nullptr, &worst);
    EXPECT_LE(worst, 0);
    // Shrinking stays the area filter whatever the filter asked for.
    cv::Mat shrunk, area2;
    ImageResampling::drawPlane(plane, QTransform::fromScale(0.6, 0.6), QRect(0, 0, 18, 13), shrunk, true, ImageResampling::Filter::lanczos);
    ImageResampling::drawPlane(plane, QTransform::fromScale(0.6, 0.6), QRect(0, 0, 18, 13), area2, true);
    EXPECT_EQ(cv::countNonZero(shrunk != area2), 0);
}

TEST(ImageCoreTest, RowsHandedOverAFewAtATimeAreTheWholeDrawingsRows)
{
    // A piece drawn in chunks is composited chunk by chunk: together the chunks must be the whole drawing, in
    // order, each ending on an even target row (a chroma block is never split between two), whatever the
    // area's first row, scale or path (a tiny scale sums its columns another way; a flip warps).
    cv::Mat picture(90, 140, CV_8UC4);
    for (int y = 0; y < picture.rows; ++y)
        for (int x = 0; x < picture.cols; ++x) {
            const uint8_t alpha = static_cast<uint8_t>((x * 7 + y * 3) % 256);
            picture.at<cv::Vec4b>(y, x) = cv::Vec4b(static_cast<uint8_t>(alpha * (x % 5) / 4), static_cast<uint8_t>(alpha / 2), 0, alpha);
        }
    const QTransform flip = QTransform::fromScale(-1.1, 1.1) * QTransform::fromTranslate(150, 3);
    for (const QTransform& map : {QTransform::fromScale(1.37, 1.41) * QTransform::fromTranslate(2.3, -1.6),
             QTransform::fromScale(0.71, 0.66) * QTransform::fromTranslate(-0.4, 5.2), QTransform::fromScale(0.2, 0.21), flip}) {
        for (const QRect& area : {QRect(3, 7, 150, 101), QRect(0, 4, 61, 70), QRect(10, 1, 20, 3)}) {
            SCOPED_TRACE(testing::Message() << "scale " << map.m11() << " area from row " << area.y());
            cv::Mat whole;
            ImageResampling::draw(picture, map, area, whole, ImageResampling::Filter::linear);
            cv::Mat assembled(area.height(), area.width(), CV_8UC4, cv::Scalar::all(9));
            int next = 0;
            cv::Mat scratch;
            ImageResampling::drawInRows(picture, map, area, scratch, ImageResampling::Filter::linear, false, [&](const cv::Mat& rows, int first) {
                EXPECT_EQ(first, next);
                const int end = first + rows.rows;
                EXPECT_TRUE(end == area.height() || (area.y() + end) % 2 == 0) << "a chunk ends on target row " << area.y() + end;
                rows.copyTo(assembled.rowRange(first, end));
                next = end;
            });
            EXPECT_EQ(next, area.height());
            EXPECT_EQ(cv::norm(whole, assembled, cv::NORM_INF), 0);
        }
    }
}

TEST(ImageCoreTest, APartDrawnAfterTheWholeIsThatPartOfIt)
{
    // The bands a drawing is cut into reuse the taps worked out for bands before them, or a part of them: each
    // band must still be its part of the whole, picture and plane alike, drawn on a thread that has drawn the
    // whole just before (reused) and on one that has drawn nothing (worked out afresh).
    cv::Mat picture(80, 120, CV_8UC4);
    cv::Mat plane(80, 120, CV_8UC1);
    for (int y = 0; y < picture.rows; ++y)
        for (int x = 0; x < picture.cols; ++x) {
            const uint8_t alpha = static_cast<uint8_t>((x * 5 + y * 9) % 256);
            picture.at<cv::Vec4b>(y, x) = cv::Vec4b(static_cast<uint8_t>(alpha / 3), static_cast<uint8_t>(alpha * (y % 3) / 2), 0, alpha);
            plane.at<uint8_t>(y, x) = static_cast<uint8_t>((x * 13 + y * 7) % 251);
        }
    const QRect whole(2, 3, 150, 96);
    // Above, below, beside and inside what a band goes around, and one reaching past the whole.
    const std::vector<QRect> parts {QRect(2, 3, 150, 20), QRect(2, 80, 150, 19), QRect(2, 23, 31, 57), QRect(120, 23, 32, 57),
        QRect(40, 40, 9, 9), QRect(100, 60, 80, 60)};
    for (const QTransform& map : {QTransform::fromScale(1.29, 1.33) * QTransform::fromTranslate(1.7, -2.2),
             QTransform::fromScale(0.83, 0.77) * QTransform::fromTranslate(0.35, 4.1), QTransform::fromTranslate(0.4, 0.6)}) {
        SCOPED_TRACE(testing::Message() << "scale " << map.m11());
        const auto drawBoth = [&](const QRect& area, cv::Mat& bgra, cv::Mat& grey) {
            ImageResampling::draw(picture, map, area, bgra, ImageResampling::Filter::linear);
            ImageResampling::drawPlane(plane, map, area, grey);
        };
        cv::Mat wholeBgra, wholeGrey;
        drawBoth(whole, wholeBgra, wholeGrey);
        for (const bool afterWhole : {true, false}) {
            std::thread([&] {
                if (afterWhole) {
                    cv::Mat bgra, grey;
                    drawBoth(whole, bgra, grey);
                }
                for (const QRect& part : parts) {
                    SCOPED_TRACE(testing::Message() << (afterWhole ? "after the whole, " : "alone, ") << "part at " << part.x() << ", " << part.y());
                    cv::Mat bgra, grey;
                    drawBoth(part, bgra, grey);
                    const QRect inside = part.intersected(whole).translated(-part.topLeft());
                    const QRect inWhole = part.intersected(whole).translated(-whole.topLeft());
                    const auto rect = [](const QRect& r) { return cv::Rect(r.x(), r.y(), r.width(), r.height()); };
                    EXPECT_EQ(cv::norm(bgra(rect(inside)), wholeBgra(rect(inWhole)), cv::NORM_INF), 0);
                    EXPECT_EQ(cv::norm(grey(rect(inside)), wholeGrey(rect(inWhole)), cv::NORM_INF), 0);
                }
            }).join();
        }
    }
}

TEST(ImageCoreTest, AShrunkOrMovedPlaneIsTheSameAsTheGreyPictureShrunkOrMoved)
{
    // The plane's own passes (rows summed two at a time, narrow ones too, columns by byte shuffles, word permutes
    // or gathers, a backdrop's one run of two taps) against the picture's, which work otherwise: every sum is exact, so
    // the bytes are the same. Scales from a quarter to a move by a fraction, edges repeated or left bare.
    cv::Mat plane(97, 301, CV_8UC1);
    for (int y = 0; y < plane.rows; ++y)
        for (int x = 0; x < plane.cols; ++x)
            plane.at<uint8_t>(y, x) = static_cast<uint8_t>((x * 37 + y * 11 + (x * y) % 7) % 240 + 8);
    cv::Mat grey;
    cv::Mat channels[4] = {plane, plane, plane, cv::Mat(plane.size(), CV_8UC1, cv::Scalar(255))};
    cv::merge(channels, 4, grey);
    for (const double scale : {0.26, 0.5, 0.61, 0.78, 0.93, 1.0}) {
        for (const bool clampEdges : {true, false}) {
            SCOPED_TRACE(testing::Message() << "scale " << scale << (clampEdges ? ", edges repeated" : ", edges bare"));
            const QTransform map = QTransform::fromScale(scale, scale) * QTransform::fromTranslate(-3.37, 2.61);
            // The whole picture and beyond, an area inside it (where one run of taps spans every row), and strips
            // that read from 5 to 30 columns.
            const QRect whole(1, 0, static_cast<int>(plane.cols * scale) + 2, static_cast<int>(plane.rows * scale) + 3);
            for (const QRect& area : {whole, whole.adjusted(6, 6, -12, -12), QRect(7, 3, 4, 20), QRect(9, 2, 7, 20), QRect(3, 5, 12, 20),
                     QRect(20, 4, 21, 15)}) {
                cv::Mat expected, drawn;
                ImageResampling::draw(grey, map, area, expected, ImageResampling::Filter::linear, clampEdges);
                ImageResampling::drawPlane(plane, map, area, drawn, clampEdges);
                cv::Mat expectedPlane;
                cv::extractChannel(expected, expectedPlane, 0);
                ASSERT_EQ(drawn.size(), expectedPlane.size());
                EXPECT_EQ(cv::countNonZero(drawn != expectedPlane), 0) << area.x() << "," << area.y();
            }
        }
    }
}

TEST(ImageCoreTest, APlaneDrawnAgainAtTheSameGeometryGivesTheSameBytes)
{
    // What one geometry works out is kept for the next frames: drawing many other pieces in between, more
    // than are kept, changes nothing.
    cv::Mat plane(41, 57, CV_8UC1);
    for (int y = 0; y < plane.rows; ++y)
        for (int x = 0; x < plane.cols; ++x)
            plane.at<uint8_t>(y, x) = static_cast<uint8_t>((x * 29 + y * 13) % 230 + 10);
    const auto drawn = [&](double scale, double dx, const QRect& area) {
        cv::Mat out;
        ImageResampling::drawPlane(plane, QTransform::fromScale(scale, scale) * QTransform::fromTranslate(dx, 1.5), area, out, true);
        return out;
    };
    const cv::Mat first = drawn(0.73, 2.25, QRect(1, 2, 38, 27));
    const cv::Mat enlarged = drawn(1.6, -3.5, QRect(0, 0, 80, 60));
    for (int i = 0; i < 80; ++i) {
        const cv::Mat other = drawn(0.5 + 0.01 * i, 0.1 * i, QRect(i % 3, 0, 30 + i % 5, 20));
        EXPECT_EQ(other.cols, 30 + i % 5);
    }
    EXPECT_EQ(cv::countNonZero(drawn(0.73, 2.25, QRect(1, 2, 38, 27)) != first), 0);
    EXPECT_EQ(cv::countNonZero(drawn(1.6, -3.5, QRect(0, 0, 80, 60)) != enlarged), 0);
    // A neighbouring area at the same scale is its own geometry.
    const cv::Mat shifted = drawn(0.73, 2.25, QRect(2, 2, 38, 27));
    EXPECT_EQ(cv::countNonZero(shifted(cv::Rect(0, 0, 37, 27)) != first(cv::Rect(1, 0, 37, 27))), 0);
}

TEST(ImageCoreTest, UpscalingKeepsPremultipliedColourWithinAlpha)
{
    cv::Mat edge = solid(6, 6, {0, 0, 0, 0});
    edge(cv::Rect(3, 0, 3, 6)).setTo(cv::Scalar(255, 255, 255, 255));
    cv::Mat out;
    ImageResampling::draw(edge, QTransform::fromScale(3.3, 3.3), QRect(0, 0, 19, 19), out, ImageResampling::Filter::lanczos);
    for (int y = 0; y < out.rows; ++y)
        for (int x = 0; x < out.cols; ++x)
            for (int c = 0; c < 3; ++c)
                ASSERT_LE(at(out, x, y)[c], at(out, x, y)[3]);
}

TEST(ImageCoreTest, LargeBlurKeepsMassAndSpreads)
{
    cv::Mat image = solid(200, 200, {0, 0, 0, 0});
    image(cv::Rect(80, 80, 40, 40)).setTo(cv::Scalar(255, 255, 255, 255));
    const double before = cv::sum(image)[3];
    ImageBlur::gaussian(image, 20, false);
    EXPECT_NEAR(cv::sum(image)[3] / before, 1.0, 0.03);
    EXPECT_GT(at(image, 100, 100)[3], 100);
    EXPECT_GT(at(image, 100, 135)[3], 10); // spread past the square
    EXPECT_LT(at(image, 100, 100)[3], 255);
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

TEST(ImageCoreTest, RingsCoverOnlyTheBandBetweenTheirShapes)
{
    cv::Mat image = solid(40, 40, {0, 0, 0, 0});
    ImageShapes::strokeRoundedRect(image, {}, QRectF(5, 5, 30, 30), 4, 2, {1, 1, 1, 1});
    EXPECT_EQ(at(image, 20, 20)[3], 0); // the middle stays clear
    EXPECT_EQ(at(image, 20, 5)[3], 255); // on the outline
    EXPECT_EQ(at(image, 20, 1)[3], 0);
    // A vertical fade scales the ring row by row.
    cv::Mat faded = solid(40, 40, {0, 0, 0, 0});
    ImageShapes::strokeRoundedRect(faded, {}, QRectF(5, 5, 30, 30), 4, 2, {1, 1, 1, 1}, [](double y) { return y < 20 ? 1.0 : 0.25; });
    EXPECT_EQ(at(faded, 20, 5)[3], 255);
    EXPECT_NEAR(at(faded, 20, 34)[3], 64, 1);
}

// Rows between the corners take one coverage for their whole span; every pixel must still equal the
// per-pixel rule, at fractional places, thin and wide strokes, offset canvases and a row fade.
TEST(ImageCoreTest, RingsMatchThePerPixelCoverageEverywhere)
{
    struct Case {
        QRectF rect;
        double radius;
        double width;
        QPoint origin;
        bool fade;
    };
    const Case cases[] = {
        {QRectF(5.3, 6.7, 180.4, 90.2), 12.5, 2, {}, false},
        {QRectF(10, 10, 150, 60), 0, 3, {}, false},
        {QRectF(-20.5, 3.25, 260, 120.5), 30, 1.5, {7, -4}, true},
        {QRectF(40.7, 20.1, 60, 8), 6, 4, {}, false},
    };
    for (const Case& c : cases) {
        cv::Mat image = solid(220, 140, {0, 0, 0, 0});
        const auto fade = [](double y) { return 0.3 + 0.005 * y; };
        ImageShapes::strokeRoundedRect(image, c.origin, c.rect, c.radius, c.width, {1, 1, 1, 1},
            c.fade ? std::function<double(double)>(fade) : std::function<double(double)>());
        const double h = c.width / 2;
        const RoundedRectShape outer = RoundedRectShape::make(c.rect.adjusted(-h, -h, h, h), c.radius + h);
        const RoundedRectShape inner = RoundedRectShape::make(c.rect.adjusted(h, h, -h, -h), std::max(c.radius - h, 0.0));
        int mismatches = 0;
        for (int y = 0; y < image.rows; ++y) {
            const double py = c.origin.y() + y + 0.5;
            const float rowFade = c.fade ? static_cast<float>(std::clamp(fade(py), 0.0, 1.0)) : 1.0f;
            for (int x = 0; x < image.cols; ++x) {
                const double px = c.origin.x() + x + 0.5;
                const float cover = outer.coverage(px, py) - inner.coverage(px, py);
                const float a = 255.0f * (cover > 0 ? cover * rowFade : 0.0f);
                const int expected = a > 0 ? static_cast<int>(std::min(255.0f, a + 0.5f)) : 0;
                mismatches += at(image, x, y)[3] != expected;
            }
        }
        EXPECT_EQ(mismatches, 0) << c.rect.x() << "," << c.rect.y();
    }
}

// Rows are graded eight pixels at a time where the processor allows; a lone pixel takes the plain loop.
// Both must give the same bytes, for every grade a camera card uses and for translucent pixels.
TEST(ImageCoreTest, GradeGivesTheSameBytesWholeRowsAsPixelByPixel)
{
    cv::Mat picture(9, 37, CV_8UC4);
    cv::randu(picture, cv::Scalar::all(0), cv::Scalar::all(256));
    for (int y = 0; y < picture.rows; ++y) {
        for (int x = 0; x < picture.cols; ++x) {
            cv::Vec4b& p = picture.at<cv::Vec4b>(y, x);
            p[3] = (x + y) % 3 == 0 ? 255 : std::max({p[0], p[1], p[2], p[3]}); // premultiplied
        }
    }
    ImageColor::Grade cameraCard;
    cameraCard.ev = -0.3;
    cameraCard.targetNeutral = QPointF(5800, 0);
    cameraCard.contrast = 1.06;
    cameraCard.saturation = 1.03;
    ImageColor::Grade strong = cameraCard;
    strong.ev = 0.8;
    strong.contrast = 1.5;
    strong.saturation = 0.2;
    strong.brightness = 0.1;
    for (const ImageColor::Grade& grade : {cameraCard, strong}) {
        cv::Mat whole = picture.clone();
        ImageColor::applyGrade(whole, grade);
        int mismatches = 0;
        for (int y = 0; y < picture.rows; ++y) {
            for (int x = 0; x < picture.cols; ++x) {
                cv::Mat one = picture(cv::Rect(x, y, 1, 1)).clone();
                ImageColor::applyGrade(one, grade);
                mismatches += at(one, 0, 0) != at(whole, x, y);
            }
        }
        EXPECT_EQ(mismatches, 0) << grade.ev;
    }
}

TEST(ImageCoreTest, GradeInPlanesGivesTheSameBytesWholeRowsAsBlockByBlock)
{
    // Odd widths, so the last blocks hold fewer pixels; rows long enough for the sixteen- and eight-pixel steps
    // (61: three sixteens, an eight and five plain pixels).
    for (const int width : {37, 61}) {
        const int height = 9;
        PlanarImage picture(width, height);
        cv::randu(picture.planes[0], cv::Scalar::all(16), cv::Scalar::all(236));
        cv::randu(picture.planes[1], cv::Scalar::all(16), cv::Scalar::all(241));
        cv::randu(picture.planes[2], cv::Scalar::all(16), cv::Scalar::all(241));
        ImageColor::Grade grade;
        grade.ev = -0.12;
        grade.targetNeutral = QPointF(5800, 0);
        grade.contrast = 1.06;
        grade.saturation = 1.03;
        PlanarImage whole(width, height);
        for (int i = 0; i < 3; ++i)
            picture.planes[i].copyTo(whole.planes[i]);
        ImageColor::applyGrade(whole.canvas(), grade);
        int mismatches = 0;
        for (int cy = 0; cy < (height + 1) / 2; ++cy) {
            for (int cx = 0; cx < (width + 1) / 2; ++cx) {
                const cv::Rect block(2 * cx, 2 * cy, std::min(2, width - 2 * cx), std::min(2, height - 2 * cy));
                PlanarImage one(block.width, block.height);
                picture.planes[0](block).copyTo(one.planes[0]);
                one.planes[1].setTo(picture.planes[1].at<uint8_t>(cy, cx));
                one.planes[2].setTo(picture.planes[2].at<uint8_t>(cy, cx));
                ImageColor::applyGrade(one.canvas(), grade);
                mismatches += cv::countNonZero(one.planes[0] != whole.planes[0](block));
                mismatches += one.planes[1].at<uint8_t>(0, 0) != whole.planes[1].at<uint8_t>(cy, cx);
                mismatches += one.planes[2].at<uint8_t>(0, 0) != whole.planes[2].at<uint8_t>(cy, cx);
            }
        }
        EXPECT_EQ(mismatches, 0) << width;
    }
}

TEST(ImageCoreTest, ColourControlsAdjustWithoutBreakingAlpha)
{
    cv::Mat picture = solid(3, 3, {40, 120, 200, 255});
    ImageColor::colorControls(picture, 1, 0, 0);
    const cv::Vec4b grey = at(picture, 1, 1);
    EXPECT_NEAR(grey[0], grey[1], 1);
    EXPECT_NEAR(grey[1], grey[2], 1);

    cv::Mat darker = solid(2, 2, {128, 128, 128, 255});
    ImageColor::exposure(darker, -1);
    EXPECT_LT(at(darker, 0, 0)[1], 100);
    cv::Mat warmer = solid(2, 2, {128, 128, 128, 255});
    ImageColor::temperatureAndTint(warmer, QPointF(6500, 0), QPointF(5800, 0));
    EXPECT_GT(at(warmer, 0, 0)[2], at(warmer, 0, 0)[0]); // red above blue

    cv::Mat flat = solid(8, 8, {90, 90, 90, 255});
    ImageColor::sharpenLuminance(flat, 0.35, 1.4);
    EXPECT_EQ(at(flat, 4, 4), cv::Vec4b(90, 90, 90, 255));

    cv::Mat translucent = solid(2, 2, {100, 100, 100, 100});
    ImageColor::colorControls(translucent, 1.5, 1.2, 0.2);
    for (int c = 0; c < 3; ++c)
        EXPECT_LE(at(translucent, 0, 0)[c], 100);
}

} // namespace

TEST(ImageCoreTest, SerialRowsKeepLargeRowWorkOnItsThreadUntilTheScopeEnds)
{
    const auto pieces = [] {
        std::atomic<int> calls {0};
        std::atomic<bool> elsewhere {false};
        const std::thread::id caller = std::this_thread::get_id();
        ImageCompositing::forRows(2160, 3840, [&](int, int) {
            ++calls;
            if (std::this_thread::get_id() != caller)
                elsewhere = true;
        });
        return std::pair {calls.load(), elsewhere.load()};
    };
    {
        SerialRows serial;
        {
            SerialRows nested;
        }
        // Still inside the outer scope after the nested one ends.
        EXPECT_EQ(pieces(), std::pair(1, false));
    }
    EXPECT_FALSE(SerialRows::active());
    // On a thread of its own the scope does not apply.
    std::thread([] { EXPECT_FALSE(SerialRows::active()); }).join();
}
