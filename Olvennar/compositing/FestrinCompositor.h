#pragma once

#include "compositing/CompositorSettings.h"
#include "platform/image/ImageLayer.h"
#include "platform/media/PlanarCanvas.h"
#include "platform/media/PlanarPicture.h"
#include "platform/media/PixelBuffer.h"
#include "platform/system/DispatchQueue.h"
#include "platform/system/ErrorInfo.h"
#include "platform/system/MediaTime.h"
#include "takedata/BubbleShape.h"

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QTransform>

#include <opencv2/core/mat.hpp>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class FestrinInstruction;
class StudioRenderer;

// Draws every frame of an overlay export, in the classic look (the screen at full frame with click rings,
// zoom, cursor, phone and a masked camera bubble) or the studio look (the scene and camera card from a
// StudioRenderer, with the phone between them).
//
// One compositor serves one export. All of its state (caches, the last screen frame) lives on its serial
// queue "com.quorrel.festrin.compositor": requests are rendered there one after another in the order they
// arrive, so a screen frame missing from a request repeats the frame of the request before it.
//
// Geometry is render space (origin bottom-left, y up); pixels are raster rows. The flip happens only
// where a render-space placement becomes a raster one.
class FestrinCompositor {
public:
    enum class CompositorError { noRenderBuffer, missingScreenFrame };
    static QString description(CompositorError error);
    static ErrorInfo info(CompositorError error);
    // Whether frames of these settings can be drawn into planes: the studio look without a phone overlay.
    static bool drawsPlanar(const CompositorSettings& settings);

    enum class FitMode { fit, fill };

    // One output frame to draw.
    struct Request {
        // Nothing: the request carries no compositor instruction.
        std::shared_ptr<const FestrinInstruction> instruction;
        MediaTime compositionTime;
        // Source pictures by track ID; a track without a picture at this time is absent.
        std::map<int32_t, std::shared_ptr<const PixelBuffer>> sourceFrames;
        // The screen's picture as decoded 4:2:0 planes (BT.709 limited range), in place of its track's entry.
        std::shared_ptr<const PlanarPicture> screenPlanes;
        // The camera's picture the same way (drawn into planes only).
        std::shared_ptr<const PlanarPicture> cameraPlanes;
        // Where the frame is drawn; it must be of the render size. Borrowed until the request finishes.
        PixelBuffer* output = nullptr;
        // Instead of `output`: the frame drawn into 4:2:0 planes of the render size (only where drawsPlanar).
        const PlanarCanvas* planes = nullptr;

        std::shared_ptr<const PixelBuffer> sourceFrame(int32_t trackID) const;
    };
    // Called exactly once per request, on the render queue: nothing, or why the frame was not drawn.
    using Finish = std::function<void(std::optional<CompositorError>)>;

    // The 512 × 512 click ring's colour (sRGB).
    static constexpr double ringColor[3] = {0.831, 0.643, 0.604};

    FestrinCompositor();
    ~FestrinCompositor();
    FestrinCompositor(const FestrinCompositor&) = delete;
    FestrinCompositor& operator=(const FestrinCompositor&) = delete;

    // Queues the request and returns at once.
    void startRequest(Request request, Finish finish);
    // Renders the request on the render queue and waits for it. Not from the render queue itself.
    std::optional<CompositorError> renderRequest(const Request& request);
    // Requests already queued are still rendered and finished.
    void cancelAllPendingRequests() {}

    // What the caches hold, read on the render queue.
    struct CacheState {
        std::vector<QString> maskKeys; // in key order
        bool hasRingImage = false;
        int studioRendererBuilds = 0;
        bool hasLastScreenFrame = false;
    };
    CacheState cacheState();

    // --- Per-frame planning, exposed for tests ---

    // A click's ring at take time t: drawn from 0 to 0.45 s after the click, growing from 35 % of 46 px
    // while it fades from 0.55. Nothing before the click or after 0.45 s.
    struct Ring {
        QPointF centre; // render space
        double radius = 0;
        double opacity = 0;
    };
    static std::optional<Ring> classicRing(const Click& click, double t, QSizeF renderSize);
    // The classic zoom about the zoom centre; the identity at a factor of 1.001 or less.
    static QTransform classicZoom(const ZoomTimeline::State& state, QSizeF renderSize);
    // Where the cursor tip is drawn (render space), or nothing when the pointer is off the frame.
    static std::optional<QPointF> classicCursorPoint(const PointerPath& pointer, double t, QSizeF renderSize, const QTransform& zoom);
    // The sprite's scale: pointer height 4.6 % of the frame, shrinking at clicks and growing with √zoom.
    static double classicCursorScale(double pressScale, const QTransform& zoom, double height, double spriteUnit);
    // Image pixels (origin bottom-left) to render space: scaled by the fit or fill ratio, centred on `rect`.
    // Nothing for an image without area.
    static std::optional<QTransform> place(QSizeF extent, const QRectF& rect, FitMode mode);

