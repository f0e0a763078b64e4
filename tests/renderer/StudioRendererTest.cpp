#include "compositing/RasterFlip.h"
#include "compositing/StudioCamera.h"
#include "compositing/StudioRenderer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>

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

TEST(StudioRendererTest, FullZoomInTheDarkRoomCoversTheCanvasWithTheScreenAlone)
{
    StudioRenderer renderer(QSize(W, H), QSizeF(W, H), FaceLayout::bottomRight, StudioBackground::darkRoom);
    Render r;
    r.frame.zoom = {1, 4, QPointF(0.5, 0.5)};
    const PixelBuffer& out = r.run(renderer);
    // No room, no mask, no rim: every pixel is the screen.
    EXPECT_EQ(boundsWhere(out, [](const uint8_t* p) { return !isBlue(p); }), QRect());
}

TEST(StudioRendererTest, ShadowsAreBakedAroundWhatTheyShade)
{
    StudioRenderer renderer(QSize(W, H), QSizeF(W, H), FaceLayout::bottomRight, StudioBackground::clay);
    const QRect window = RasterFlip::rect(renderer.geometry().windowRect, H).toAlignedRect();
    const QRect shadow = renderer.homeWindowShadow().rect();
    EXPECT_TRUE(shadow.contains(window.adjusted(1, 1, -1, -1)));
    // Offset downward: it reaches further below the window than above, and no further up than its blur.
    const double u = H / 1080.0;
    EXPECT_GT(shadow.bottom() - window.bottom(), window.top() - shadow.top());
    EXPECT_LE(window.top() - shadow.top(), std::ceil(3 * 55 * u) + 3);
    EXPECT_TRUE(QRect(0, 0, W, H).contains(shadow));

    const double rim = renderer.geometry().cardRim;
    const QRect outer = RasterFlip::rect(renderer.geometry().cardRect.adjusted(-rim, -rim, rim, rim), H).toAlignedRect();
    EXPECT_TRUE(renderer.homeCardShadow().rect().contains(outer.adjusted(1, 1, -1, -1)));

    // Per-state shadows stay within their window grown by a quarter of the height.
    for (LayoutState state : StudioLook::layoutStates) {
        const QRectF face = renderer.geometry().layoutFrame(state).windowRect;
        const QRect limit = RasterFlip::rect(face.adjusted(-0.25 * H, -0.25 * H, 0.25 * H, 0.25 * H), H).toAlignedRect().adjusted(-1, -1, 1, 1);
        EXPECT_TRUE(limit.contains(renderer.windowShadow(state).rect())) << qPrintable(StudioLook::rawText(state));
        EXPECT_FALSE(renderer.cardShadow(state).isEmpty());
    }
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
        // Half way from FACE to SPLIT the card is the mix of both.
        Render r;
        r.frame.camera = &r.camera;
        r.frame.grade = false;
        r.frame.layout = LayoutBlend{LayoutState::face, LayoutState::split, 0.5};
        const QRectF mixed = StudioLayoutFrame::lerp(renderer.geometry().layoutFrame(LayoutState::face),
            renderer.geometry().layoutFrame(LayoutState::split), 0.5).cardRect;
        expectNear(boundsWhere(r.run(renderer), isRed), RasterFlip::rect(mixed, H), 1.5, "moving card");
    }
    // The dark room's tall-left card bleeds off the left edge.
    StudioRenderer dark(QSize(W, H), QSizeF(W, H), FaceLayout::tallLeft, StudioBackground::darkRoom);
    Render r;
    r.frame.camera = &r.camera;
    r.frame.grade = false;
    const QRectF card = RasterFlip::rect(dark.geometry().cardRect, H).intersected(QRectF(0, 0, W, H));
    expectNear(boundsWhere(r.run(dark), isRed), card, 1.5, "dark room tall left");
}

