// The studio frame drawn straight into 4:2:0 planes against the same frame drawn in BGRA and converted the way
// the encoder converted it: the planes may round differently, and chroma may differ where colour changes
// sharply inside a 2×2 block (the two paths average a block differently), nowhere else.

#include "renderer/ReviewFrameFixtures.h"
#include "platform/image/ImageCompositing.h"
#include "platform/image/PlanarCompositing.h"
#include "platform/media/PixelBufferViews.h"
#include "platform/media/PlanarPictureConverter.h"
#include "platform/media/YuvConversion.h"

#include <QDir>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cmath>
#include <memory>
#include <tuple>
#include <variant>

namespace {

using namespace ReviewFrameFixtures;

// OLVENNAR_WRITE_LOOK_COMPARISON=<folder> writes three looks side by side instead (left: the screen and camera
// as BGRA, drawn in BGRA and through the encoder's conversion; right: the decoded screen and camera drawn into
// the planes), both shown as a player decodes them.

// A BGRA picture in planes, through the encoder's conversion.
PlanarImage encoderPlanes(const PixelBuffer& picture)
{
    PlanarPictureConverter converter(picture.width(), picture.height());
    auto converted = converter.convert(picture);
    EXPECT_TRUE(std::holds_alternative<std::shared_ptr<const PlanarPicture>>(converted));
    PlanarImage planes(picture.width(), picture.height());
    if (auto* made = std::get_if<std::shared_ptr<const PlanarPicture>>(&converted)) {
        for (int i = 0; i < 3; ++i) {
            const cv::Mat source(planes.planes[i].rows, planes.planes[i].cols, CV_8UC1, const_cast<uint8_t*>((*made)->plane(i)),
                static_cast<size_t>((*made)->stride(i)));
            source.copyTo(planes.planes[i]);
        }
    }
    return planes;
}

// Full-resolution chroma of a BGRA picture (Cb, Cr), for telling where colour changes sharply.
std::pair<cv::Mat, cv::Mat> fullChroma(const PixelBuffer& picture)
{
    cv::Mat cb(picture.height(), picture.width(), CV_32F), cr(picture.height(), picture.width(), CV_32F);
    for (int y = 0; y < picture.height(); ++y) {
        const uint8_t* p = picture.row(y);
        for (int x = 0; x < picture.width(); ++x, p += 4) {
            const double R = p[2], G = p[1], B = p[0];
            cb.at<float>(y, x) = static_cast<float>(128 + 224.0 / 255 * (-0.1146 * R - 0.3854 * G + 0.5 * B));
            cr.at<float>(y, x) = static_cast<float>(128 + 224.0 / 255 * (0.5 * R - 0.4542 * G - 0.0458 * B));
        }
    }
    return {cb, cr};
}

PixelBuffer gradient(int width, int height, bool fadingPiece)
{
    PixelBuffer picture(width, height);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = picture.row(y);
        for (int x = 0; x < width; ++x) {
            // Fades to clear at the piece's border, so no sharp edge decides the result.
            const double fx = std::min(x + 0.5, width - x - 0.5) / (width / 2.0), fy = std::min(y + 0.5, height - y - 0.5) / (height / 2.0);
            const double alpha = fadingPiece ? std::clamp(std::min(fx, fy) * 1.6, 0.0, 1.0) : 1.0;
            const double b = 40 + 150.0 * x / width, g = 200 - 120.0 * y / height, r = 90 + 100.0 * (x + y) / (width + height);
            uint8_t* p = row + 4 * x;
            p[0] = static_cast<uint8_t>(std::lround(b * alpha));
            p[1] = static_cast<uint8_t>(std::lround(g * alpha));
            p[2] = static_cast<uint8_t>(std::lround(r * alpha));
            p[3] = static_cast<uint8_t>(std::lround(255 * alpha));
        }
    }
    return picture;
}

// A screen picture as a decoder hands it out (the encoder's planes) and as the reader turned it into BGRA.
struct DecodedScreen {
    PlanarImage planes;
    PixelBuffer bgra;
};

