#include "framing/CameraFrameTap.h"
#include "ui/CameraPreview.h"

#include <QImage>
#include <QPixmap>

#include <gtest/gtest.h>

#include <functional>

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

TEST_F(CameraPreviewTest, GravityMirrorAndClipPlaceThePicture)
{
    const QColor red(255, 0, 0), blue(0, 0, 255), black(0, 0, 0);
    QPainterPath circle;
    circle.addEllipse(QRectF(50, 0, 100, 100));
    struct Probe {
        QPoint at;
        QColor colour;
        bool equal = true;
    };
    struct Case {
        const char* name;
        std::function<void(CameraPreview&)> set;
        std::vector<Probe> probes;
    };
    const std::vector<Case> cases {
        {"fill covers the widget, left stays left", [](CameraPreview& p) { p.setGravity(CameraPreview::Gravity::fill); },
            {{{2, 2}, red}, {{197, 97}, blue}}},
        {"mirrored swaps the sides", [](CameraPreview& p) { p.setMirrored(true); }, {{{2, 50}, blue}, {{197, 50}, red}}},
        // A 177.8 px wide picture leaves 11 px bars.
        {"fit letterboxes in black", [](CameraPreview& p) { p.setGravity(CameraPreview::Gravity::fit); },
            {{{3, 50}, black}, {{20, 50}, red}, {{196, 50}, black}}},
        {"the clip path leaves the outside unpainted", [&](CameraPreview& p) { p.setClipPath(circle); },
            {{{60, 50}, red}, {{2, 2}, red, false}, {{197, 2}, blue, false}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CameraPreview fresh;
        fresh.resize(200, 100);
        fresh.setTap(tap);
        c.set(fresh);
        const QImage image = fresh.grab().toImage().convertToFormat(QImage::Format_RGB32);
        for (const Probe& probe : c.probes)
            EXPECT_EQ(image.pixelColor(probe.at) == probe.colour, probe.equal) << probe.at.x() << "," << probe.at.y();
    }
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