TEST(StudioRendererTest, CardFadesAsOneLayerAndNeedsAPicture)
{
    StudioRenderer renderer(QSize(W, H), QSizeF(W, H), FaceLayout::bottomRight, StudioBackground::linen);
    Render base, full, almost, half, none, empty;
    base.run(renderer);
    for (Render* r : {&full, &almost, &half, &none, &empty})
        r->frame.camera = &r->camera;
    almost.frame.cardAlpha = 0.9995;
    half.frame.cardAlpha = 0.5;
    none.frame.cardAlpha = 0;
    empty.camera = PixelBuffer(0, 0);
    full.run(renderer);
    almost.run(renderer);
    half.run(renderer);
    none.run(renderer);
    empty.run(renderer);
    EXPECT_TRUE(same(full.out, almost.out));
    EXPECT_TRUE(same(base.out, none.out));
    EXPECT_TRUE(same(base.out, empty.out));
    const QPoint centre = RasterFlip::rect(renderer.geometry().cardRect, H).center().toPoint();
    const int baseRed = pixel(base.out, centre.x(), centre.y())[2];
    const int fullRed = pixel(full.out, centre.x(), centre.y())[2];
    EXPECT_NEAR(pixel(half.out, centre.x(), centre.y())[2], (baseRed + fullRed) / 2.0, 3);
}

// The base leaves the room bare under an opaque card at rest; the card must then paint every one of those
// pixels, whatever the output held before. A fading or moving card, or a see-through picture, gets its room.
TEST(StudioRendererTest, WhatTheBaseLeavesUnderTheCardIsAllPaintedByIt)
{
    for (FaceLayout face : {FaceLayout::tallLeft, FaceLayout::bottomRight}) {
        StudioRenderer renderer(QSize(W, H), QSizeF(W, H), face, StudioBackground::linen);
        struct Case {
            double alpha;
            std::optional<LayoutBlend> layout;
            uint8_t cameraAlpha;
        };
        const Case cases[] = {{1, std::nullopt, 255}, {0.6, std::nullopt, 255}, {1, LayoutBlend {LayoutState::face, LayoutState::split, 0.3}, 255},
            {1, std::nullopt, 128}};
        for (const Case& c : cases) {
            Render clean, dirty;
            for (Render* r : {&clean, &dirty}) {
                r->camera = solid(320, 180, 0, 0, c.cameraAlpha);
                for (int y = 0; y < 180; ++y)
                    for (int x = 0; x < 320; ++x)
                        r->camera.row(y)[4 * x + 3] = c.cameraAlpha;
                r->frame.camera = &r->camera;
                r->frame.cardAlpha = c.alpha;
                r->frame.layout = c.layout;
            }
            clean.out.fill(0, 0, 0, 255);
            dirty.out.fill(255, 0, 255, 255);
            clean.run(renderer);
            dirty.run(renderer);
            EXPECT_TRUE(same(clean.out, dirty.out)) << c.alpha << " " << int(c.cameraAlpha);
        }
    }
}

// Pictures marked opaque skip the scan under the window and the card: the frame stays the same as for
// the same pixels unmarked, and an unmarked screen with a transparent hole shows the room through it.
TEST(StudioRendererTest, OpaqueMarkOnlySkipsTheScanAndAHoleShowsTheRoom)
{
    StudioRenderer renderer(QSize(W, H), QSizeF(W, H), FaceLayout::bottomRight, StudioBackground::linen);
    Render marked, unmarked;
    for (Render* r : {&marked, &unmarked}) {
        r->frame.camera = &r->camera;
        r->out.fill(255, 0, 255, 255);
    }
    unmarked.screen.row(0);
    unmarked.camera.row(0);
    ASSERT_TRUE(marked.screen.isKnownOpaque() && marked.camera.isKnownOpaque());
    ASSERT_FALSE(unmarked.screen.isKnownOpaque() || unmarked.camera.isKnownOpaque());
    EXPECT_TRUE(same(marked.run(renderer), unmarked.run(renderer)));

    Render clean, dirty;
    for (Render* r : {&clean, &dirty}) {
        for (int y = H / 2 - 20; y < H / 2 + 20; ++y)
            std::memset(r->screen.row(y) + 4 * (W / 2 - 30), 0, 4 * 60);
    }
    clean.out.fill(0, 0, 0, 255);
    dirty.out.fill(255, 0, 255, 255);
    clean.run(renderer);
    dirty.run(renderer);
    EXPECT_TRUE(same(clean.out, dirty.out)) << "the room is painted under the hole";
    const QPointF middle = RasterFlip::rect(renderer.geometry().windowRect, H).center();
    const uint8_t* seen = pixel(clean.out, static_cast<int>(middle.x()), static_cast<int>(middle.y()));
    EXPECT_FALSE(isRed(seen));
    EXPECT_EQ(seen[3], 255);
}