DecodedScreen decoded(const PixelBuffer& screen)
{
    DecodedScreen made {encoderPlanes(screen), PixelBuffer(screen.width(), screen.height())};
    const PlanarView view = made.planes.view();
    YuvConversion::Planes source;
    for (int i = 0; i < 3; ++i) {
        source.data[i] = view.data[i];
        source.stride[i] = view.stride[i];
    }
    EXPECT_TRUE(YuvConversion(true, false).toBgra(source, made.bgra));
    made.bgra.markOpaque();
    return made;
}

int worstDifference(const cv::Mat& a, const cv::Mat& b)
{
    cv::Mat difference;
    cv::absdiff(a, b, difference);
    double worst = 0;
    cv::minMaxLoc(difference, nullptr, &worst);
    return static_cast<int>(worst);
}

TEST(PlanarCompositingTest, OverMatchesBlendingInBgraThenConverting)
{
    const PixelBuffer under = gradient(160, 120, false);
    const PixelBuffer piece = gradient(91, 67, true);
    // An odd place, partly off the canvas.
    for (const QPoint at : {QPoint(37, 21), QPoint(-13, 71), QPoint(120, -9)}) {
        PixelBuffer blended = under;
        cv::Mat target = PixelBufferViews::mat(blended);
        ImageCompositing::over(target, PixelBufferViews::mat(piece), at, 0.8);
        const PlanarImage expected = encoderPlanes(blended);

        PlanarImage planes = encoderPlanes(under);
        PlanarCompositing::over(planes.canvas(), PixelBufferViews::mat(piece), at, 0.8);
        for (int i = 0; i < 3; ++i)
            EXPECT_LE(worstDifference(planes.planes[i], expected.planes[i]), 2) << "plane " << i << " at " << at.x() << "," << at.y();
    }
}

TEST(PlanarCompositingTest, WideRowsBlendToTheBytesOfNarrowOnes)
{
    // Rows of eight pixels or more take vector loops, strips two pixels wide the plain ones: every byte and alpha
    // value, faded or not, must come out the same either way.
    PixelBuffer piece(93, 6);
    for (int y = 0; y < piece.height(); ++y)
        for (int x = 0; x < piece.width(); ++x) {
            uint8_t* p = piece.row(y) + 4 * x;
            const int alpha = (x * 37 + y * 101) % 256;
            for (int c = 0; c < 3; ++c)
                p[c] = static_cast<uint8_t>(alpha * ((x * 13 + y * 7 + c * 89) % 256) / 255);
            p[3] = static_cast<uint8_t>(alpha);
        }
    const PixelBuffer under = gradient(120, 10, false);
    const QPoint at(6, 2);
    for (const double alpha : {1.0, 0.61, 0.03}) {
        PlanarImage wide = encoderPlanes(under);
        PlanarCompositing::over(wide.canvas(), PixelBufferViews::mat(piece), at, alpha);
        PlanarImage narrow = encoderPlanes(under);
        for (int x = 0; x < piece.width(); x += 2) {
            const int width = std::min(2, piece.width() - x);
            PlanarCompositing::over(narrow.canvas(), PixelBufferViews::mat(piece)(cv::Rect(x, 0, width, piece.height())), at + QPoint(x, 0), alpha);
        }
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(worstDifference(wide.planes[i], narrow.planes[i]), 0) << "plane " << i << " at alpha " << alpha;
    }
}

TEST(PlanarCompositingTest, APreparedPieceDrawsWhatOverDraws)
{
    const PixelBuffer under = gradient(160, 120, false);
    const PixelBuffer piece = gradient(91, 67, true);
    // An odd place and size: the prepared piece grows to whole blocks of clear pixels.
    for (const QPoint at : {QPoint(37, 21), QPoint(-13, 71)}) {
        PlanarImage expected = encoderPlanes(under);
        PlanarCompositing::over(expected.canvas(), PixelBufferViews::mat(piece), at);
        PlanarImage planes = encoderPlanes(under);
        const PlanarCompositing::PreparedPiece prepared = PlanarCompositing::prepare(PixelBufferViews::mat(piece), at);
        EXPECT_EQ(prepared.rect.left() % 2, 0);
        EXPECT_EQ(prepared.rect.width() % 2, 0);
        // In two areas, as the renderer's bands come.
        PlanarCompositing::over(planes.canvas(), prepared, QRect(0, 0, 160, 60));
        PlanarCompositing::over(planes.canvas(), prepared, QRect(0, 60, 160, 60));
        for (int i = 0; i < 3; ++i)
            EXPECT_LE(worstDifference(planes.planes[i], expected.planes[i]), 1) << "plane " << i << " at " << at.x() << "," << at.y();
    }
    // An area splitting blocks draws nothing.
    PlanarImage planes = encoderPlanes(under);
    const cv::Mat before = planes.planes[0].clone();
    PlanarCompositing::over(planes.canvas(), PlanarCompositing::prepare(PixelBufferViews::mat(piece), QPoint(10, 10)), QRect(11, 10, 40, 40));
    EXPECT_EQ(cv::countNonZero(planes.planes[0] != before), 0);
}

