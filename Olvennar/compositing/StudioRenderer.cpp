#include "compositing/StudioRenderer.h"

#include "compositing/RasterFlip.h"
#include "compositing/ShapeMasking.h"
#include "compositing/RectBands.h"
#include "compositing/StudioCamera.h"
#include "compositing/StudioRendererBasePlan.h"
#include "compositing/StudioPalette.h"
#include "compositing/StudioRendererScratch.h"
#include "platform/image/ImageCompositing.h"
#include "platform/image/ImageResampling.h"

#include <algorithm>
#include <cmath>

using RectBands::bandsAround;

namespace {

cv::Mat view(cv::Mat& mat, const QRect& r) { return mat(cv::Rect(r.x(), r.y(), r.width(), r.height())); }

double finiteOr(double value, double fallback) { return std::isfinite(value) ? value : fallback; }

// Values from files and timelines may be broken; a frame never computes with NaN or infinities.
ZoomTimeline::State sanitized(const ZoomTimeline::State& zoom)
{
    return {finiteOr(zoom.amount, 0), finiteOr(zoom.scale, 1), QPointF(finiteOr(zoom.center.x(), 0.5), finiteOr(zoom.center.y(), 0.5))};
}

std::optional<LayoutBlend> sanitized(std::optional<LayoutBlend> layout)
{
    if (layout)
        layout->t = finiteOr(layout->t, 1);
    return layout;
}

QRectF sanitized(const QRectF& region)
{
    const bool finite = std::isfinite(region.x()) && std::isfinite(region.y()) && std::isfinite(region.width()) && std::isfinite(region.height());
    return finite ? region : QRectF(0, 0, 1, 1);
}

} // namespace

StudioRenderer::StudioRenderer(QSize renderSize, QSizeF screenSize, FaceLayout face, StudioBackground background)
    : renderSize_(renderSize)
    , geometry_(QSizeF(renderSize), screenSize.width() / std::max(screenSize.height(), 1.0), face, background)
    , screenSize_(screenSize)
    , scratch_(std::make_unique<Scratch>())
{
    room_ = geometry_.isDarkRoom() ? makeRoom(geometry_) : StudioBackdrop::makeLightPlate(background, renderSize, 1.1);
    windowShadow_ = makeShadow(geometry_.windowRect, geometry_.windowRadius, true, false, std::nullopt);
    const double rim = geometry_.cardRim;
    cardShadow_ = makeShadow(geometry_.cardRect.adjusted(-rim, -rim, rim, rim), geometry_.cardRadius + rim, false,
        face == FaceLayout::tallLeft, std::nullopt);
    cardMask_ = ShapeMasking::alphaMask(QSizeF(renderSize), ShapeMasking::roundedRectPath(geometry_.cardRect, geometry_.cardRadius));
    bakeCardEdge();
    for (CursorShape shape : {CursorShape::arrow, CursorShape::iBeam, CursorShape::hand})
        sprites_[shape] = makeCursor(shape);
    ripple_ = makeRipple();
}

StudioRenderer::~StudioRenderer() = default;

const StudioRenderer::CursorSprite* StudioRenderer::sprite(CursorShape shape) const
{
    auto found = sprites_.find(shape);
    if (found == sprites_.end())
        found = sprites_.find(CursorShape::arrow);
    return found == sprites_.end() ? nullptr : &found->second;
}

bool StudioRenderer::isHome(const StudioLayoutFrame& frame) const
{
    return frame.windowRect == geometry_.windowRect && frame.windowRadius == geometry_.windowRadius && frame.cardRect == geometry_.cardRect
        && frame.cardRadius == geometry_.cardRadius && frame.cardRim == geometry_.cardRim;
}

std::optional<StudioLayoutFrame> StudioRenderer::layoutFrame(std::optional<LayoutBlend> blend) const
{
    if (!blend)
        return std::nullopt;
    if (blend->from == blend->to || blend->t >= 1)
        return geometry_.layoutFrame(blend->to);
    if (blend->t <= 0)
        return geometry_.layoutFrame(blend->from);
    return StudioLayoutFrame::lerp(geometry_.layoutFrame(blend->from), geometry_.layoutFrame(blend->to), blend->t);
}