// A camera picture with a gradient, so a stale card would show.
std::shared_ptr<const PixelBuffer> gradientCamera(uint8_t tone)
{
    auto camera = std::make_shared<PixelBuffer>(320, 180);
    for (int y = 0; y < camera->height(); ++y)
        for (int x = 0; x < camera->width(); ++x) {
            uint8_t* p = camera->row(y) + 4 * x;
            p[0] = static_cast<uint8_t>(x * 255 / 319);
            p[1] = static_cast<uint8_t>(y * 255 / 179);
            p[2] = tone;
            p[3] = 255;
        }
    return camera;
}

TEST(StudioRendererTest, SharedCameraPictureThatRepeatsDrawsTheSameCard)
{
    StudioRenderer reused(QSize(W, H), QSizeF(W, H), FaceLayout::tallLeft, StudioBackground::clay);
    const PixelBuffer screen = solid(W, H, 255, 0, 0);
    const auto first = gradientCamera(40);
    const auto second = gradientCamera(200);
    // Each step: the shared picture, its grade, its layout; the reused renderer must match a fresh one.
    struct Step {
        std::shared_ptr<const PixelBuffer> camera;
        bool grade;
        std::optional<LayoutBlend> layout;
        double time;
    };
    const Step steps[] = {
        {first, true, std::nullopt, 0.0},
        {first, true, std::nullopt, 0.5}, // repeated: drawn from the kept card picture
        {second, true, std::nullopt, 0.6}, // a new picture
        {second, false, std::nullopt, 0.7}, // the same picture, ungraded
        {second, false, LayoutBlend {LayoutState::face, LayoutState::split, 0.5}, 0.8}, // the moving card
        {second, false, std::nullopt, 0.9}, // back at rest
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.time);
        PixelBuffer ours(W, H), fresh(W, H);
        ASSERT_TRUE(reused.drawBase(screen, step.time, {}, QRectF(0, 0, 1, 1), nullptr, {}, false, step.layout, ours));
        reused.drawCard(step.camera, 1, step.grade, step.layout, ours);
        StudioRenderer once(QSize(W, H), QSizeF(W, H), FaceLayout::tallLeft, StudioBackground::clay);
        ASSERT_TRUE(once.drawBase(screen, step.time, {}, QRectF(0, 0, 1, 1), nullptr, {}, false, step.layout, fresh));
        once.drawCard(*step.camera, 1, step.grade, step.layout, fresh);
        EXPECT_TRUE(same(ours, fresh));
    }
}

