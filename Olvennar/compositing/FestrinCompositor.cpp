#include "compositing/FestrinCompositor.h"

#include "compositing/FestrinInstruction.h"
#include "compositing/RasterFlip.h"
#include "compositing/StudioRenderer.h"
#include "platform/image/ImageCompositing.h"
#include "platform/image/ImageResampling.h"
#include "platform/image/SerialRows.h"
#include "platform/media/PixelBufferViews.h"
#include "platform/media/YuvConversion.h"
#include "takedata/ClipSegment.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace {

constexpr double overlayFade = 0.3;
constexpr double ringLife = 0.45;
constexpr double ringRadius = 46;

// The integer frame of a render size; nothing for a size no buffer can have.
std::optional<QSize> frameSize(QSizeF size)
{
    const double w = size.width(), h = size.height();
    if (!std::isfinite(w) || !std::isfinite(h) || w < 1 || h < 1 || w > std::numeric_limits<int>::max()
        || h > std::numeric_limits<int>::max())
        return std::nullopt;
    return QSize(static_cast<int>(w), static_cast<int>(h));
}

// A decoded picture's planes as the opaque BGRA picture the reader would have made of them; nothing when
// they cannot be converted.
std::shared_ptr<const PixelBuffer> bgraOf(const PlanarPicture& picture)
{
    auto converted = std::make_shared<PixelBuffer>(picture.width(), picture.height());
    if (!YuvConversion(true, false).toBgra(picture.view(), *converted))
        return nullptr;
    return converted;
}

} // namespace

QString FestrinCompositor::description(CompositorError error)
{
    switch (error) {
    case CompositorError::noRenderBuffer: return QStringLiteral("Could not allocate a frame to render into.");
    case CompositorError::missingScreenFrame: return QStringLiteral("A screen frame was missing during export.");
    }
    return {};
}

ErrorInfo FestrinCompositor::info(CompositorError error)
{
    return {QStringLiteral("Olvennar.FestrinCompositor.CompositorError"), static_cast<int>(error), description(error)};
}

std::shared_ptr<const PixelBuffer> FestrinCompositor::Request::sourceFrame(int32_t trackID) const
{
    const auto found = sourceFrames.find(trackID);
    return found == sourceFrames.end() ? nullptr : found->second;
}

FestrinCompositor::FestrinCompositor() = default;

FestrinCompositor::~FestrinCompositor() = default;

void FestrinCompositor::startRequest(Request request, Finish finish)
{
    renderQueue_.async([this, request = std::move(request), finish = std::move(finish)] {
        const std::optional<CompositorError> error = render(request);
        if (finish)
            finish(error);
    });
}

std::optional<FestrinCompositor::CompositorError> FestrinCompositor::renderRequest(const Request& request)
{
    std::optional<CompositorError> error;
    // A caller that keeps its rows to its own thread (one of several renderers drawing side by side) keeps
    // them on the render queue's thread too, which draws for it while it waits.
    const bool serial = SerialRows::active();
    renderQueue_.sync([&] {
        std::optional<SerialRows> rows;
        if (serial)
            rows.emplace();
        error = render(request);
    });
    return error;
}

FestrinCompositor::CacheState FestrinCompositor::cacheState()
{
    CacheState state;
    renderQueue_.sync([&] {
        for (const auto& entry : maskCache_)
            state.maskKeys.push_back(entry.first);
        state.hasRingImage = ringImage_.has_value();
        state.studioRendererBuilds = studioRendererBuilds_;
        state.hasLastScreenFrame = !lastScreen_.isEmpty();
    });
    return state;
}

bool FestrinCompositor::drawsPlanar(const CompositorSettings& settings)
{
    return settings.layout == ScreenLayout::studio && settings.phoneTrackID == 0 && frameSize(settings.renderSize).has_value();
}

QSizeF FestrinCompositor::ScreenSource::size() const
{
    if (pixels)
        return QSizeF(pixels->width(), pixels->height());
    return planes ? QSizeF(planes->width(), planes->height()) : QSizeF();
}