TEST(PlanarCompositingTest, WhatAPreparedPieceLeavesClearIsUntouched)
{
    // A shadow's clear pixels lie over most of the frame: they must not move a level through rounding, in any
    // plane, whatever the level under them. Its opaque white and black keep their own levels.
    PixelBuffer piece(16, 8);
    piece.fill(0, 0, 0, 0);
    for (int x = 8; x < 16; ++x)
        for (int y = 0; y < 8; ++y)
            std::fill(piece.row(y) + 4 * x, piece.row(y) + 4 * x + 4, static_cast<uint8_t>(x < 12 ? 255 : 0));
    for (int x = 12; x < 16; ++x)
        for (int y = 0; y < 8; ++y)
            piece.row(y)[4 * x + 3] = 255;
    PlanarImage canvas(16, 8);
    for (int i = 0; i < 3; ++i)
        for (int y = 0; y < canvas.planes[i].rows; ++y)
            for (int x = 0; x < canvas.planes[i].cols; ++x)
                canvas.planes[i].at<uint8_t>(y, x) = static_cast<uint8_t>((x * 97 + y * 31 + i * 50) % 256);
    const PlanarImage before = [&] {
        PlanarImage copy(16, 8);
        for (int i = 0; i < 3; ++i)
            canvas.planes[i].copyTo(copy.planes[i]);
        return copy;
    }();
    PlanarCompositing::over(canvas.canvas(), PlanarCompositing::prepare(PixelBufferViews::mat(piece), QPoint(0, 0)), QRect(0, 0, 16, 8));
    EXPECT_EQ(cv::countNonZero(canvas.planes[0](cv::Rect(0, 0, 8, 8)) != before.planes[0](cv::Rect(0, 0, 8, 8))), 0);
    for (int i : {1, 2})
        EXPECT_EQ(cv::countNonZero(canvas.planes[i](cv::Rect(0, 0, 4, 4)) != before.planes[i](cv::Rect(0, 0, 4, 4))), 0) << "plane " << i;
    EXPECT_EQ(cv::countNonZero(canvas.planes[0](cv::Rect(8, 0, 4, 8)) != 235), 0) << "white";
    EXPECT_EQ(cv::countNonZero(canvas.planes[0](cv::Rect(12, 0, 4, 8)) != 16), 0) << "black";
    EXPECT_EQ(cv::countNonZero(canvas.planes[1](cv::Rect(4, 0, 4, 4)) != 128), 0) << "grey has no colour";
}

TEST(PlanarCompositingTest, ChromaTakesTheBlockAverage)
{
    PixelBuffer grey(8, 8);
    grey.fill(128, 128, 128, 255);
    PlanarImage planes = encoderPlanes(grey);
    const PlanarImage before = encoderPlanes(grey);
    PixelBuffer red(1, 1);
    red.fill(0, 0, 255, 255);
    PlanarCompositing::over(planes.canvas(), PixelBufferViews::mat(red), QPoint(3, 5));
    // The pixel itself takes red's luma; its block's chroma moves a quarter of the way to red's.
    EXPECT_NEAR(planes.planes[0].at<uint8_t>(5, 3), 63, 1); // 16 + 219 · 0.2126
    EXPECT_EQ(planes.planes[0].at<uint8_t>(5, 2), before.planes[0].at<uint8_t>(5, 2));
    EXPECT_NEAR(planes.planes[1].at<uint8_t>(2, 1), 128 + (102 - 128) / 4.0, 1);
    EXPECT_NEAR(planes.planes[2].at<uint8_t>(2, 1), 128 + (240 - 128) / 4.0, 1);
    int changed = 0;
    for (int i = 1; i < 3; ++i)
        changed += cv::countNonZero(planes.planes[i] != before.planes[i]);
    EXPECT_EQ(changed, 2); // only that block's Cb and Cr
}