TEST(StudioRendererTest, LayoutBlendsResolveToTheirFrames)
{
    StudioRenderer renderer(QSize(W, H), QSizeF(W, H), FaceLayout::tallLeft, StudioBackground::silkWaves);
    const StudioGeometry& g = renderer.geometry();
    EXPECT_FALSE(renderer.layoutFrame(std::nullopt));
    EXPECT_EQ(*renderer.layoutFrame(LayoutBlend{LayoutState::face, LayoutState::face, 0.2}), g.layoutFrame(LayoutState::face));
    EXPECT_EQ(*renderer.layoutFrame(LayoutBlend{LayoutState::face, LayoutState::split, 1.5}), g.layoutFrame(LayoutState::split));
    EXPECT_EQ(*renderer.layoutFrame(LayoutBlend{LayoutState::face, LayoutState::split, -1}), g.layoutFrame(LayoutState::face));

    const auto draw = [&](std::optional<LayoutBlend> layout) {
        Render r;
        r.frame.camera = &r.camera;
        r.frame.layout = layout;
        r.run(renderer);
        return r.out;
    };
    // The home frame draws exactly like no layout; a finished blend exactly like its to-state.
    EXPECT_TRUE(same(draw(std::nullopt), draw(LayoutBlend{LayoutState::screen, LayoutState::screen, 1})));
    EXPECT_TRUE(same(draw(LayoutBlend{LayoutState::face, LayoutState::split, 1}), draw(LayoutBlend{LayoutState::split, LayoutState::split, 0.3})));
    EXPECT_FALSE(same(draw(LayoutBlend{LayoutState::face, LayoutState::split, 0.5}), draw(LayoutBlend{LayoutState::split, LayoutState::split, 1})));
}

TEST(StudioRendererTest, CursorSpritesKeepTheirTipOnTheHotspot)
{
    const StudioRenderer::CursorSprite arrow = StudioRenderer::makeCursor(CursorShape::arrow);
    EXPECT_EQ(arrow.image.pixels.width(), 312);
    EXPECT_EQ(arrow.image.pixels.height(), 410);
    EXPECT_EQ(arrow.hotspot, QPointF(70, 340));
    EXPECT_DOUBLE_EQ(arrow.unit, 14);
    EXPECT_GT(arrow.image.pixels.row(71)[4 * 71 + 3], 200); // just inside the tip
    EXPECT_EQ(arrow.image.pixels.row(20)[4 * 290 + 3], 0);
    for (CursorShape shape : {CursorShape::iBeam, CursorShape::hand}) {
        const StudioRenderer::CursorSprite sprite = StudioRenderer::makeCursor(shape);
        const QRectF bb = StudioRenderer::cursorPath(shape).body.boundingRect();
        EXPECT_EQ(sprite.hotspot, QPointF(70 - 14 * bb.left(), sprite.image.pixels.height() - 70 + 14 * bb.top()));
    }
    EXPECT_TRUE(StudioRenderer::cursorPath(CursorShape::hand).detail.has_value());
    EXPECT_FALSE(StudioRenderer::cursorPath(CursorShape::arrow).detail.has_value());
}

TEST(StudioRendererTest, PointerIsDrawnAtItsPositionAndScale)
{
    StudioRenderer renderer(QSize(W, H), QSizeF(W, H), FaceLayout::bottomRight, StudioBackground::linen);
    const auto drawAt = [&](double x, double y) {
        const std::vector<Click> clicks{{0, x, y}, {10, x, y}};
        const auto path = PointerPath::fromClicks(clicks);
        Render r;
        r.screen = solid(W, H, 255, 255, 255);
        r.frame.pointer = path ? &*path : nullptr;
        r.frame.time = 5;
        r.run(renderer);
        return r.out;
    };
    const PixelBuffer out = drawAt(0.5, 0.5);
    const QRectF window = renderer.geometry().windowRect;
    const QPointF tip = RasterFlip::point(window.center(), H);
    // The cream body and brown outline take blue out of the white screen; the soft shadow falls down-right.
    const QRect near = QRectF(tip.x() - 10, tip.y() - 10, 40, 40).toAlignedRect();
    const QRect sprite = boundsWhere(out, [](const uint8_t* p) { return p[0] < 235; }, near);
    const double m = window.width() / W; // magnification with the screen fitted into the window
    const double body = 0.046 * H * std::sqrt(m); // 19.3 path units
    EXPECT_NEAR(sprite.left(), tip.x(), 1.5);
    EXPECT_NEAR(sprite.top(), tip.y(), 1.5);
    EXPECT_GE(sprite.height(), body - 1);
    EXPECT_LE(sprite.height(), body * 1.4);

    // The range test: 1.004 still draws (within the window's 2-pixel margin), 1.006 does not.
    const PixelBuffer plain = drawAt(-1, -1);
    const auto differs = [&](const PixelBuffer& a) { return std::memcmp(a.data(), plain.data(), a.byteCount()) != 0; };
    EXPECT_TRUE(differs(drawAt(1.004, 0.5)));
    EXPECT_FALSE(differs(drawAt(1.006, 0.5)));

    // The press dip: full size outside −0.04…0.2 s around a click, 84 % at its deepest.
    const std::vector<Click> click{{1.0, 0.5, 0.5}};
    EXPECT_DOUBLE_EQ(StudioRenderer::pressScale(0.95, click), 1.0);
    EXPECT_DOUBLE_EQ(StudioRenderer::pressScale(0.96, click), 1.0);
    EXPECT_NEAR(StudioRenderer::pressScale(1.08, click), 0.84, 1e-9);
    EXPECT_DOUBLE_EQ(StudioRenderer::pressScale(1.21, click), 1.0);
}

