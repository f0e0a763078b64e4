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

// BT.601 limited-range colours decode to full-range BGRA, padded rows honoured.
TEST(FrameDecoding, UncompressedFormatsDecodeToFullRangeBgra)
{
    const int w = 32, h = 16;
    std::vector<uint8_t> green(w * h + w * h / 2, 145); // NV12 green: Y 145, U 54, V 34
    for (size_t i = w * h; i < green.size(); i += 2) {
        green[i] = 54;
        green[i + 1] = 34;
    }
    struct Case {
        const char* name;
        CameraHub::PixelFormat format;
        std::vector<uint8_t> data;
        int width, height, bytesPerLine, x, y;
        std::array<int, 4> bgra;
        int tolerance;
    };
    const std::vector<Case> cases {
        {"YUYV white", CameraHub::PixelFormat::yuyv, yuyv(64, 8, 235, 128, 128), 64, 8, 0, 10, 3, {255, 255, 255, 255}, 2},
        {"YUYV black", CameraHub::PixelFormat::yuyv, yuyv(64, 8, 16, 128, 128), 64, 8, 0, 63, 7, {0, 0, 0, 255}, 2},
        {"YUYV red, padded rows", CameraHub::PixelFormat::yuyv, yuyv(30, 4, 81, 90, 240, 128), 30, 4, 128, 29, 3, {0, 0, 255, 255}, 6},
        {"NV12 green", CameraHub::PixelFormat::nv12, green, w, h, 0, 5, 5, {0, 255, 0, 255}, 6},
    };
    V4l2FrameDecoder decoder;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto pixels = decoder.decode(c.format, c.data.data(), c.data.size(), c.width, c.height, c.bytesPerLine);
        ASSERT_TRUE(pixels);
        EXPECT_TRUE(pixels->isKnownOpaque()) << "the renderer trusts this instead of scanning the picture";
        EXPECT_EQ(pixels->width(), c.width);
        expectNear(pixelAt(*pixels, c.x, c.y), c.bgra, c.tolerance);
    }
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
    EXPECT_TRUE(pixels->isKnownOpaque());
    expectNear(pixelAt(*pixels, 30, 15), {10, 200, 10, 255}, 10);
}

} // namespace