bool StudioRenderer::render(const Frame& frame, PixelBuffer& out)
{
    if (!frame.screen)
        return false;
    static const std::vector<Click> noClicks;
    if (out.width() != renderSize_.width() || out.height() != renderSize_.height() || out.isEmpty())
        return false;
    // Room and window shadow under the card's opaque middle would be painted over by the card.
    const QRect underCard = frame.camera
        ? cardCover(frame.camera, QSize(frame.camera->width(), frame.camera->height()), frame.cardAlpha, sanitized(frame.layout))
        : QRect();
    if (!drawSafeBase(*frame.screen, finiteOr(frame.time, 0), sanitized(frame.zoom), sanitized(frame.region), frame.pointer,
            frame.clicks ? *frame.clicks : noClicks, frame.showClicks, sanitized(frame.layout), underCard, out))
        return false;
    if (frame.camera)
        drawCard(*frame.camera, frame.cardAlpha, frame.grade, frame.layout, out);
    return true;
}

bool StudioRenderer::render(const Frame& frame, const PlanarCanvas& out)
{
    const ScreenPicture screen {frame.screenPlanes ? nullptr : frame.screen, frame.screenPlanes};
    if ((!screen.bgra && (!screen.planes || screen.planes->isEmpty())) || out.isEmpty() || out.width != renderSize_.width()
        || out.height != renderSize_.height())
        return false;
    static const std::vector<Click> noClicks;
    const PlanarView* cameraPlanes = frame.cameraPlanes && !frame.cameraPlanes->isEmpty() ? frame.cameraPlanes : nullptr;
    QRect underCard;
    if (cameraPlanes)
        underCard = cardCover(nullptr, QSize(cameraPlanes->width, cameraPlanes->height), frame.cardAlpha, sanitized(frame.layout));
    else if (frame.camera)
        underCard = cardCover(frame.camera, QSize(frame.camera->width(), frame.camera->height()), frame.cardAlpha, sanitized(frame.layout));
    if (!drawPlanarBase(screen, finiteOr(frame.time, 0), sanitized(frame.zoom), sanitized(frame.region), frame.pointer,
            frame.clicks ? *frame.clicks : noClicks, frame.showClicks, sanitized(frame.layout), underCard, out))
        return false;
    if (cameraPlanes)
        drawPlanarCard(*cameraPlanes, frame.sharedCameraPlanes && frame.sharedCameraPlanes->view().data[0] == cameraPlanes->data[0]
                ? frame.sharedCameraPlanes : nullptr,
            frame.cardAlpha, frame.grade, frame.layout, out);
    else if (frame.camera)
        drawCardOnce(*frame.camera, frame.sharedCamera.get() == frame.camera ? frame.sharedCamera : nullptr, frame.cardAlpha, frame.grade,
            frame.layout, CardTarget {nullptr, &out});
    return true;
}

bool StudioRenderer::drawBase(const PixelBuffer& screen, double time, const ZoomTimeline::State& zoom, const QRectF& region,
    const PointerPath* pointer, const std::vector<Click>& clicks, bool showClicks, std::optional<LayoutBlend> layout, PixelBuffer& out)
{
    if (out.width() != renderSize_.width() || out.height() != renderSize_.height() || out.isEmpty())
        return false;
    return drawSafeBase(screen, finiteOr(time, 0), sanitized(zoom), sanitized(region), pointer, clicks, showClicks, sanitized(layout), {}, out);
}