FestrinCompositor::ScreenSource FestrinCompositor::screenFrame(const Request& request, const CompositorSettings& settings)
{
    ScreenSource screen {request.sourceFrame(settings.screenTrackID), request.screenPlanes};
    if (screen.pixels)
        screen.planes.reset();
    if (!screen.isEmpty())
        lastScreen_ = screen;
    else
        screen = lastScreen_;
    return screen;
}

std::optional<FestrinCompositor::CompositorError> FestrinCompositor::render(const Request& request)
{
    if (!request.instruction || (!request.output && !request.planes))
        return CompositorError::noRenderBuffer;
    const CompositorSettings& settings = request.instruction->settings();
    const std::optional<QSize> size = frameSize(settings.renderSize);
    if (request.planes) {
        if (!drawsPlanar(settings) || request.planes->width != size->width() || request.planes->height != size->height()
            || request.planes->isEmpty())
            return CompositorError::noRenderBuffer;
        const ScreenSource screen = screenFrame(request, settings);
        if (screen.isEmpty())
            return CompositorError::missingScreenFrame;
        return renderPlanes(request, screen);
    }
    PixelBuffer& out = *request.output;
    if (!size || out.width() != size->width() || out.height() != size->height())
        return CompositorError::noRenderBuffer;
    const double t = request.compositionTime.seconds();

    const ScreenSource source = screenFrame(request, settings);
    if (source.isEmpty())
        return CompositorError::missingScreenFrame;
    // BGRA frames of decoded planes: converted here, at the edge.
    const std::shared_ptr<const PixelBuffer> screen = source.pixels ? source.pixels : bgraOf(*source.planes);
    if (!screen)
        return CompositorError::missingScreenFrame;

    const ZoomTimeline::State zoom = settings.zoom.state(t);
    const bool studio = settings.layout == ScreenLayout::studio;
    const std::optional<LayoutBlend> blend = studio ? settings.layoutTimeline.blend(t) : std::nullopt;
    if (studio)
        drawStudioBase(*screen, settings, t, zoom, blend, out);
    else
        drawClassicBase(*screen, settings, t, zoom, out);

    const double phoneAlpha = ClipSegment::overlayAlpha(settings.phoneSegments, t, overlayFade);
    const std::shared_ptr<const PixelBuffer> phone = settings.phoneTrackID != 0 ? request.sourceFrame(settings.phoneTrackID) : nullptr;
    if (phone && phoneAlpha > 0.001 && isDrawable(settings.phoneRect))
        drawPhoneOverlay(*phone, settings, phoneAlpha, out);

    const double cameraAlpha = ClipSegment::overlayAlpha(settings.cameraSegments, t, overlayFade);
    std::shared_ptr<const PixelBuffer> camera = settings.cameraTrackID != 0 ? request.sourceFrame(settings.cameraTrackID) : nullptr;
    if (!camera && settings.cameraTrackID != 0 && request.cameraPlanes && cameraAlpha > 0.001)
        camera = bgraOf(*request.cameraPlanes);
    if (camera && cameraAlpha > 0.001) {
        if (studio)
            studioRenderer(settings, QSizeF(screen->width(), screen->height())).drawCard(camera, cameraAlpha, settings.cameraGrade, blend, out);
        else if (isDrawable(settings.bubbleRect))
            drawClassicBubble(*camera, settings, cameraAlpha, out);
    }
    return std::nullopt;
}

std::optional<FestrinCompositor::CompositorError> FestrinCompositor::renderPlanes(const Request& request, const ScreenSource& screen)
{
    const CompositorSettings& settings = request.instruction->settings();
    const double t = request.compositionTime.seconds();
    StudioRenderer::Frame frame;
    frame.screen = screen.pixels.get();
    const PlanarView planes = screen.planes ? screen.planes->view() : PlanarView {};
    if (!screen.pixels)
        frame.screenPlanes = &planes;
    frame.time = t;
    frame.zoom = settings.zoom.state(t);
    frame.region = settings.focus ? settings.focus->rect(t) : QRectF(0, 0, 1, 1);
    frame.pointer = settings.pointer ? &*settings.pointer : nullptr;
    frame.clicks = &settings.clicks;
    frame.showClicks = settings.showClickHighlight;
    frame.layout = settings.layoutTimeline.blend(t);
    const double cameraAlpha = ClipSegment::overlayAlpha(settings.cameraSegments, t, overlayFade);
    const std::shared_ptr<const PixelBuffer> camera = settings.cameraTrackID != 0 ? request.sourceFrame(settings.cameraTrackID) : nullptr;
    const std::shared_ptr<const PlanarPicture> cameraPlanes = settings.cameraTrackID != 0 && !camera ? request.cameraPlanes : nullptr;
    const PlanarView cameraView = cameraPlanes ? cameraPlanes->view() : PlanarView {};
    if ((camera || cameraPlanes) && cameraAlpha > 0.001) {
        frame.camera = camera.get();
        frame.sharedCamera = camera;
        if (cameraPlanes) {
            frame.cameraPlanes = &cameraView;
            frame.sharedCameraPlanes = cameraPlanes;
        }
        frame.cardAlpha = cameraAlpha;
        frame.grade = settings.cameraGrade;
    }
    if (!studioRenderer(settings, screen.size()).render(frame, *request.planes))
        return CompositorError::noRenderBuffer;
    return std::nullopt;
}

