#include "compositing/RasterFlip.h"
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