TEST(PlanarCompositingTest, OddCanvasesAndPiecesPastEveryEdge)
{
    // 7 × 5: the last chroma column and row stand for one luma column and row.
    PlanarImage planes(7, 5);
    for (cv::Mat& plane : planes.planes)
        plane.setTo(0);
    PixelBuffer white(11, 9);
    white.fill(255, 255, 255, 255);
    PlanarCompositing::over(planes.canvas(), PixelBufferViews::mat(white), QPoint(-3, -1));
    EXPECT_EQ(cv::countNonZero(planes.planes[0] != 235), 0);
    EXPECT_EQ(cv::countNonZero(planes.planes[1] != 128), 0);
    EXPECT_EQ(cv::countNonZero(planes.planes[2] != 128), 0);

    // The corner block holds one pixel of the canvas: filling that pixel fills the block.
    PlanarCompositing::fill(planes.canvas(), QRect(6, 4, 5, 5), 255, 0, 0);
    EXPECT_EQ(planes.planes[0].at<uint8_t>(4, 6), 63);
    EXPECT_NEAR(planes.planes[2].at<uint8_t>(2, 3), 240, 1);
    EXPECT_EQ(planes.planes[2].at<uint8_t>(1, 3), 128);
    // A fill over part of a whole block moves its chroma in proportion.
    PlanarCompositing::fill(planes.canvas(), QRect(1, 1, 1, 1), 255, 0, 0);
    EXPECT_NEAR(planes.planes[2].at<uint8_t>(0, 0), 128 + (240 - 128) / 4.0, 1);
    // Over, the same: the last column's blocks are two pixels high and one wide.
    PixelBuffer red(1, 2);
    red.fill(0, 0, 255, 255);
    PlanarCompositing::over(planes.canvas(), PixelBufferViews::mat(red), QPoint(6, 0));
    EXPECT_NEAR(planes.planes[2].at<uint8_t>(0, 3), 240, 1);
}

TEST(PlanarCompositingTest, MixOpaqueWeighsLumaPerPixelAndChromaPerBlock)
{
    // 7 × 5 canvas (odd: its last blocks hold fewer pixels), grey; the piece is a flat colour.
    PlanarImage canvas(7, 5);
    canvas.planes[0].setTo(100);
    canvas.planes[1].setTo(128);
    canvas.planes[2].setTo(128);
    PlanarImage piece(8, 6);
    piece.planes[0].setTo(200);
    piece.planes[1].setTo(60);
    piece.planes[2].setTo(180);
    // Columns 2 and 3 half covered, everything from column 4 on wholly, the rest bare.
    const PlanarCompositing::RowCoverage coverage = [](int, int x0, int count, float* into) {
        for (int i = 0; i < count; ++i)
            into[i] = x0 + i >= 4 ? 1.0f : x0 + i >= 2 ? 0.5f : 0.0f;
    };
    PlanarCompositing::mixOpaque(canvas.canvas(), piece.view(), QPoint(0, 0), coverage);
    EXPECT_EQ(canvas.planes[0].at<uint8_t>(1, 0), 100);
    EXPECT_EQ(canvas.planes[0].at<uint8_t>(1, 2), 150);
    EXPECT_EQ(canvas.planes[0].at<uint8_t>(4, 6), 200);
    EXPECT_EQ(canvas.planes[1].at<uint8_t>(0, 0), 128);
    EXPECT_EQ(canvas.planes[1].at<uint8_t>(1, 1), 94); // half the block: halfway to 60
    EXPECT_EQ(canvas.planes[2].at<uint8_t>(2, 3), 180); // the corner block's one pixel, covered
    EXPECT_EQ(canvas.planes[1].at<uint8_t>(2, 2), 60);

    // Without coverage the piece replaces what is under it; placed past the canvas, it is clipped.
    PlanarCompositing::mixOpaque(canvas.canvas(), piece.view(), QPoint(-2, 2));
    EXPECT_EQ(canvas.planes[0].at<uint8_t>(3, 0), 200);
    EXPECT_EQ(canvas.planes[0].at<uint8_t>(1, 0), 100); // row 1 lies above the piece
    EXPECT_EQ(canvas.planes[0].at<uint8_t>(2, 5), 200);
    EXPECT_EQ(canvas.planes[0].at<uint8_t>(2, 6), 200); // the first mix
    EXPECT_EQ(canvas.planes[1].at<uint8_t>(0, 0), 128);
    EXPECT_EQ(canvas.planes[1].at<uint8_t>(1, 0), 60);
    // A piece off the chroma grid would split blocks: it is refused.
    const cv::Mat before = canvas.planes[0].clone();
    PlanarCompositing::mixOpaque(canvas.canvas(), piece.view(), QPoint(1, 0));
    EXPECT_EQ(cv::countNonZero(canvas.planes[0] != before), 0);
}

