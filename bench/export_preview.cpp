// The live export preview's cost: one live frame (the camera card over the baked base) against a full
// studio frame (room, window, screen, rim and card) at the preview's 720×405, on the same renderer and
// camera picture in the same run. The preview bakes everything but the card, so a live frame should cost
// at most about a third of a full one.
//
// Usage: export_preview [frames]   (default 200; run pinned, e.g. taskset -c 0,1)

#include "compositing/StudioLayoutPreviewRenderer.h"
#include "platform/media/PixelBufferViews.h"

#include <QGuiApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

// A camera picture with some structure: a warm ramp and a lit ellipse.
PixelBuffer makeCamera(int width, int height)
{
    PixelBuffer camera(width, height);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = camera.row(y);
        for (int x = 0; x < width; ++x) {
            const double dx = (x - width / 2.0) / (width / 5.0);
            const double dy = (y - height / 2.5) / (height / 3.0);
            const bool face = dx * dx + dy * dy < 1.0;
            row[4 * x + 0] = static_cast<uint8_t>(face ? 150 : 60 + y * 60 / height);
            row[4 * x + 1] = static_cast<uint8_t>(face ? 180 : 90);
            row[4 * x + 2] = static_cast<uint8_t>(face ? 225 : 130 + x * 40 / width);
            row[4 * x + 3] = 255;
        }
    }
    return camera;
}

template <typename Work>
double millisecondsPer(int frames, Work work)
{
    work(); // warm-up: caches, first-use shadows
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < frames; ++i)
        work();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() / frames;
}

} // namespace

int main(int argc, char** argv)
{
    // QPainter text and paths need a GUI application; no window is shown.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    const PixelBuffer camera = makeCamera(1280, 720);
    for (FaceLayout face : StudioLook::faceLayouts) {
        StudioLayoutPreviewRenderer preview(face, StudioBackground::blushMesh);
        const PixelBuffer screen = StudioLayoutPreviewRenderer::placeholderScreen(StudioLayoutPreviewRenderer::screenSize);
        StudioRenderer full(StudioLayoutPreviewRenderer::previewSize, QSizeF(StudioLayoutPreviewRenderer::screenSize), face,
            StudioBackground::blushMesh);
        PixelBuffer out(StudioLayoutPreviewRenderer::previewSize.width(), StudioLayoutPreviewRenderer::previewSize.height());
        StudioRenderer::Frame frame;
        frame.screen = &screen;
        frame.camera = &camera;
        frame.grade = true;
        const double fullMs = millisecondsPer(frames, [&] {
            frame.time += 1.0 / 30;
            full.render(frame, out);
        });
        const double liveMs = millisecondsPer(frames, [&] { (void)preview.render(&camera, true); });
        std::printf("%-12s full studio frame %.2f ms, live preview frame %.2f ms, ratio %.3f (goal <= 0.3)\n",
            StudioLook::rawText(face).toUtf8().constData(), fullMs, liveMs, liveMs / fullMs);
    }
    return 0;
}
