#include "compositing/RasterFlip.h"
#include "compositing/ShapeMasking.h"
#include "compositing/StudioBackdrop.h"
#include "compositing/StudioRenderer.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>

namespace {

QByteArray hash(const PixelBuffer& pixels)
{
    QCryptographicHash h(QCryptographicHash::Sha1);
    for (int y = 0; y < pixels.height(); ++y)
        h.addData(QByteArrayView(reinterpret_cast<const char*>(pixels.row(y)), pixels.width() * 4));
    return h.result();
}

int luma(const uint8_t* p) { return (p[0] * 18 + p[1] * 183 + p[2] * 54) >> 8; }

TEST(StudioBackdropTest, PlateExtentsCentreTheFrame)
{
    const StudioBackdrop::Plate plate = StudioBackdrop::makeLightPlate(StudioBackground::linen, QSize(480, 270), 1.1);
    EXPECT_EQ(plate.pixels.width(), 528);
    EXPECT_EQ(plate.pixels.height(), 297);
    EXPECT_EQ(plate.extent, QRectF(-24, -13.5, 528, 297));
    // A degenerate size still gives a one-pixel plate.
    EXPECT_EQ(StudioBackdrop::makeLightPlate(StudioBackground::clay, QSize(0, 0), 1.1).pixels.width(), 1);
    // The dark room truncates its overscan and is centred the same way.
    const StudioGeometry geometry(QSizeF(481, 271), 16.0 / 9, FaceLayout::tallLeft, StudioBackground::darkRoom);
    const StudioBackdrop::Plate room = StudioRenderer::makeRoom(geometry);
    EXPECT_EQ(room.pixels.width(), 529);
    EXPECT_EQ(room.pixels.height(), 298);
    EXPECT_EQ(room.extent, QRectF(-24, -13.5, 529, 298));
}

TEST(StudioBackdropTest, PlatesAreOpaqueDeterministicAndDistinct)
{
    std::vector<QByteArray> hashes;
    for (StudioBackground background : StudioLook::backgrounds) {
        if (background == StudioBackground::darkRoom)
            continue;
        const auto first = StudioBackdrop::makeLightPlate(background, QSize(240, 135), 1.1);
        const auto second = StudioBackdrop::makeLightPlate(background, QSize(240, 135), 1.1);
        SCOPED_TRACE(qPrintable(StudioLook::rawText(background)));
        EXPECT_EQ(hash(first.pixels), hash(second.pixels));
        EXPECT_EQ(first.pixels.row(70)[4 * 100 + 3], 255);
        for (const QByteArray& other : hashes)
            EXPECT_NE(hash(first.pixels), other);
        hashes.push_back(hash(first.pixels));
    }
    const StudioGeometry geometry(QSizeF(240, 135), 16.0 / 9, FaceLayout::bottomRight, StudioBackground::darkRoom);
    EXPECT_EQ(hash(StudioRenderer::makeRoom(geometry).pixels), hash(StudioRenderer::makeRoom(geometry).pixels));
}

TEST(StudioBackdropTest, GrainIsSeededSmallAndLeansDark)
{
    PixelBuffer flat(64, 64);
    flat.fill(128, 128, 128, 255);
    PixelBuffer again = flat;
    StudioBackdrop::addGrain(flat, 1142437, 5, 0.55);
    StudioBackdrop::addGrain(again, 1142437, 5, 0.55);
    EXPECT_EQ(hash(flat), hash(again));
    long sum = 0;
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            const uint8_t* p = flat.row(y) + 4 * x;
            ASSERT_GE(p[0], 126);
            ASSERT_LE(p[0], 130);
            ASSERT_EQ(p[0], p[2]); // the same offset on every colour
            ASSERT_EQ(p[3], 255);
            sum += p[0] - 128;
        }
    }
    EXPECT_LT(sum, 0);
    // The first draw of the stream: the top-left pixel.
    StudioBackdrop::SplitMix64 random(1142437);
    PixelBuffer one(1, 1);
    one.fill(128, 128, 128, 255);
    StudioBackdrop::addGrain(one, 1142437, 5, 0.55);
    EXPECT_EQ(one.row(0)[1], 128 + static_cast<int>(5 * (random.fraction() - 0.55)));
}

TEST(StudioBackdropTest, DotPaperGridIsSpacedAndUngrained)
{
    const StudioBackdrop::Plate plate = StudioBackdrop::makeLightPlate(StudioBackground::dotPaper, QSize(1920, 1080), 1.1);
    ASSERT_EQ(plate.extent, QRectF(-96, -54, 2112, 1188));
    const auto frame = [&](int x, int y) { return plate.pixels.row(y + 54) + 4 * (x + 96); };
    // Dots every 34 px from (17, 17) of the frame, paper between them.
    for (const auto& [x, y] : {std::pair{17, 17}, {51, 17}, {17, 51}, {1003, 527}})
        EXPECT_LT(luma(frame(x, y)) + 15, luma(frame(x + 17, y))) << x << "," << y;
    // No grain: neighbouring paper pixels away from dots are equal.
    EXPECT_EQ(luma(frame(800, 600)), luma(frame(801, 600)));
}

TEST(StudioBackdropTest, AlphaMasksFollowThePathInRenderSpace)
{
    QPainterPath square;
    square.addRect(QRectF(10, 5, 20, 10));
    const ImageLayer mask = ShapeMasking::alphaMask(QSizeF(50, 40), square);
    const auto alphaAt = [&](int x, int y) {
        const QPoint local = QPoint(x, y) - mask.origin;
        if (!QRect(QPoint(), QSize(mask.pixels.width(), mask.pixels.height())).contains(local))
            return 0;
        return static_cast<int>(mask.pixels.row(local.y())[4 * local.x() + 3]);
    };
    // Render y 5…15 is raster rows 25…35 of a 40-row canvas.
    EXPECT_EQ(alphaAt(20, 30), 255);
    EXPECT_EQ(alphaAt(20, 10), 0);
    EXPECT_EQ(alphaAt(20, 24), 0);
    EXPECT_EQ(alphaAt(20, 34), 255);
    EXPECT_EQ(mask.pixels.row(30 - mask.origin.y())[4 * (20 - mask.origin.x())], 255); // white

    QPainterPath outside;
    outside.addRect(QRectF(100, 100, 5, 5));
    const ImageLayer none = ShapeMasking::alphaMask(QSizeF(50, 40), outside);
    EXPECT_EQ(none.pixels.width(), 1);
    EXPECT_EQ(none.pixels.row(0)[3], 0);
    EXPECT_EQ(ShapeMasking::alphaMask(QSizeF(0, 0), square).pixels.width(), 1);
}

TEST(StudioBackdropTest, RasterFlipMapsRenderSpaceOnce)
{
    EXPECT_EQ(RasterFlip::rect(QRectF(10, 20, 30, 40), 100), QRectF(10, 40, 30, 40));
    EXPECT_EQ(RasterFlip::point(QPointF(3, 0), 100), QPointF(3, 100));
    // A screen-to-render scaling by 2 moved up by 10: the screen's top row lands 10 + 2·h below the canvas top.
    const QTransform t = RasterFlip::transform(QTransform(2, 0, 0, 2, 5, 10), 50, 300);
    EXPECT_EQ(t.map(QPointF(0, 0)), QPointF(5, 300 - 10 - 100));
    EXPECT_EQ(t.map(QPointF(0, 50)), QPointF(5, 290));
}

} // namespace