// Decoded planes of a picture the way the movie reader shares them, and the BGRA it made of them before.
struct DecodedPicture {
    std::shared_ptr<const PlanarPicture> shared;
    PlanarView view;
    PixelBuffer bgra;
};

DecodedPicture decodedShared(const PixelBuffer& picture)
{
    PlanarPictureConverter converter(picture.width(), picture.height());
    auto converted = converter.convert(picture);
    DecodedPicture made {std::get<0>(converted), {}, PixelBuffer(picture.width(), picture.height())};
    made.view = made.shared->view();
    YuvConversion::Planes source;
    for (int i = 0; i < 3; ++i) {
        source.data[i] = made.view.data[i];
        source.stride[i] = made.view.stride[i];
    }
    EXPECT_TRUE(YuvConversion(true, false).toBgra(source, made.bgra));
    return made;
}

// The chroma samples whose block the card's rounded mask covers only partly (its antialiased edge), at rest
// or wherever the layout has moved the card.
cv::Mat maskEdgeBlocks(const StudioRenderer& renderer, std::optional<LayoutBlend> layout)
{
    const std::optional<StudioLayoutFrame> frame = renderer.layoutFrame(layout);
    const QRectF card = frame ? frame->cardRect : renderer.geometry().cardRect;
    const double radius = frame ? frame->cardRadius : renderer.geometry().cardRadius;
    const RoundedRectShape shape = RoundedRectShape::make(QRectF(card.x(), H - card.y() - card.height(), card.width(), card.height()), radius);
    cv::Mat edge(H / 2, W / 2, CV_8UC1, cv::Scalar(0));
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            const float cover = shape.coverage(x + 0.5, y + 0.5);
            if (cover > 0.001f && cover < 0.999f)
                edge.at<uint8_t>(y / 2, x / 2) = 1;
        }
    }
    return edge;
}

// A review frame drawn today's way (the reader's BGRA screen and camera, drawn in BGRA, through the encoder's
// conversion) and straight from the decoded planes, each by a renderer of its own.
struct BothWays {
    PixelBuffer bgra {W, H};
    PlanarImage expected;
    PlanarImage planes {W, H};
    std::unique_ptr<StudioRenderer> after;
    StudioRenderer::Frame planarFrame;
};

std::unique_ptr<BothWays> drawBothWays(const Review& review, StudioRenderer::Frame frame, const DecodedScreen& screen, const PlanarView& screenPlanes,
    const DecodedPicture& camera, bool shared)
{
    auto drawn = std::make_unique<BothWays>();
    StudioRenderer before(QSize(W, H), QSizeF(1920, 1080), review.faceLayout, review.background);
    frame.screen = &screen.bgra;
    frame.camera = &camera.bgra;
    EXPECT_TRUE(before.render(frame, drawn->bgra));
    drawn->expected = encoderPlanes(drawn->bgra);
    drawn->after = std::make_unique<StudioRenderer>(QSize(W, H), QSizeF(1920, 1080), review.faceLayout, review.background);
    frame.screen = nullptr;
    frame.screenPlanes = &screenPlanes;
    frame.camera = nullptr;
    frame.cameraPlanes = &camera.view;
    if (shared)
        frame.sharedCameraPlanes = camera.shared;
    EXPECT_TRUE(drawn->after->render(frame, drawn->planes.canvas()));
    drawn->planarFrame = frame;
    return drawn;
}

