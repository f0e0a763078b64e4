#include "platform/video/V4l2FrameDecoder.h"

#include <QBuffer>
#include <QImage>

#include <gtest/gtest.h>

#include <vector>

namespace {

// BGRA of one pixel.
std::array<int, 4> pixelAt(const PixelBuffer& buffer, int x, int y)
{
    const uint8_t* p = buffer.row(y) + x * 4;
    return {p[0], p[1], p[2], p[3]};
}

void expectNear(const std::array<int, 4>& actual, std::array<int, 4> expected, int tolerance)
{
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(actual[i], expected[i], tolerance) << "channel " << i;
}

// YUYV: Y0 U Y1 V per pixel pair.
std::vector<uint8_t> yuyv(int width, int height, uint8_t y, uint8_t u, uint8_t v, size_t bytesPerLine = 0)
{
    const size_t line = bytesPerLine ? bytesPerLine : static_cast<size_t>(width) * 2;
    std::vector<uint8_t> data(line * height, 0xEE);
    for (int row = 0; row < height; ++row)
        for (int x = 0; x < width; x += 2) {
            uint8_t* p = data.data() + row * line + x * 2;
            p[0] = y;
            p[1] = u;
            p[2] = y;
            p[3] = v;
        }
    return data;
}

TEST(FrameDecoding, YuyvLimitedRangeMapsToFullBlackAndWhite)
{
    V4l2FrameDecoder decoder;
    auto white = yuyv(64, 8, 235, 128, 128);
    auto pixels = decoder.decode(CameraHub::PixelFormat::yuyv, white.data(), white.size(), 64, 8);
    ASSERT_TRUE(pixels);
    EXPECT_EQ(pixels->width(), 64);
    expectNear(pixelAt(*pixels, 10, 3), {255, 255, 255, 255}, 2);
    auto black = yuyv(64, 8, 16, 128, 128);
    pixels = decoder.decode(CameraHub::PixelFormat::yuyv, black.data(), black.size(), 64, 8);
    ASSERT_TRUE(pixels);
    expectNear(pixelAt(*pixels, 63, 7), {0, 0, 0, 255}, 2);
}

TEST(FrameDecoding, YuyvHonoursPaddedRowsAndIsRedWhereVIsHigh)
{
    V4l2FrameDecoder decoder;
    // BT.601 limited red: Y 81, U 90, V 240.
    auto red = yuyv(30, 4, 81, 90, 240, 128);
    auto pixels = decoder.decode(CameraHub::PixelFormat::yuyv, red.data(), red.size(), 30, 4, 128);
    ASSERT_TRUE(pixels);
    expectNear(pixelAt(*pixels, 29, 3), {0, 0, 255, 255}, 6);
}

TEST(FrameDecoding, Nv12PlanesDecode)
{
    V4l2FrameDecoder decoder;
    const int w = 32, h = 16;
    std::vector<uint8_t> data(w * h + w * h / 2);
    std::fill(data.begin(), data.begin() + w * h, 145); // BT.601 limited green: Y 145, U 54, V 34
    for (size_t i = w * h; i < data.size(); i += 2) {
        data[i] = 54;
        data[i + 1] = 34;
    }
    auto pixels = decoder.decode(CameraHub::PixelFormat::nv12, data.data(), data.size(), w, h);
    ASSERT_TRUE(pixels);
    expectNear(pixelAt(*pixels, 5, 5), {0, 255, 0, 255}, 6);
}

TEST(FrameDecoding, ShortOrEmptyBuffersGiveNothing)
{
    V4l2FrameDecoder decoder;
    auto data = yuyv(64, 8, 128, 128, 128);
    EXPECT_FALSE(decoder.decode(CameraHub::PixelFormat::yuyv, data.data(), data.size() - 1, 64, 8));
    EXPECT_FALSE(decoder.decode(CameraHub::PixelFormat::nv12, data.data(), 64 * 8, 64, 8));
    EXPECT_FALSE(decoder.decode(CameraHub::PixelFormat::yuyv, nullptr, 0, 64, 8));
    EXPECT_FALSE(decoder.decode(CameraHub::PixelFormat::yuyv, data.data(), data.size(), 0, 8));
    EXPECT_FALSE(decoder.decode(CameraHub::PixelFormat::yuyv, data.data(), data.size(), 64, 8, 16)); // rows shorter than a line
}

QByteArray jpegOf(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 95);
    return bytes;
}

TEST(FrameDecoding, MotionJpegDecodesFullRangeColours)
{
    QImage image(96, 64, QImage::Format_RGB32);
    image.fill(QColor(255, 255, 255));
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 48; ++x)
            image.setPixelColor(x, y, QColor(200, 30, 40));
    const QByteArray jpeg = jpegOf(image);
    ASSERT_FALSE(jpeg.isEmpty());
    V4l2FrameDecoder decoder;
    auto pixels = decoder.decode(CameraHub::PixelFormat::mjpeg, reinterpret_cast<const uint8_t*>(jpeg.constData()), jpeg.size(), 96, 64);
    ASSERT_TRUE(pixels);
    EXPECT_EQ(pixels->width(), 96);
    EXPECT_EQ(pixels->height(), 64);
    expectNear(pixelAt(*pixels, 10, 30), {40, 30, 200, 255}, 10);
    expectNear(pixelAt(*pixels, 80, 30), {255, 255, 255, 255}, 4);
}

TEST(FrameDecoding, BrokenJpegIsDroppedAndTheNextGoodOneStillDecodes)
{
    QImage image(64, 32, QImage::Format_RGB32);
    image.fill(QColor(10, 200, 10));
    const QByteArray jpeg = jpegOf(image);
    V4l2FrameDecoder decoder;
    std::vector<uint8_t> garbage(500, 0x5A);
    EXPECT_FALSE(decoder.decode(CameraHub::PixelFormat::mjpeg, garbage.data(), garbage.size(), 64, 32));
    auto pixels = decoder.decode(CameraHub::PixelFormat::mjpeg, reinterpret_cast<const uint8_t*>(jpeg.constData()), jpeg.size(), 64, 32);
    ASSERT_TRUE(pixels);
    expectNear(pixelAt(*pixels, 30, 15), {10, 200, 10, 255}, 10);
}

} // namespace