bool FestrinCompositor::isDrawable(const QRectF& rect)
{
    return std::isfinite(rect.x()) && std::isfinite(rect.y()) && std::isfinite(rect.width()) && std::isfinite(rect.height())
        && rect.width() > 0 && rect.height() > 0;
}

QTransform FestrinCompositor::drawClassicBase(const PixelBuffer& screen, const CompositorSettings& settings, double t,
    const ZoomTimeline::State& zoom, PixelBuffer& out)
{
    const QSizeF size(out.width(), out.height());
    const QTransform transform = classicZoom(zoom, size);
    cv::Mat canvas = PixelBufferViews::mat(out);
    const cv::Mat source = PixelBufferViews::mat(screen);
    if (transform.isIdentity() && screen.width() == out.width() && screen.height() == out.height()) {
        source.copyTo(canvas);
    } else {
        // The screen at its own pixel size from the bottom-left corner, zoomed; uncovered pixels stay clear.
        ImageResampling::draw(source, RasterFlip::transform(transform, screen.height(), size.height()),
            QRect(0, 0, out.width(), out.height()), canvas, ImageResampling::Filter::linear);
    }
    if (settings.showClickHighlight)
        drawClassicRings(settings, t, transform, out);
    if (settings.pointer)
        drawClassicCursor(*settings.pointer, settings, transform, t, out);
    return transform;
}

void FestrinCompositor::drawStudioBase(const PixelBuffer& screen, const CompositorSettings& settings, double t,
    const ZoomTimeline::State& zoom, const std::optional<LayoutBlend>& blend, PixelBuffer& out)
{
    StudioRenderer& renderer = studioRenderer(settings, QSizeF(screen.width(), screen.height()));
    const QRectF region = settings.focus ? settings.focus->rect(t) : QRectF(0, 0, 1, 1);
    renderer.drawBase(screen, t, zoom, region, settings.pointer ? &*settings.pointer : nullptr, settings.clicks,
        settings.showClickHighlight, blend, out);
}

StudioRenderer& FestrinCompositor::studioRenderer(const CompositorSettings& settings, QSizeF screenSize)
{
    const QSize size = frameSize(settings.renderSize).value_or(QSize());
    // The screen size plays no part: one renderer serves the whole export.
    if (!studio_ || studio_->renderSize() != size || studio_->geometry().face != settings.faceLayout
        || studio_->geometry().background != settings.background) {
        studio_ = std::make_unique<StudioRenderer>(size, screenSize, settings.faceLayout, settings.background);
        ++studioRendererBuilds_;
    }
    return *studio_;
}

// --- Classic look: rings, zoom, cursor ---

std::optional<FestrinCompositor::Ring> FestrinCompositor::classicRing(const Click& click, double t, QSizeF renderSize)
{
    const double age = t - click.time;
    if (!(age >= 0 && age <= ringLife))
        return std::nullopt;
    const double p = age / ringLife;
    Ring ring;
    ring.radius = (0.35 + 0.65 * p) * ringRadius;
    ring.opacity = 0.55 * (1 - p);
    ring.centre = QPointF(renderSize.width() * click.x, renderSize.height() * click.y);
    return ring;
}

