// Review frames of the studio look compared pixel by pixel with pictures the renderer drew before its speed
// work: a faster path may round differently, but never by more than 2 levels per channel.
// OLVENNAR_WRITE_REVIEW_FRAMES=<folder> writes the frames there instead of comparing.

#include "takedata/PointerPath.h"
#include "compositing/StudioRenderer.h"
#include "platform/media/PixelBufferViews.h"

#include <QDir>
#include <QImage>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

namespace {

constexpr int W = 960;
constexpr int H = 540;
constexpr int allowedLevels = 2;

// Panels, text-like stripes and a coloured block whose place depends on `shift`.
PixelBuffer desktop(int shift)
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
PixelBuffer face()
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

const std::vector<Review>& reviews()
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

PixelBuffer render(const Review& review)
{
    static const PixelBuffer camera = face();
    static const std::vector<Click> clicks = {{0.8, 0.45, 0.55}, {0.95, 0.3, 0.4}, {2.5, 0.6, 0.5}};
    static const std::optional<PointerPath> pointer = PointerPath::fromClicks(clicks);
    const PixelBuffer screen = desktop(static_cast<int>(review.time * 40));
    StudioRenderer renderer(QSize(W, H), QSizeF(1920, 1080), review.faceLayout, review.background);
    StudioRenderer::Frame frame;
    frame.screen = &screen;
    frame.camera = &camera;
    frame.time = review.time;
    frame.zoom = review.zoom;
    frame.layout = review.layout;
    frame.pointer = pointer ? &*pointer : nullptr;
    frame.clicks = &clicks;
    frame.showClicks = true;
    PixelBuffer out(W, H);
    // A second frame after a first one at another time: what a renderer keeps between frames must not leak.
    StudioRenderer::Frame earlier = frame;
    earlier.time = review.time + 0.4;
    EXPECT_TRUE(renderer.render(earlier, out));
    EXPECT_TRUE(renderer.render(frame, out));
    return out;
}

QString referencePath(const QString& folder, const Review& review)
{
    return QDir(folder).filePath(QString::fromStdString(review.name) + QStringLiteral(".png"));
}

TEST(StudioRendererReviewFramesTest, FramesMatchTheReferencePictures)
{
    if (const char* writeTo = std::getenv("OLVENNAR_WRITE_REVIEW_FRAMES")) {
        QDir().mkpath(QString::fromLocal8Bit(writeTo));
        for (const Review& review : reviews())
            ASSERT_TRUE(PixelBufferViews::image(render(review)).convertToFormat(QImage::Format_RGB32).save(referencePath(QString::fromLocal8Bit(writeTo), review)));
        GTEST_SKIP() << "wrote the review frames";
    }
    for (const Review& review : reviews()) {
        const QImage reference = QImage(referencePath(QStringLiteral(OLVENNAR_TEST_DATA "/review-frames"), review)).convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(reference.size(), QSize(W, H)) << review.name;
        const PixelBuffer out = render(review);
        int worst = 0;
        QPoint where;
        for (int y = 0; y < H; ++y) {
            const uint8_t* ours = out.row(y);
            const auto* theirs = reinterpret_cast<const uint8_t*>(reference.constScanLine(y));
            for (int i = 0; i < 4 * W; ++i) {
                if (i % 4 == 3)
                    continue;
                const int difference = std::abs(ours[i] - theirs[i]);
                if (difference > worst) {
                    worst = difference;
                    where = QPoint(i / 4, y);
                }
            }
        }
        EXPECT_LE(worst, allowedLevels) << review.name << " differs by " << worst << " levels at " << where.x() << "," << where.y();
    }
}

} // namespace
