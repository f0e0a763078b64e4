#include "compositing/RasterFlip.h"
#include "compositing/StudioRenderer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>

namespace {

constexpr int W = 480;
constexpr int H = 270;

PixelBuffer solid(int w, int h, uint8_t b, uint8_t g, uint8_t r)
{
    PixelBuffer buffer(w, h);
    buffer.fill(b, g, r, 255);
    return buffer;
}

const uint8_t* pixel(const PixelBuffer& buffer, int x, int y) { return buffer.row(y) + 4 * x; }

QRect boundsWhere(const PixelBuffer& buffer, const std::function<bool(const uint8_t*)>& test, QRect within = {})
{
    if (within.isEmpty())
        within = QRect(0, 0, buffer.width(), buffer.height());
    QRect found;
    for (int y = within.top(); y <= within.bottom(); ++y)
        for (int x = within.left(); x <= within.right(); ++x)
            if (test(pixel(buffer, x, y)))
                found = found.united(QRect(x, y, 1, 1));
    return found;
}

bool isRed(const uint8_t* p) { return p[2] > 180 && p[1] < 70 && p[0] < 70; }
bool isBlue(const uint8_t* p) { return p[0] > 230 && p[2] < 30; }

void expectNear(const QRect& actual, const QRectF& expected, double slack, const char* what)
{
    SCOPED_TRACE(what);
    EXPECT_NEAR(actual.left(), expected.left(), slack);
    EXPECT_NEAR(actual.top(), expected.top(), slack);
    EXPECT_NEAR(actual.right() + 1, expected.right(), slack);
    EXPECT_NEAR(actual.bottom() + 1, expected.bottom(), slack);
}

struct Render {
    PixelBuffer out{W, H};
    PixelBuffer screen = solid(W, H, 255, 0, 0);
    PixelBuffer camera = solid(320, 180, 0, 0, 255);
    StudioRenderer::Frame frame;
    Render() { frame.screen = &screen; }
    PixelBuffer& run(StudioRenderer& renderer)
    {
        EXPECT_TRUE(renderer.render(frame, out));
        return out;
    }
};

TEST(StudioRendererTest, WindowLandsWithTheScreenUprightAndRoundedCorners)
{
    StudioRenderer renderer(QSize(W, H), QSizeF(W, H), FaceLayout::bottomRight, StudioBackground::linen);
    Render r;
    // Top half of the screen's rows green, bottom half blue: the top must stay on top.
    for (int y = 0; y < H / 2; ++y)
        for (int x = 0; x < W; ++x)
            std::memcpy(r.screen.row(y) + 4 * x, "\x00\xff\x00\xff", 4);
    const PixelBuffer& out = r.run(renderer);
    const QRectF window = RasterFlip::rect(renderer.geometry().windowRect, H);
    const int midX = static_cast<int>(window.center().x());
    EXPECT_EQ(pixel(out, midX, static_cast<int>(window.top()) + 3)[1], 255);
    EXPECT_TRUE(isBlue(pixel(out, midX, static_cast<int>(window.bottom()) - 3)));
    EXPECT_FALSE(isBlue(pixel(out, midX, static_cast<int>(window.bottom()) + 3)));
    EXPECT_LT(pixel(out, midX, static_cast<int>(window.top()) - 3)[1], 250);
    // The window's bottom-left corner pixel lies outside the rounded clip; a radius in, the screen shows.
    const uint8_t* corner = pixel(out, static_cast<int>(window.left()), static_cast<int>(window.bottom()));
    EXPECT_GT(corner[2], corner[0]);
    const double radius = renderer.geometry().windowRadius;
    EXPECT_TRUE(isBlue(pixel(out, static_cast<int>(window.left() + radius), static_cast<int>(window.bottom() - radius))));
}

TEST(StudioRendererTest, CardSitsOnItsLayoutFramePerStateAndFaceLayout)
{
    for (FaceLayout face : StudioLook::faceLayouts) {
        StudioRenderer renderer(QSize(W, H), QSizeF(W, H), face, StudioBackground::blushMesh);
        const std::optional<LayoutState> states[] = {std::nullopt, LayoutState::face, LayoutState::split, LayoutState::focus};
        for (const auto& state : states) {
            Render r;
            r.frame.camera = &r.camera;
            r.frame.grade = false;
            if (state)
                r.frame.layout = LayoutBlend{*state, *state, 1};
            const QRectF card = state ? renderer.geometry().layoutFrame(*state).cardRect : renderer.geometry().cardRect;
            const std::string what = StudioLook::rawText(face).toStdString() + " " + (state ? StudioLook::rawText(*state).toStdString() : "home");
            expectNear(boundsWhere(r.run(renderer), isRed), RasterFlip::rect(card, H), 1.5, what.c_str());
        }
    }
    // The dark room's tall-left card bleeds off the left edge.
    StudioRenderer dark(QSize(W, H), QSizeF(W, H), FaceLayout::tallLeft, StudioBackground::darkRoom);
    Render r;
    r.frame.camera = &r.camera;
    r.frame.grade = false;
    const QRectF card = RasterFlip::rect(dark.geometry().cardRect, H).intersected(QRectF(0, 0, W, H));
    expectNear(boundsWhere(r.run(dark), isRed), card, 1.5, "dark room tall left");
}

TEST(StudioRendererTest, RenderRefusesAWrongOutputSizeOrAMissingScreen)
{
    StudioRenderer renderer(QSize(W, H), QSizeF(W, H), FaceLayout::bottomRight, StudioBackground::linen);
    Render r;
    PixelBuffer small(W / 2, H);
    EXPECT_FALSE(renderer.render(r.frame, small));
    r.frame.screen = nullptr;
    EXPECT_FALSE(renderer.render(r.frame, r.out));
    // A screen frame of another size is stretched onto the recording's size.
    Render odd;
    odd.screen = solid(W / 2, H / 2, 255, 0, 0);
    const PixelBuffer& out = odd.run(renderer);
    EXPECT_TRUE(isBlue(pixel(out, static_cast<int>(RasterFlip::rect(renderer.geometry().windowRect, H).center().x()), H / 2)));
}

TEST(StudioRendererTest, BrokenNumbersAndSizesDrawSafely)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    StudioRenderer renderer(QSize(W, H), QSizeF(W, H), FaceLayout::tallLeft, StudioBackground::darkRoom);
    Render r;
    const std::vector<Click> clicks{{0.1, nan, 0.5}, {nan, 0.5, 0.5}};
    r.frame.time = nan;
    r.frame.zoom = {nan, std::numeric_limits<double>::infinity(), QPointF(nan, 0.5)};
    r.frame.region = QRectF(nan, 0, 1, 1);
    r.frame.layout = LayoutBlend{LayoutState::face, LayoutState::split, nan};
    r.frame.clicks = &clicks;
    r.frame.showClicks = true;
    r.frame.camera = &r.camera;
    r.frame.cardAlpha = nan;
    r.run(renderer);
    EXPECT_TRUE(isBlue(pixel(r.out, W / 2, H / 2)));

    // Degenerate sizes build an inert renderer.
    StudioRenderer empty(QSize(0, 0), QSizeF(0, 0), FaceLayout::bottomRight, StudioBackground::linen);
    PixelBuffer none(0, 0);
    EXPECT_FALSE(empty.render(r.frame, none));
}

} // namespace