TEST(StudioRendererPlanarTest, DecodedScreenPlanesMatchTodaysBgraScreen)
{
    // The screen and the camera as decoded planes, resampled (and the camera graded and masked) plane by plane,
    // against the same planes turned into BGRA by the reader, drawn in BGRA and converted for the encoder. Luma
    // stays within 2 everywhere, chroma where colour is smooth; where it changes sharply (the window's
    // antialiased edge mixes whole chroma blocks by their average coverage; text and coloured blocks) up to 6.
    // The card is checked at rest, faded, and while the layout morphs.
    const DecodedPicture camera = decodedShared(face());
    for (const Review& review : reviews()) {
      for (const double cardAlpha : {1.0, 0.55}) {
        if (cardAlpha < 1 && review.name != "steady-blush" && review.name != "morph-dark")
            continue;
        SCOPED_TRACE(review.name + (cardAlpha < 1 ? " faded" : ""));
        const DecodedScreen screen = decoded(reviewScreen(review));
        const PlanarView planesView = screen.planes.view();
        StudioRenderer::Frame frame = reviewFrame(review);
        frame.cardAlpha = cardAlpha;
        const std::unique_ptr<BothWays> drawn = drawBothWays(review, frame, screen, planesView, camera, true);
        const PixelBuffer& bgra = drawn->bgra;
        const PlanarImage& expected = drawn->expected;
        const PlanarImage& planes = drawn->planes;
        StudioRenderer& after = *drawn->after;
        // The same picture again: the card at rest reuses what it made of it, and draws the same.
        PlanarImage again(W, H);
        ASSERT_TRUE(after.render(drawn->planarFrame, again.canvas()));
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(cv::countNonZero(again.planes[i] != planes.planes[i]), 0) << "plane " << i << " drawn again";
        // A third time the window has stood still for a frame: its rim comes from what was kept in planes.
        PlanarImage third(W, H);
        ASSERT_TRUE(after.render(drawn->planarFrame, third.canvas()));

        // On the card's antialiased edge the two ways average a block's coverage differently.
        const cv::Mat cardEdge = maskEdgeBlocks(after, review.layout);

        const auto [cb, cr] = fullChroma(bgra);
        for (const PlanarImage* drawnPlanes : {&planes, static_cast<const PlanarImage*>(&third)}) {
        SCOPED_TRACE(drawnPlanes == &third ? "third frame" : "first frame");
        int worstLuma = 0, worstChroma = 0, worstChromaAtEdges = 0, worstOnCardEdge = 0, sharp = 0, beyondSix = 0;
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                worstLuma = std::max(worstLuma, std::abs(drawnPlanes->planes[0].at<uint8_t>(y, x) - expected.planes[0].at<uint8_t>(y, x)));
        for (int cy = 0; cy < H / 2; ++cy) {
            for (int cx = 0; cx < W / 2; ++cx) {
                // The block and the rows either side that the encoder's vertical filter reads.
                const int y0 = std::max(2 * cy - 2, 0);
                const cv::Rect block(2 * cx, y0, 2, std::min(2 * cy + 4, H) - y0);
                double low = 0, high = 0, lowR = 0, highR = 0;
                cv::minMaxLoc(cb(block), &low, &high);
                cv::minMaxLoc(cr(block), &lowR, &highR);
                const bool isSharp = std::max(high - low, highR - lowR) > 6;
                sharp += isSharp;
                for (int i = 1; i < 3; ++i) {
                    const int d = std::abs(drawnPlanes->planes[i].at<uint8_t>(cy, cx) - expected.planes[i].at<uint8_t>(cy, cx));
                    if (cardEdge.at<uint8_t>(cy, cx))
                        worstOnCardEdge = std::max(worstOnCardEdge, d);
                    else
                        (isSharp ? worstChromaAtEdges : worstChroma) = std::max(isSharp ? worstChromaAtEdges : worstChroma, d);
                    beyondSix += d > 6;
                }
            }
        }
        EXPECT_LE(worstLuma, 2);
        EXPECT_LE(worstChroma, 2);
        // An enlarged screen spreads a chroma step over two samples where the reader's BGRA held it to one
        // pixel: a few samples on such edges of a zoomed frame reach 8.
        EXPECT_LE(worstChromaAtEdges, 8);
        EXPECT_LE(worstOnCardEdge, 6);
        EXPECT_LT(beyondSix, W * H / 4 / 1000) << "chroma samples beyond 6";
        EXPECT_LT(sharp, W * H / 4 / 20) << "sharp chroma samples";
        }

        // Then the window moves (in the looks whose layouts move it): nothing kept for where it stood shows,
        // frame for frame as a fresh renderer.
        StudioRenderer::Frame moved = drawn->planarFrame;
        moved.layout = LayoutBlend {LayoutState::face, LayoutState::split, 0.5};
        const std::optional<StudioLayoutFrame> stood = after.layoutFrame(drawn->planarFrame.layout);
        if (after.layoutFrame(moved.layout)->windowRect != (stood ? stood->windowRect : after.geometry().windowRect)) {
            PlanarImage movedKept(W, H), movedFresh(W, H);
            ASSERT_TRUE(after.render(moved, movedKept.canvas()));
            StudioRenderer fresh(QSize(W, H), QSizeF(1920, 1080), review.faceLayout, review.background);
            ASSERT_TRUE(fresh.render(moved, movedFresh.canvas()));
            for (int i = 0; i < 3; ++i)
                EXPECT_EQ(cv::countNonZero(movedKept.planes[i] != movedFresh.planes[i]), 0) << "plane " << i << " after the window moved";
        }
      }
    }
}