    // The drawn phone's parts for a phone rectangle (render space).
    struct PhoneFrame {
        double bezel = 0;
        double outerRadius = 0;
        double innerRadius = 0;
        QRectF screen;
        QRectF pill;
    };
    static PhoneFrame phoneFrame(const QRectF& phoneRect);

    // Cache keys of the masks and plates; nothing for a value that is not finite or too large to draw.
    static std::optional<QString> shapeMaskKey(QSizeF size, BubbleShape shape, double tilt);
    static std::optional<QString> roundedMaskKey(QSizeF size, double cornerRadius);
    static std::optional<QString> solidRoundedKey(QSizeF size, double cornerRadius, double gray);

private:
    // A cached mask or plate and the height of the canvas it was drawn on; the canvas's bottom-left goes
    // on the rectangle's origin (a shared key may serve a rectangle a pixel taller or shorter).
    struct CachedImage {
        ImageLayer image;
        int canvasRows = 1;
    };
    struct Scratch {
        cv::Mat layer;
        cv::Mat region;
    };

    std::optional<CompositorError> render(const Request& request);
    // A screen picture: BGRA, or decoded planes.
    struct ScreenSource {
        std::shared_ptr<const PixelBuffer> pixels;
        std::shared_ptr<const PlanarPicture> planes;
        bool isEmpty() const { return !pixels && !planes; }
        QSizeF size() const;
    };
    std::optional<CompositorError> renderPlanes(const Request& request, const ScreenSource& screen);
    // The request's screen picture, or the last one when it has none this time.
    ScreenSource screenFrame(const Request& request, const CompositorSettings& settings);
    // A rectangle with finite corners and some area: anything else leaves its overlay out.
    static bool isDrawable(const QRectF& rect);
    QTransform drawClassicBase(const PixelBuffer& screen, const CompositorSettings& settings, double t,
        const ZoomTimeline::State& zoom, PixelBuffer& out);
    void drawStudioBase(const PixelBuffer& screen, const CompositorSettings& settings, double t,
        const ZoomTimeline::State& zoom, const std::optional<LayoutBlend>& blend, PixelBuffer& out);
    void drawClassicRings(const CompositorSettings& settings, double t, const QTransform& zoom, PixelBuffer& out);
    void drawClassicCursor(const PointerPath& pointer, const CompositorSettings& settings, const QTransform& zoom, double t,
        PixelBuffer& out);
    void drawPhoneOverlay(const PixelBuffer& phone, const CompositorSettings& settings, double alpha, PixelBuffer& out);
    void drawPhone(const PixelBuffer& phone, const CompositorSettings& settings, double canvasHeight, cv::Mat& target,
        QPoint targetOrigin);
    void drawClassicBubble(const PixelBuffer& camera, const CompositorSettings& settings, double alpha, PixelBuffer& out);
    // `image` fitted into `rect`, cropped to it and masked by `mask` (its canvas's bottom-left at the
    // rect's origin), composited over `target`.
    void drawPlaced(const PixelBuffer& image, const QRectF& rect, FitMode mode, const CachedImage* mask, double canvasHeight,
        cv::Mat& target, QPoint targetOrigin, double alpha = 1.0);
    void drawPlate(const CachedImage& plate, const QRectF& rect, double canvasHeight, cv::Mat& target, QPoint targetOrigin);

    StudioRenderer& studioRenderer(const CompositorSettings& settings, QSizeF screenSize);
    const ImageLayer& ringImage();
    // Cached masks and plates; nothing when the values cannot make one.
    const CachedImage* shapeMask(QSizeF size, BubbleShape shape, double tilt);
    const CachedImage* roundedMask(QSizeF size, double cornerRadius);
    const CachedImage* solidRounded(QSizeF size, double cornerRadius, double gray);

    std::map<QString, CachedImage> maskCache_;
    std::optional<ImageLayer> ringImage_;
    std::unique_ptr<StudioRenderer> studio_;
    int studioRendererBuilds_ = 0;
    ScreenSource lastScreen_;
    Scratch scratch_;
    // Last: its destructor runs the queued requests while the state above still exists.
    DispatchQueue renderQueue_{"com.quorrel.festrin.compositor"};
};
