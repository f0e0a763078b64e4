#include "compositing/RasterFlip.h"
#include "compositing/StudioRenderer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

constexpr int W = 480;
constexpr int H = 270;

PixelBuffer solid(int w, int h, uint8_t b, uint8_t g, uint8_t r)
{
    PixelBuffer buffer(w, h);
    buffer.fill(b, g, r, 255);
    return buffer;
}

bool same(const PixelBuffer& a, const PixelBuffer& b) { return std::memcmp(a.data(), b.data(), a.byteCount()) == 0; }

PixelBuffer draw(StudioRenderer& renderer, StudioRenderer::Frame frame, const PixelBuffer& screen)
{
    PixelBuffer out(W, H);
    frame.screen = &screen;
    EXPECT_TRUE(renderer.render(frame, out));
    return out;
}

// Bilinear sample of a picture at a continuous raster position (pixel centres at i + 0.5).
double sample(const PixelBuffer& picture, double x, double y, int channel)
{
    const double u = x - 0.5, v = y - 0.5;
    const int i = static_cast<int>(std::floor(u)), j = static_cast<int>(std::floor(v));
    const double fu = u - i, fv = v - j;
    const auto at = [&](int a, int b) { return static_cast<double>(picture.row(b)[4 * a + channel]); };
    return (1 - fv) * ((1 - fu) * at(i, j) + fu * at(i + 1, j)) + fv * ((1 - fu) * at(i, j + 1) + fu * at(i + 1, j + 1));
}

TEST(StudioRendererLookTest, RoomDriftsOnItsSlowPeriods)
{
    StudioRenderer renderer(QSize(W, H), QSizeF(W, H), FaceLayout::tallLeft, StudioBackground::clay);
    const PixelBuffer screen = solid(W, H, 255, 0, 0);
    const StudioBackdrop::Plate& room = renderer.room();
    // A corner of bare room (left of the window's shadow, above the card's).
    const int x = 10, y = 5;
    for (double time : {0.0, 7.25, 21.75, 9.25}) {
        StudioRenderer::Frame frame;
        frame.time = time;
        const PixelBuffer out = draw(renderer, frame, screen);
        const double a = 2 * M_PI * time;
        const double dx = 0.006 * W * std::sin(a / 29);
        const double dy = 0.005 * H * std::sin(a / 37 + 1.3); // up in render space, so up the rows
        const double px = x + 0.5 - dx - room.extent.x();
        const double py = y + 0.5 + dy + (room.extent.y() + room.extent.height() - H);
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(out.row(y)[4 * x + c], sample(room.pixels, px, py, c), 2.5) << "time " << time << " channel " << c;
    }
}

TEST(StudioRendererLookTest, DarkRoomHasNoLayoutMorphs)
{
    StudioRenderer renderer(QSize(W, H), QSizeF(W, H), FaceLayout::bottomRight, StudioBackground::darkRoom);
    const PixelBuffer screen = solid(W, H, 255, 0, 0);
    const PixelBuffer camera = solid(160, 90, 0, 0, 255);
    StudioRenderer::Frame plain;
    plain.camera = &camera;
    const PixelBuffer home = draw(renderer, plain, screen);
    for (LayoutState state : StudioLook::layoutStates) {
        StudioRenderer::Frame frame = plain;
        frame.layout = LayoutBlend{LayoutState::face, state, 0.4};
        EXPECT_TRUE(same(home, draw(renderer, frame, screen))) << qPrintable(StudioLook::rawText(state));
    }
}

TEST(StudioRendererLookTest, DarkRoomRimFadesFromTheWindowTop)
{
    StudioRenderer renderer(QSize(W, H), QSizeF(W, H), FaceLayout::bottomRight, StudioBackground::darkRoom);
    const PixelBuffer black = solid(W, H, 0, 0, 0);
    const PixelBuffer out = draw(renderer, {}, black);
    const QRectF window = RasterFlip::rect(renderer.geometry().windowRect, H);
    // The rim runs on the window's outline; measure it on the left edge near the top and near the bottom.
    const int x = static_cast<int>(std::floor(window.left()));
    const auto brightest = [&](int y) {
        int best = 0;
        for (int dx = -1; dx <= 1; ++dx)
            best = std::max(best, static_cast<int>(out.row(y)[4 * (x + dx) + 1]));
        return best;
    };
    const int top = static_cast<int>(window.top()) + 20;
    const int low = std::min(static_cast<int>(window.bottom()) - 20, H - 2);
    EXPECT_GT(brightest(top), brightest(low) + 20);
    EXPECT_GT(brightest(low), 0);
}