TEST(StudioRendererPlanarTest, AnEnlargedCameraCardMatchesTheBgraWay)
{
    // A small camera picture is enlarged onto the card: graded before it is enlarged, Lanczos, and its luma
    // sharpened. Compared on the card where its colour is smooth, away from the mask's antialiased edge.
    const DecodedPicture camera = decodedShared(StudioRenderer::scaleCamera(face(), 0.1));
    for (const Review& review : reviews()) {
        if (review.name != "steady-linen" && review.name != "steady-blush")
            continue;
        SCOPED_TRACE(review.name);
        const DecodedScreen screen = decoded(reviewScreen(review));
        const PlanarView screenPlanes = screen.planes.view();
        const std::unique_ptr<BothWays> drawn = drawBothWays(review, reviewFrame(review), screen, screenPlanes, camera, false);
        const PixelBuffer& bgra = drawn->bgra;
        const PlanarImage& expected = drawn->expected;
        const PlanarImage& planes = drawn->planes;
        const StudioRenderer& after = *drawn->after;

        const QRectF card = after.geometry().cardRect;
        const QRect cardPixels(static_cast<int>(card.x()), static_cast<int>(H - card.y() - card.height()), static_cast<int>(card.width()),
            static_cast<int>(card.height()));
        const cv::Mat edge = maskEdgeBlocks(after, std::nullopt);
        const auto [cb, cr] = fullChroma(bgra);
        int worstLuma = 0, worstChroma = 0;
        for (int y = std::max(cardPixels.top(), 0); y <= std::min(cardPixels.bottom(), H - 1); ++y) {
            for (int x = std::max(cardPixels.left(), 0); x <= std::min(cardPixels.right(), W - 1); ++x) {
                const int cx = x / 2, cy = y / 2;
                if (edge.at<uint8_t>(cy, cx))
                    continue;
                worstLuma = std::max(worstLuma, std::abs(planes.planes[0].at<uint8_t>(y, x) - expected.planes[0].at<uint8_t>(y, x)));
                const int y0 = std::max(2 * cy - 2, 0);
                const cv::Rect block(2 * cx, y0, 2, std::min(2 * cy + 4, H) - y0);
                double low = 0, high = 0, lowR = 0, highR = 0;
                cv::minMaxLoc(cb(block), &low, &high);
                cv::minMaxLoc(cr(block), &lowR, &highR);
                if (std::max(high - low, highR - lowR) > 6)
                    continue;
                for (int i = 1; i < 3; ++i)
                    worstChroma = std::max(worstChroma, std::abs(planes.planes[i].at<uint8_t>(cy, cx) - expected.planes[i].at<uint8_t>(cy, cx)));
            }
        }
        EXPECT_LE(worstLuma, 2);
        EXPECT_LE(worstChroma, 2);
    }
}