TEST(StudioRendererTest, RipplesGrowAndFadeOverHalfASecond)
{
    const auto start = StudioRenderer::clickRipple(0, 1, 1080);
    ASSERT_TRUE(start);
    EXPECT_NEAR(start->radius, 0.046 * 1080 * 0.45, 1e-9);
    EXPECT_NEAR(start->alpha, 0.75, 1e-9);
    const auto last = StudioRenderer::clickRipple(0.55, 1, 1080);
    ASSERT_TRUE(last);
    EXPECT_NEAR(last->radius, 0.046 * 1080 * 1.3, 1e-9);
    EXPECT_NEAR(last->alpha, 0, 1e-12);
    EXPECT_FALSE(StudioRenderer::clickRipple(0.56, 1, 1080));
    EXPECT_FALSE(StudioRenderer::clickRipple(-0.01, 1, 1080));
    EXPECT_DOUBLE_EQ(StudioRenderer::clickRipple(0.2, 0.1, 1080)->radius, StudioRenderer::clickRipple(0.2, 0.3, 1080)->radius);
    EXPECT_GT(StudioRenderer::clickRipple(0.2, 4, 1080)->radius, StudioRenderer::clickRipple(0.2, 1, 1080)->radius);

    StudioRenderer renderer(QSize(W, H), QSizeF(W, H), FaceLayout::bottomRight, StudioBackground::linen);
    Render r;
    r.screen = solid(W, H, 255, 255, 255);
    const std::vector<Click> clicks{{1.0, 0.5, 0.5}};
    r.frame.clicks = &clicks;
    r.frame.showClicks = true;
    r.frame.time = 1.3;
    const PixelBuffer& out = r.run(renderer);
    const double m = renderer.geometry().windowRect.width() / W;
    const double R = StudioRenderer::clickRipple(0.3, m, H)->radius;
    const QPointF centre = RasterFlip::point(renderer.geometry().windowRect.center(), H);
    const QRect ring = boundsWhere(out, [](const uint8_t* p) { return p[0] < 245; },
        QRectF(centre.x() - 2 * R, centre.y() - 2 * R, 4 * R, 4 * R).toAlignedRect());
    EXPECT_NEAR(ring.center().x(), centre.x(), 1.5);
    EXPECT_GT(ring.width() / 2.0, 0.75 * R);
    EXPECT_LT(ring.width() / 2.0, 1.05 * R);
    // Without showClicks nothing is drawn.
    Render quiet;
    quiet.screen = solid(W, H, 255, 255, 255);
    quiet.frame.clicks = &clicks;
    quiet.frame.time = 1.3;
    quiet.run(renderer);
    EXPECT_TRUE(boundsWhere(quiet.out, [](const uint8_t* p) { return p[0] < 245; }, ring).isEmpty());
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
