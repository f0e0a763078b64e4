#include "platform/media/BgraToPlanar.h"
#include "platform/media/PictureConversion.h"
#include "platform/media/PixelBuffer.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

PixelBuffer flat(int width, int height, uint8_t red, uint8_t green, uint8_t blue)
{
    PixelBuffer picture(width, height);
    picture.fill(blue, green, red, 255);
    return picture;
}

PlanarImage planesOf(const PixelBuffer& picture)
{
    PlanarImage planes(picture.width(), picture.height());
    BgraToPlanar::convert(picture.data(), picture.bytesPerRow(), planes.canvas());
    return planes;
}

Libav::Frame swscaleOf(const PixelBuffer& picture)
{
    Libav::Frame frame = Libav::makeFrame();
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = picture.width();
    frame->height = picture.height();
    EXPECT_GE(av_frame_get_buffer(frame.get(), 0), 0);
    PictureConversion conversion(VideoSettings::Scaling::bicubic, 1);
    EXPECT_FALSE(conversion.convert(picture, frame.get()));
    return frame;
}

void setPixel(PixelBuffer& picture, int x, int y, uint8_t red, uint8_t green, uint8_t blue)
{
    uint8_t* pixel = picture.row(y) + 4 * x;
    pixel[0] = blue;
    pixel[1] = green;
    pixel[2] = red;
    pixel[3] = 255;
}

} // namespace

TEST(BgraToPlanarTest, FlatColoursMatchTheWritersHdConversionWithinALevel)
{
    struct Colour {
        uint8_t red, green, blue;
    };
    for (const Colour c : {Colour{255, 0, 0}, Colour{0, 255, 0}, Colour{0, 0, 255}, Colour{255, 255, 255}, Colour{0, 0, 0}, Colour{128, 64, 200}}) {
        const PixelBuffer picture = flat(64, 36, c.red, c.green, c.blue);
        const PlanarImage ours = planesOf(picture);
        const Libav::Frame reference = swscaleOf(picture);
        for (int plane = 0; plane < 3; ++plane) {
            const int ours_ = ours.planes[plane].at<uint8_t>(5, 7);
            const int theirs = reference->data[plane][5 * reference->linesize[plane] + 7];
            EXPECT_NEAR(ours_, theirs, 1) << "plane " << plane << " of " << int(c.red) << "," << int(c.green) << "," << int(c.blue);
        }
    }
    // BT.709 limited range, as the encoder's track is tagged: red is Y 63, Cb 102, Cr 240; white and black
    // keep the range's ends.
    const PlanarImage red = planesOf(flat(4, 2, 255, 0, 0));
    EXPECT_EQ(red.planes[0].at<uint8_t>(0, 0), 63);
    EXPECT_EQ(red.planes[1].at<uint8_t>(0, 0), 102);
    EXPECT_EQ(red.planes[2].at<uint8_t>(0, 0), 240);
    const PlanarImage white = planesOf(flat(2, 2, 255, 255, 255));
    EXPECT_EQ(white.planes[0].at<uint8_t>(0, 0), 235);
    EXPECT_EQ(white.planes[1].at<uint8_t>(0, 0), 128);
    const PlanarImage black = planesOf(flat(2, 2, 0, 0, 0));
    EXPECT_EQ(black.planes[0].at<uint8_t>(0, 0), 16);
    EXPECT_EQ(black.planes[2].at<uint8_t>(0, 0), 128);
}

TEST(BgraToPlanarTest, LumaFollowsEveryPixelOfABusyScreenAndChromaAveragesEachBlock)
{
    // A full-HD grab with noise and sharp edges: luma is per pixel, as the writer's conversion has it.
    PixelBuffer picture(1920, 1080);
    uint32_t seed = 99;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            seed = seed * 1664525u + 1013904223u;
            setPixel(picture, x, y, static_cast<uint8_t>(seed >> 24), static_cast<uint8_t>((x ^ y) & 0xFF), static_cast<uint8_t>(x * 255 / 1919));
        }
    }
    const PlanarImage ours = planesOf(picture);
    const Libav::Frame reference = swscaleOf(picture);
    int worst = 0;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x)
            worst = std::max(worst, std::abs(int(ours.planes[0].at<uint8_t>(y, x)) - int(reference->data[0][y * reference->linesize[0] + x])));
    }
    EXPECT_LE(worst, 1);

    // One block of white and black columns, one of red over blue: each chroma sample is its block's mean.
    PixelBuffer blocks(4, 2);
    setPixel(blocks, 0, 0, 255, 255, 255);
    setPixel(blocks, 0, 1, 255, 255, 255);
    setPixel(blocks, 2, 0, 255, 0, 0);
    setPixel(blocks, 3, 0, 255, 0, 0);
    setPixel(blocks, 2, 1, 0, 0, 255);
    setPixel(blocks, 3, 1, 0, 0, 255);
    for (int y : {0, 1})
        setPixel(blocks, 1, y, 0, 0, 0);
    const PlanarImage mixed = planesOf(blocks);
    EXPECT_EQ(mixed.planes[0].at<uint8_t>(0, 0), 235);
    EXPECT_EQ(mixed.planes[0].at<uint8_t>(0, 1), 16);
    EXPECT_NEAR(mixed.planes[1].at<uint8_t>(0, 0), 128, 1);
    EXPECT_NEAR(mixed.planes[2].at<uint8_t>(0, 0), 128, 1);
    const PlanarImage red = planesOf(flat(2, 2, 255, 0, 0));
    const PlanarImage blue = planesOf(flat(2, 2, 0, 0, 255));
    for (int plane : {1, 2})
        EXPECT_NEAR(mixed.planes[plane].at<uint8_t>(0, 1), (red.planes[plane].at<uint8_t>(0, 0) + blue.planes[plane].at<uint8_t>(0, 0)) / 2.0, 1);
}

TEST(BgraToPlanarTest, AnOddLastRowAndColumnPairWithThemselves)
{
    // 5 × 3: the last chroma column covers only column 4, the last chroma row only row 2.
    PixelBuffer picture = flat(5, 3, 0, 0, 0);
    for (int y = 0; y < 3; ++y)
        setPixel(picture, 4, y, 255, 0, 0);
    for (int x = 0; x < 5; ++x)
        setPixel(picture, x, 2, 0, 0, 255);
    const PlanarImage planes = planesOf(picture);
    ASSERT_EQ(planes.planes[1].cols, 3);
    ASSERT_EQ(planes.planes[1].rows, 2);
    const PlanarImage red = planesOf(flat(2, 2, 255, 0, 0));
    const PlanarImage blue = planesOf(flat(2, 2, 0, 0, 255));
    const PlanarImage black = planesOf(flat(2, 2, 0, 0, 0));
    for (int plane : {1, 2}) {
        EXPECT_EQ(planes.planes[plane].at<uint8_t>(0, 0), black.planes[plane].at<uint8_t>(0, 0));
        EXPECT_EQ(planes.planes[plane].at<uint8_t>(0, 2), red.planes[plane].at<uint8_t>(0, 0));
        EXPECT_EQ(planes.planes[plane].at<uint8_t>(1, 0), blue.planes[plane].at<uint8_t>(0, 0));
    }
    // Nothing is drawn into an empty canvas.
    BgraToPlanar::convert(picture.data(), picture.bytesPerRow(), PlanarCanvas{});
}