TEST(StudioRendererPlanarTest, CameraGradeInPlanesMatchesGradingTheDecodedPicture)
{
    // Smooth colour over the whole range, and flat skin, sky and near-black (sharp edges are the encoder
    // conversion's own business: its chroma filter reads the rows beside a block).
    std::vector<PixelBuffer> pictures {gradient(96, 64, false)};
    for (const auto& [blue, green, red] : {std::tuple {120, 150, 205}, std::tuple {210, 160, 90}, std::tuple {12, 10, 14}}) {
        pictures.emplace_back(16, 16);
        pictures.back().fill(static_cast<uint8_t>(blue), static_cast<uint8_t>(green), static_cast<uint8_t>(red), 255);
    }
    for (const PixelBuffer& picture : pictures) {
        const DecodedScreen decodedPicture = decoded(picture);
        for (const bool light : {true, false}) {
            PixelBuffer graded = decodedPicture.bgra;
            StudioRenderer::grade(graded, light);
            const PlanarImage expected = encoderPlanes(graded);
            PlanarImage planes(picture.width(), picture.height());
            for (int i = 0; i < 3; ++i)
                decodedPicture.planes.planes[i].copyTo(planes.planes[i]);
            StudioRenderer::grade(planes.canvas(), light);
            for (int i = 0; i < 3; ++i)
                EXPECT_LE(worstDifference(planes.planes[i], expected.planes[i]), 2) << "plane " << i << (light ? " light" : " dark");
        }
    }
}

QImage shown(PlanarImage& planes)
{
    YuvConversion::Planes source;
    for (int i = 0; i < 3; ++i) {
        source.data[i] = planes.planes[i].data;
        source.stride[i] = static_cast<int>(planes.planes[i].step[0]);
    }
    PixelBuffer picture(planes.width(), planes.height());
    YuvConversion(true, false).toBgra(source, picture);
    return PixelBufferViews::image(picture).convertToFormat(QImage::Format_RGB32);
}

TEST(StudioRendererPlanarTest, WritesLooksSideBySideWhenAsked)
{
    const char* folder = std::getenv("OLVENNAR_WRITE_LOOK_COMPARISON");
    if (!folder)
        GTEST_SKIP() << "set OLVENNAR_WRITE_LOOK_COMPARISON to a folder";
    QDir().mkpath(QString::fromLocal8Bit(folder));
    const DecodedPicture camera = decodedShared(face());
    for (const Review& review : reviews()) {
        if (review.name != "steady-blush" && review.name != "steady-dark" && review.name != "morph-silk")
            continue;
        // Before: the reader's BGRA screen and camera drawn in BGRA and converted; after: the decoded planes drawn
        // into planes.
        const DecodedScreen screen = decoded(reviewScreen(review));
        const PlanarView screenPlanes = screen.planes.view();
        StudioRenderer::Frame frame = reviewFrame(review);
        StudioRenderer bgraRenderer(QSize(W, H), QSizeF(1920, 1080), review.faceLayout, review.background);
        PixelBuffer bgra(W, H);
        frame.screen = &screen.bgra;
        frame.camera = &camera.bgra;
        ASSERT_TRUE(bgraRenderer.render(frame, bgra));
        PlanarImage before = encoderPlanes(bgra);
        StudioRenderer planarRenderer(QSize(W, H), QSizeF(1920, 1080), review.faceLayout, review.background);
        PlanarImage after(W, H);
        frame.screen = nullptr;
        frame.screenPlanes = &screenPlanes;
        frame.camera = nullptr;
        frame.cameraPlanes = &camera.view;
        ASSERT_TRUE(planarRenderer.render(frame, after.canvas()));
        QImage pair(W, H / 2, QImage::Format_RGB32);
        QPainter painter(&pair);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRect(0, 0, W / 2, H / 2), shown(before));
        painter.drawImage(QRect(W / 2, 0, W / 2, H / 2), shown(after));
        painter.end();
        ASSERT_TRUE(pair.save(QDir(QString::fromLocal8Bit(folder)).filePath(QStringLiteral("studio-look-planes-%1.png").arg(QString::fromStdString(review.name)))));
    }
}

} // namespace
