#include "framing/CameraFrameTap.h"
#include "ui/CameraPreview.h"

#include <QImage>
#include <QPixmap>

#include <gtest/gtest.h>

namespace {

// Left half red, right half blue.
std::shared_ptr<PixelBuffer> halves(int width, int height)
{
    auto frame = std::make_shared<PixelBuffer>(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = frame->row(y) + x * 4;
            p[0] = x < width / 2 ? 0 : 255;
            p[1] = 0;
            p[2] = x < width / 2 ? 255 : 0;
            p[3] = 255;
        }
    return frame;
}

class CameraPreviewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        preview.resize(200, 100);
        tap->store(halves(320, 180));
        preview.setTap(tap);
    }
    QImage shot() { return preview.grab().toImage().convertToFormat(QImage::Format_RGB32); }

    std::shared_ptr<CameraFrameTap> tap = std::make_shared<CameraFrameTap>();
    CameraPreview preview;
};

TEST_F(CameraPreviewTest, FillCoversTheWidgetAndKeepsLeftOnTheLeft)
{
    preview.setGravity(CameraPreview::Gravity::fill);
    const QImage image = shot();
    EXPECT_EQ(image.pixelColor(2, 2), QColor(255, 0, 0));
    EXPECT_EQ(image.pixelColor(197, 97), QColor(0, 0, 255));
}

TEST_F(CameraPreviewTest, MirroredSwapsTheSides)
{
    preview.setMirrored(true);
    const QImage image = shot();
    EXPECT_EQ(image.pixelColor(2, 50), QColor(0, 0, 255));
    EXPECT_EQ(image.pixelColor(197, 50), QColor(255, 0, 0));
}

TEST_F(CameraPreviewTest, FitLetterboxesInBlack)
{
    preview.setGravity(CameraPreview::Gravity::fit);
    const QImage image = shot();
    EXPECT_EQ(image.pixelColor(3, 50), QColor(0, 0, 0)); // 177.8 wide picture leaves 11 px bars
    EXPECT_EQ(image.pixelColor(20, 50), QColor(255, 0, 0));
    EXPECT_EQ(image.pixelColor(196, 50), QColor(0, 0, 0));
}

TEST_F(CameraPreviewTest, ClipPathLeavesTheOutsideUnpainted)
{
    QPainterPath circle;
    circle.addEllipse(QRectF(50, 0, 100, 100));
    preview.setClipPath(circle);
    const QImage image = shot();
    EXPECT_EQ(image.pixelColor(60, 50), QColor(255, 0, 0));
    EXPECT_NE(image.pixelColor(2, 2), QColor(255, 0, 0));
    EXPECT_NE(image.pixelColor(197, 2), QColor(0, 0, 255));
}

TEST_F(CameraPreviewTest, PollingPicksUpOnlyNewFrames)
{
    EXPECT_FALSE(preview.pollTap()); // setTap took the current one
    tap->store(halves(64, 64));
    EXPECT_TRUE(preview.pollTap());
    EXPECT_FALSE(preview.pollTap());
    tap->store(nullptr);
    EXPECT_TRUE(preview.pollTap());
    EXPECT_EQ(shot().pixelColor(100, 50), QColor(0, 0, 0)); // no frame: black
}

TEST(CameraPreviewGeometry, FitAndFillRectangles)
{
    const QRectF bounds(0, 0, 200, 100);
    EXPECT_EQ(CameraPreview::frameRect({320, 180}, bounds, CameraPreview::Gravity::fill), QRectF(0, -6.25, 200, 112.5));
    EXPECT_EQ(CameraPreview::frameRect({100, 100}, bounds, CameraPreview::Gravity::fit), QRectF(50, 0, 100, 100));
    EXPECT_TRUE(CameraPreview::frameRect({0, 100}, bounds, CameraPreview::Gravity::fit).isEmpty());
}

} // namespace