TEST(StudioRendererLookTest, CameraGradeAndScale)
{
    // Light and dark grades darken a mid grey, the dark room's more; warm white balance lifts red over blue.
    PixelBuffer light = solid(8, 8, 128, 128, 128);
    PixelBuffer dark = light;
    StudioRenderer::grade(light, true);
    StudioRenderer::grade(dark, false);
    EXPECT_LT(dark.row(4)[4 * 4 + 1], light.row(4)[4 * 4 + 1]);
    EXPECT_LT(light.row(4)[4 * 4 + 1], 128);
    EXPECT_GT(light.row(4)[4 * 4 + 2], light.row(4)[4 * 4 + 0]);
    EXPECT_EQ(light.row(4)[4 * 4 + 3], 255);

    // Scaling keeps the picture's extent times the scale; above 1.3 edges get sharper, not softer.
    PixelBuffer edge(20, 20);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) {
            const uint8_t v = x < 10 ? 60 : 190;
            std::memcpy(edge.row(y) + 4 * x, std::array<uint8_t, 4>{v, v, v, 255}.data(), 4);
        }
    const PixelBuffer soft = StudioRenderer::scaleCamera(edge, 1.25);
    const PixelBuffer crisp = StudioRenderer::scaleCamera(edge, 2);
    EXPECT_EQ(soft.width(), 25);
    EXPECT_EQ(crisp.width(), 40);
    EXPECT_EQ(StudioRenderer::scaleCamera(edge, 0.5).height(), 10);
    // Just outside the edge the sharpened picture undershoots below the dark side.
    EXPECT_LT(crisp.row(20)[4 * 17], 60);
}

TEST(StudioRendererLookTest, OtherPointerShapesDrawTheArrowAndRipplesFollowTheZoom)
{
    StudioRenderer renderer(QSize(W, H), QSizeF(W, H), FaceLayout::bottomRight, StudioBackground::linen);
    const PixelBuffer white = solid(W, H, 255, 255, 255);
    PointerPath path = *PointerPath::fromClicks({{0, 0.5, 0.5}, {10, 0.5, 0.5}});
    StudioRenderer::Frame frame;
    frame.pointer = &path;
    frame.time = 5;
    path.shapeKeys = {{0, CursorShape::arrow}};
    const PixelBuffer arrow = draw(renderer, frame, white);
    path.shapeKeys = {{0, CursorShape::other}};
    EXPECT_TRUE(same(arrow, draw(renderer, frame, white)));
    path.shapeKeys = {{0, CursorShape::hand}};
    EXPECT_FALSE(same(arrow, draw(renderer, frame, white)));

    // A zoomed-in screen magnifies the ring with the square root of its magnification.
    const std::vector<Click> clicks{{4.8, 0.5, 0.5}};
    const auto ringWidth = [&](const ZoomTimeline::State& zoom) {
        StudioRenderer::Frame f;
        f.clicks = &clicks;
        f.showClicks = true;
        f.time = 5.1;
        f.zoom = zoom;
        const PixelBuffer out = draw(renderer, f, white);
        int left = W, right = -1;
        for (int x = 0; x < W; ++x)
            if (out.row(H / 2 - 1)[4 * x] < 245 && std::abs(x - W / 2) < 80) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
        return right - left;
    };
    const double plain = ringWidth({});
    const double zoomed = ringWidth({1, 4, QPointF(0.5, 0.5)});
    EXPECT_GT(plain, 5);
    EXPECT_NEAR(zoomed / plain, std::sqrt(4 * 1.0), 0.35);
}

} // namespace