StudioRenderer::BasePlan StudioRenderer::planBase(const PixelBuffer* screen, QSize pictureSize, const ZoomTimeline::State& zoom,
    const QRectF& region, std::optional<LayoutBlend> layout) const
{
    const double W = renderSize_.width();
    const double H = renderSize_.height();
    BasePlan plan;
    plan.frame = layoutFrame(layout);
    if (plan.frame && isHome(*plan.frame))
        plan.frame.reset();
    const double aspect = screenSize_.width() / std::max(screenSize_.height(), 1.0);
    plan.overview = geometry_.overviewRect(region, aspect, plan.frame ? std::optional<QRectF>(plan.frame->windowRect) : std::nullopt);

    // While the window morphs, the zoom keeps its size relative to the home window.
    ZoomTimeline::State zoomState = zoom;
    if (plan.frame && zoom.amount > 0 && plan.frame->windowRect.width() > 1)
        zoomState.scale = std::max(zoom.scale * geometry_.windowRect.width() / plan.frame->windowRect.width(), 1.02);
    plan.camera = StudioCamera::at(zoomState, geometry_, screenSize_, region, plan.overview);
    plan.windowRect = plan.camera.roomTransform.mapRect(plan.overview);
    plan.radius = (plan.frame ? plan.frame->windowRadius : geometry_.windowRadius) * plan.camera.roomTransform.m11();
    plan.covers = plan.windowRect.adjusted(1, 1, -1, -1).contains(QRectF(0, 0, W, H));
    // Room and shadow under the opaque middle of the window would be painted over: skip them.
    if (!plan.covers) {
        const double sw = std::max(screenSize_.width(), 1.0), sh = std::max(screenSize_.height(), 1.0);
        const QRectF picture = RasterFlip::rect(plan.camera.transform.mapRect(QRectF(0, 0, sw, sh)), H);
        plan.hidden = RasterFlip::pixelsInside(RasterFlip::rect(plan.windowRect, H), plan.radius)
                          .intersected(RasterFlip::pixelsInside(picture, 0));
        if (!plan.hidden.isEmpty() && screen && !opaqueUnder(*screen, screenToCanvas(pictureSize, plan.camera), plan.hidden))
            plan.hidden = QRect();
    }
    return plan;
}

std::vector<StudioRenderer::ShadowUse> StudioRenderer::windowShadows(const BasePlan& plan, std::optional<LayoutBlend> layout)
{
    if (!plan.frame || !layout)
        return {{&windowShadow_, geometry_.windowRect, 1}};
    std::vector<ShadowUse> uses;
    const double w = layout->from == layout->to ? 1.0 : std::clamp(layout->t, 0.0, 1.0);
    const std::pair<LayoutState, double> pairs[] = {{layout->from, 1 - w}, {layout->to, w}};
    for (const auto& [state, weight] : pairs) {
        if (weight > 0.001)
            uses.push_back({&windowShadow(state), geometry_.layoutFrame(state).windowRect, weight});
    }
    return uses;
}

bool StudioRenderer::drawSafeBase(const PixelBuffer& screen, double time, const ZoomTimeline::State& zoom, const QRectF& region,
    const PointerPath* pointer, const std::vector<Click>& clicks, bool showClicks, std::optional<LayoutBlend> layout, const QRect& underCard,
    PixelBuffer& out)
{
    const BasePlan plan = planBase(&screen, QSize(screen.width(), screen.height()), zoom, region, layout);
    cv::Mat canvas = PixelBufferViews::mat(out);
    if (plan.covers) {
        out.fill(0, 0, 0, 255);
    } else {
        drawRoom(time, zoom.amount, plan.hidden, underCard, out);
        for (const ShadowUse& use : windowShadows(plan, layout))
            drawShadowMapped(*use.shadow, use.from, plan.overview, plan.camera.roomTransform, use.weight, canvas, {}, plan.hidden, underCard);
    }
    drawScreen(screen, plan.camera, plan.windowRect, plan.radius, plan.covers, plan.hidden, out);
    if (!plan.covers)
        drawWindowEdge(plan.windowRect, plan.radius, canvas, {});
    const PieceSink sink = [&canvas](const cv::Mat& piece, QPoint at, double alpha) { ImageCompositing::over(canvas, piece, at, alpha); };
    if (showClicks && !clicks.empty())
        drawRipples(time, plan.camera, clicks, plan.windowRect, plan.covers, sink);
    if (pointer)
        drawPointer(time, plan.camera, *pointer, clicks, plan.windowRect, plan.covers, sink);
    return true;
}

QTransform StudioRenderer::roomToCanvas(double time, double zoomWeight) const
{
    const double W = renderSize_.width();
    const double H = renderSize_.height();
    const double k = geometry_.isDarkRoom() ? 1 + 0.07 * zoomWeight : 1.0;
    const double a = 2 * M_PI * time;
    const double dx = 0.006 * W * std::sin(a / 29);
    const double dy = 0.005 * H * std::sin(a / 37 + 1.3);
    // p → (W/2 + dx, H/2 + dy) + k·(p − (W/2, H/2)), in render space.
    const QTransform drift(k, 0, 0, k, W / 2 + dx - k * W / 2, H / 2 + dy - k * H / 2);
    // Plate pixels → render space (the plate's own rows are raster rows of its extent).
    const QTransform plateToRender = RasterFlip::flip(room_.extent.height()) * QTransform::fromTranslate(room_.extent.x(), room_.extent.y());
    return plateToRender * drift * RasterFlip::flip(H);
}

