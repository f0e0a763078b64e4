#pragma once

// The studio review frames: a desktop, a camera face and eight looks, zooms and morphs, drawn the way the
// export draws them.

#include "compositing/StudioRenderer.h"
#include "takedata/PointerPath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace ReviewFrameFixtures {

constexpr int W = 960;
constexpr int H = 540;

// Panels, text-like stripes and a coloured block whose place depends on `shift`.
inline PixelBuffer desktop(int shift)
{
    PixelBuffer screen(1920, 1080);
    for (int y = 0; y < screen.height(); ++y) {
        uint8_t* row = screen.row(y);
        for (int x = 0; x < screen.width(); ++x) {
            uint8_t* p = row + 4 * x;
            const bool sidebar = x < 280;
            const bool stripe = !sidebar && (y / 9) % 3 == 0 && (x + 13 * (y / 27)) % 70 < 52;
            const bool block = std::abs(x - 700 - shift) < 150 && std::abs(y - 560) < 110;
            const uint8_t v = sidebar ? 40 : (stripe ? 70 : 236);
            p[0] = block ? 210 : v;
            p[1] = block ? 110 : v;
            p[2] = block ? 30 : static_cast<uint8_t>(std::min(255, v + 8));
            p[3] = 255;
        }
    }
    return screen;
}

// A lit oval on a gradient, the size of a 720p camera.
inline PixelBuffer face()
{
    PixelBuffer camera(1280, 720);
    for (int y = 0; y < camera.height(); ++y) {
        uint8_t* row = camera.row(y);
        for (int x = 0; x < camera.width(); ++x) {
            const double dx = (x - 640) / 170.0, dy = (y - 300) / 220.0;
            const bool lit = dx * dx + dy * dy < 1;
            uint8_t* p = row + 4 * x;
            p[0] = lit ? 118 : static_cast<uint8_t>(50 + y / 12);
            p[1] = lit ? 152 : static_cast<uint8_t>(66 + x / 32);
            p[2] = lit ? 208 : 96;
            p[3] = 255;
        }
    }
    return camera;
}

struct Review {
    std::string name;
    StudioBackground background;
    FaceLayout faceLayout;
    double time;
    ZoomTimeline::State zoom;
    std::optional<LayoutBlend> layout;
};

inline const std::vector<Review>& reviews()
{
    static const std::vector<Review> all = {
        {"steady-blush", StudioBackground::blushMesh, FaceLayout::tallLeft, 1.0, {}, std::nullopt},
        {"steady-linen", StudioBackground::linen, FaceLayout::bottomRight, 4.2, {}, std::nullopt},
        {"steady-dark", StudioBackground::darkRoom, FaceLayout::bottomRight, 2.6, {}, std::nullopt},
        {"zoomed-clay", StudioBackground::clay, FaceLayout::tallLeft, 0.92, {1, 2, QPointF(0.35, 0.6)}, std::nullopt},
        {"zooming-dark", StudioBackground::darkRoom, FaceLayout::tallLeft, 1.5, {0.4, 1.8, QPointF(0.6, 0.4)}, std::nullopt},
        {"morph-silk", StudioBackground::silkWaves, FaceLayout::bottomRight, 3.0, {}, LayoutBlend {LayoutState::face, LayoutState::split, 0.4}},
        {"split-dots", StudioBackground::dotPaper, FaceLayout::tallLeft, 5.0, {}, LayoutBlend {LayoutState::split, LayoutState::split, 1}},
        {"morph-dark", StudioBackground::darkRoom, FaceLayout::bottomRight, 0.9, {}, LayoutBlend {LayoutState::split, LayoutState::screen, 0.7}},
    };
    return all;
}

// The review's frame without its screen picture: camera, time, zoom, layout, pointer and clicks.
inline StudioRenderer::Frame reviewFrame(const Review& review)
{
    static const PixelBuffer camera = face();
    static const std::vector<Click> clicks = {{0.8, 0.45, 0.55}, {0.95, 0.3, 0.4}, {2.5, 0.6, 0.5}};
    static const std::optional<PointerPath> pointer = PointerPath::fromClicks(clicks);
    StudioRenderer::Frame frame;
    frame.camera = &camera;
    frame.time = review.time;
    frame.zoom = review.zoom;
    frame.layout = review.layout;
    frame.pointer = pointer ? &*pointer : nullptr;
    frame.clicks = &clicks;
    frame.showClicks = true;
    return frame;
}

// The screen the review shows.
inline PixelBuffer reviewScreen(const Review& review) { return desktop(static_cast<int>(review.time * 40)); }

// The review's frame drawn by a fresh renderer into `out` (a PixelBuffer or planes of W × H), after a
// first frame at another time: what a renderer keeps between frames must not leak.
template <typename Target>
void drawReview(const Review& review, Target& out)
{
    const PixelBuffer screen = reviewScreen(review);
    StudioRenderer renderer(QSize(W, H), QSizeF(1920, 1080), review.faceLayout, review.background);
    StudioRenderer::Frame frame = reviewFrame(review);
    frame.screen = &screen;
    StudioRenderer::Frame earlier = frame;
    earlier.time = review.time + 0.4;
    EXPECT_TRUE(renderer.render(earlier, out));
    EXPECT_TRUE(renderer.render(frame, out));
}

inline PixelBuffer render(const Review& review)
{
    PixelBuffer out(W, H);
    drawReview(review, out);
    return out;
}

} // namespace ReviewFrameFixtures