QTransform FestrinCompositor::classicZoom(const ZoomTimeline::State& state, QSizeF renderSize)
{
    const double z = 1 + (state.scale - 1) * state.amount;
    if (!(z > 1.001) || !std::isfinite(z))
        return {};
    const QPointF centre(renderSize.width() * state.center.x(), renderSize.height() * state.center.y());
    return QTransform::fromTranslate(-centre.x(), -centre.y()) * QTransform::fromScale(z, z)
        * QTransform::fromTranslate(centre.x(), centre.y());
}

std::optional<QPointF> FestrinCompositor::classicCursorPoint(const PointerPath& pointer, double t, QSizeF renderSize,
    const QTransform& zoom)
{
    const std::optional<QPointF> p = pointer.position(t);
    if (!p)
        return std::nullopt;
    const auto onFrame = [](double v) { return v >= -0.005 && v <= 1.005; };
    if (!onFrame(p->x()) || !onFrame(p->y()))
        return std::nullopt;
    return zoom.map(QPointF(renderSize.width() * p->x(), renderSize.height() * p->y()));
}

double FestrinCompositor::classicCursorScale(double pressScale, const QTransform& zoom, double height, double spriteUnit)
{
    return pressScale * std::sqrt(std::max(0.3, zoom.m11())) * height * 0.046 / (spriteUnit * 19.3);
}

void FestrinCompositor::drawClassicRings(const CompositorSettings& settings, double t, const QTransform& zoom, PixelBuffer& out)
{
    const QSizeF size(out.width(), out.height());
    cv::Mat canvas = PixelBufferViews::mat(out);
    for (const Click& click : settings.clicks) {
        const std::optional<Ring> ring = classicRing(click, t, size);
        if (!ring || ring->opacity <= 0)
            continue;
        const ImageLayer& image = ringImage();
        if (image.isEmpty())
            return;
        // The ring belongs to the screen picture, so the zoom moves and grows it too.
        const double side = image.pixels.width();
        const double r = ring->radius;
        const QTransform onScreen = QTransform::fromScale(2 * r / side, 2 * r / side)
            * QTransform::fromTranslate(ring->centre.x() - r, ring->centre.y() - r) * zoom;
        const QTransform toCanvas = RasterFlip::transform(onScreen, image.pixels.height(), size.height());
        const QRect area = ImageResampling::mappedBounds(image.mat().size(), toCanvas).intersected(QRect(0, 0, out.width(), out.height()));
        if (area.isEmpty())
            continue;
        ImageResampling::draw(image.mat(), toCanvas, area, scratch_.layer, ImageResampling::Filter::linear);
        ImageCompositing::over(canvas, scratch_.layer, area.topLeft(), ring->opacity);
    }
}

void FestrinCompositor::drawClassicCursor(const PointerPath& pointer, const CompositorSettings& settings, const QTransform& zoom,
    double t, PixelBuffer& out)
{
    const QSizeF size(out.width(), out.height());
    const std::optional<QPointF> tip = classicCursorPoint(pointer, t, size, zoom);
    if (!tip)
        return;
    // The sprites are the studio look's, so both looks draw one pointer.
    const StudioRenderer::CursorSprite* sprite = studioRenderer(settings, size).sprite(pointer.shape(t));
    if (!sprite || sprite->image.isEmpty())
        return;
    const double scale = classicCursorScale(StudioRenderer::pressScale(t, settings.clicks), zoom, size.height(), sprite->unit);
    if (!(scale > 0) || !std::isfinite(scale))
        return;
    const QTransform onFrame = QTransform::fromScale(scale, scale)
        * QTransform::fromTranslate(tip->x() - sprite->hotspot.x() * scale, tip->y() - sprite->hotspot.y() * scale);
    const QTransform toCanvas = RasterFlip::transform(onFrame, sprite->image.pixels.height(), size.height());
    const QRect area = ImageResampling::mappedBounds(sprite->image.mat().size(), toCanvas).intersected(QRect(0, 0, out.width(), out.height()));
    if (area.isEmpty())
        return;
    ImageResampling::draw(sprite->image.mat(), toCanvas, area, scratch_.layer, ImageResampling::Filter::lanczos);
    cv::Mat canvas = PixelBufferViews::mat(out);
    ImageCompositing::over(canvas, scratch_.layer, area.topLeft());
}