void StudioRenderer::drawRoom(double time, double zoomWeight, const QRect& hidden, const QRect& underCard, PixelBuffer& out) const
{
    cv::Mat target = PixelBufferViews::mat(out);
    if (room_.isEmpty()) {
        out.fill(0, 0, 0, 255);
        return;
    }
    const QTransform toCanvas = roomToCanvas(time, zoomWeight);
    for (const QRect& band : bandsAround(QRect(0, 0, out.width(), out.height()), hidden, underCard)) {
        cv::Mat part = view(target, band);
        ImageResampling::draw(PixelBufferViews::mat(room_.pixels), toCanvas, band, part, ImageResampling::Filter::linear, true);
    }
}

void StudioRenderer::drawShadowMapped(const ImageLayer& shadow, const QRectF& from, const QRectF& to, const QTransform& room,
    double weight, cv::Mat& target, QPoint targetOrigin, const QRect& hidden, const QRect& alsoHidden)
{
    const QRect targetRect(targetOrigin.x(), targetOrigin.y(), target.cols, target.rows);
    drawShadowPieces(shadow, from, to, room, weight, targetRect, hidden, alsoHidden, [&](const cv::Mat& piece, QPoint at, double alpha) {
        ImageCompositing::over(target, piece, at - targetOrigin, alpha);
    });
}

void StudioRenderer::drawShadowPieces(const ImageLayer& shadow, const QRectF& from, const QRectF& to, const QTransform& room,
    double weight, const QRect& targetRect, const QRect& hidden, const QRect& alsoHidden, const PieceSink& sink)
{
    if (shadow.isEmpty() || weight <= 0.001)
        return;
    const double alpha = weight < 0.999 ? weight : 1.0;
    if (from == to && room.isIdentity()) {
        cv::Mat pixels = shadow.mat();
        for (const QRect& band : bandsAround(shadow.rect().intersected(targetRect), hidden, alsoHidden))
            sink(view(pixels, band.translated(-shadow.origin)), band.topLeft(), alpha);
        return;
    }
    if (!(from.width() > 0) || !(from.height() > 0))
        return;
    const QTransform renderMap = QTransform::fromTranslate(-from.x(), -from.y())
        * QTransform::fromScale(to.width() / from.width(), to.height() / from.height()) * QTransform::fromTranslate(to.x(), to.y()) * room;
    const double H = renderSize_.height();
    const QTransform toCanvas = QTransform::fromTranslate(shadow.origin.x(), shadow.origin.y()) * RasterFlip::transform(renderMap, H, H);
    const QRect area = ImageResampling::mappedBounds(shadow.mat().size(), toCanvas).intersected(targetRect);
    for (const QRect& band : bandsAround(area, hidden, alsoHidden)) {
        // A few rows at a time, composited while they are still in the cache.
        cv::Mat part = Scratch::area(scratch_->layer, QSize(band.width(), std::min(band.height(), ImageResampling::chunkRows)));
        ImageResampling::drawInRows(shadow.mat(), toCanvas, band, part, ImageResampling::Filter::linear, false,
            [&](const cv::Mat& rows, int first) { sink(rows, band.topLeft() + QPoint(0, first), alpha); });
    }
}

QTransform StudioRenderer::screenToCanvas(QSize pictureSize, const StudioCamera& camera) const
{
    const double sw = std::max(screenSize_.width(), 1.0);
    const double sh = std::max(screenSize_.height(), 1.0);
    // A frame of another size than the recording's is stretched onto it.
    const QTransform bufferToScreen = QTransform::fromScale(sw / std::max(pictureSize.width(), 1), sh / std::max(pictureSize.height(), 1));
    return bufferToScreen * RasterFlip::transform(camera.transform, sh, renderSize_.height());
}

bool StudioRenderer::opaqueUnder(const PixelBuffer& picture, const QTransform& toCanvas, const QRect& area)
{
    // Only the pixels drawn into the area count; a picture that does not reach over all of it is not opaque there.
    const cv::Mat pixels = PixelBufferViews::mat(picture);
    const std::optional<QRect> read = ImageResampling::readBounds(pixels.size(), toCanvas, area);
    if (!read || read->isEmpty())
        return false;
    if (picture.isKnownOpaque())
        return true;
    return ImageCompositing::isOpaque(pixels(cv::Rect(read->x(), read->y(), read->width(), read->height())));
}

void StudioRenderer::drawScreen(const PixelBuffer& screen, const StudioCamera& camera, const QRectF& windowRect, double radius,
    bool covers, const QRect& hidden, PixelBuffer& out)
{
    if (screen.isEmpty())
        return;
    const double H = renderSize_.height();
    const QTransform toCanvas = screenToCanvas(QSize(screen.width(), screen.height()), camera);
    QRect area = ImageResampling::mappedBounds(PixelBufferViews::mat(screen).size(), toCanvas).intersected(QRect(0, 0, out.width(), out.height()));
    const RoundedRectShape mask = RoundedRectShape::make(RasterFlip::rect(windowRect, H), radius);
    if (!covers)
        area = area.intersected(mask.pixelBounds());
    if (area.isEmpty())
        return;
    cv::Mat target = PixelBufferViews::mat(out);
    const auto blend = [&](const cv::Mat& part, const QRect& band) {
        if (covers)
            ImageCompositing::over(target, part, band.topLeft());
        else
            ImageCompositing::overMasked(target, part, band.topLeft(), mask);
    };
    // The opaque middle of the window is written straight into the frame; only its edges are blended.
    // The edges beside the middle share its rows and come in the same pass (a narrow band alone would
    // read each of its source rows for a few pixels): the frame under them is put aside first, and they
    // are blended over it after.
    const QRect middle = hidden.intersected(area);
    std::vector<QRect> bands = bandsAround(area, middle);
    if (!middle.isEmpty()) {
        const QRect rows(area.left(), middle.top(), area.width(), middle.height());
        std::vector<std::pair<QRect, cv::Mat>> beside;
        for (const QRect& band : bands) {
            if (rows.contains(band))
                beside.emplace_back(band, view(target, band).clone());
        }
        cv::Mat part = view(target, rows);
        ImageResampling::draw(PixelBufferViews::mat(screen), toCanvas, rows, part, ImageResampling::Filter::linear);
        for (auto& [band, under] : beside) {
            cv::Mat drawn = view(target, band).clone();
            under.copyTo(view(target, band));
            blend(drawn, band);
        }
        std::erase_if(bands, [&](const QRect& band) { return rows.contains(band); });
    }
    for (const QRect& band : bands) {
        cv::Mat part = Scratch::area(scratch_->screen, band.size());
        ImageResampling::draw(PixelBufferViews::mat(screen), toCanvas, band, part, ImageResampling::Filter::linear);
        blend(part, band);
    }
}

void StudioRenderer::drawWindowEdge(const QRectF& windowRect, double radius, cv::Mat& target, QPoint origin) const
{
    const double H = renderSize_.height();
    const double width = geometry_.edgeWidth;
    const QRectF raster = RasterFlip::rect(windowRect, H);
    if (!geometry_.isDarkRoom()) {
        const double h = width / 2;
        ImageShapes::strokeRoundedRect(target, origin, raster.adjusted(h, h, -h, -h), std::max(radius - h, 0.0), width,
            StudioPalette::withAlpha(StudioPalette::white, 0.55));
        return;
    }
    // Dark room: a cream rim that fades from the window's top downward (smooth gradient 0.62 → 0.16 over 0.9 H).
    const double top = std::min(windowRect.y() + windowRect.height(), H);
    const auto fade = [top, H](double rasterY) {
        const double y = H - rasterY;
        const double t = std::clamp((top - y) / (0.9 * H), 0.0, 1.0);
        const double s = t * t * (3 - 2 * t);
        return 0.62 + (0.16 - 0.62) * s;
    };
    ImageShapes::strokeRoundedRect(target, origin, raster, radius, width, StudioPalette::cream, fade);
}
