#include "compositing/RasterFlip.h"
#include "compositing/RectBands.h"
#include "compositing/StudioRenderer.h"
#include "compositing/StudioRendererBasePlan.h"
#include "compositing/StudioRendererScratch.h"
#include "platform/image/ImageResampling.h"
#include "platform/image/PlanarCompositing.h"

#include <algorithm>

// The frame drawn straight into 4:2:0 planes. Layers are the BGRA path's, each composited per plane; where a
// layer is cut into pieces (bands around what the window or card hides), the cuts fall on even pixels, so no
// chroma sample is blended from two pieces one after the other (which would not be the same as one blend).

using RectBands::bandsAround;
using RectBands::evenAround;
using RectBands::evenInside;

namespace {

cv::Mat planeView(const PlanarCanvas& canvas, int index, const QRect& r)
{
    return canvas.plane(index)(cv::Rect(r.x(), r.y(), r.width(), r.height()));
}

} // namespace

bool StudioRenderer::drawPlanarBase(const ScreenPicture& screen, double time, const ZoomTimeline::State& zoom, const QRectF& region,
    const PointerPath* pointer, const std::vector<Click>& clicks, bool showClicks, std::optional<LayoutBlend> layout,
    const QRect& underCard, const PlanarCanvas& out)
{
    // Decoded planes carry no alpha: the picture is opaque.
    BasePlan plan = planBase(screen.bgra, screen.size(), zoom, region, layout);
    plan.hidden = evenInside(plan.hidden);
    const QRect card = evenInside(underCard);
    const PieceSink sink = [&out](const cv::Mat& piece, QPoint at, double alpha) { PlanarCompositing::over(out, piece, at, alpha); };
    if (plan.covers) {
        PlanarCompositing::fill(out, out.rect(), 0, 0, 0);
    } else {
        drawPlanarRoom(time, zoom.amount, plan.hidden, card, out);
        for (const ShadowUse& use : windowShadows(plan, layout)) {
            // The home shadow where it was baked, on whole blocks: prepared once in planes.
            const bool inPlace = use.shadow == &windowShadow_ && use.from == plan.overview && plan.camera.roomTransform.isIdentity()
                && use.weight >= 0.999 && out.width % 2 == 0 && out.height % 2 == 0;
            if (!inPlace) {
                drawShadowPieces(*use.shadow, use.from, plan.overview, plan.camera.roomTransform, use.weight, out.rect(), plan.hidden, card, sink);
                continue;
            }
            if (windowShadowPlanes_.isEmpty())
                windowShadowPlanes_ = PlanarCompositing::prepare(windowShadow_.mat(), windowShadow_.origin);
            for (const QRect& band : bandsAround(windowShadowPlanes_.rect.intersected(out.rect()), plan.hidden, card))
                PlanarCompositing::over(out, windowShadowPlanes_, band);
        }
    }
    drawPlanarScreen(screen, plan.camera, plan.windowRect, plan.radius, plan.covers, plan.hidden, out);
    if (!plan.covers) {
        // The rim in pieces around the window's middle, where it draws nothing.
        const double H = renderSize_.height();
        const QRectF raster = RasterFlip::rect(plan.windowRect, H);
        const double reach = geometry_.edgeWidth + 2;
        const QRect bounds = evenAround(RasterFlip::pixelsTouched(raster.adjusted(-reach, -reach, reach, reach))).intersected(out.rect());
        const double inset = std::max(plan.radius, 0.0) + reach;
        const QRect middle = evenInside(RasterFlip::pixelsInside(raster.adjusted(inset, inset, -inset, -inset), 0));
        // A window that stands where it stood last frame keeps its rim prepared in planes; a moving one draws
        // it anew each frame.
        WindowRimPlanes& kept = windowRimPlanes_;
        const bool still = kept.windowRect == plan.windowRect && kept.radius == plan.radius;
        if (!still)
            kept = {plan.windowRect, plan.radius, {}};
        // Prepared pieces draw whole chroma blocks only.
        const bool prepare = still && kept.bands.empty() && out.width % 2 == 0 && out.height % 2 == 0;
        if (still && !kept.bands.empty()) {
            for (const PlanarCompositing::PreparedPiece& piece : kept.bands)
                PlanarCompositing::over(out, piece, piece.rect);
        } else {
            for (const QRect& band : bandsAround(bounds, middle)) {
                cv::Mat part = Scratch::area(scratch_->layer, band.size());
                part.setTo(cv::Scalar::all(0));
                drawWindowEdge(plan.windowRect, plan.radius, part, band.topLeft());
                if (prepare)
                    kept.bands.push_back(PlanarCompositing::prepare(part, band.topLeft()));
                PlanarCompositing::over(out, part, band.topLeft());
            }
        }
    }
    if (showClicks && !clicks.empty())
        drawRipples(time, plan.camera, clicks, plan.windowRect, plan.covers, sink);
    if (pointer)
        drawPointer(time, plan.camera, *pointer, clicks, plan.windowRect, plan.covers, sink);
    return true;
}

void StudioRenderer::drawPlanarRoom(double time, double zoomWeight, const QRect& hidden, const QRect& underCard, const PlanarCanvas& out)
{
    if (room_.isEmpty()) {
        PlanarCompositing::fill(out, out.rect(), 0, 0, 0);
        return;
    }
    if (roomPlanes_.isEmpty())
        roomPlanes_ = PlanarCompositing::fromBgra(PixelBufferViews::mat(room_.pixels));
    const QTransform toCanvas = roomToCanvas(time, zoomWeight);
    for (const QRect& band : bandsAround(out.rect(), hidden, underCard)) {
        cv::Mat part = planeView(out, 0, band);
        ImageResampling::drawPlane(roomPlanes_.planes[0], toCanvas, band, part, true);
    }
    const QTransform toChroma = PlanarCompositing::chromaMap(toCanvas);
    const QRect chroma(0, 0, out.chromaWidth(), out.chromaHeight());
    for (const QRect& band : bandsAround(chroma, PlanarCompositing::chromaInside(hidden), PlanarCompositing::chromaInside(underCard))) {
        for (int index : {1, 2}) {
            cv::Mat part = planeView(out, index, band);
            ImageResampling::drawPlane(roomPlanes_.planes[index], toChroma, band, part, true);
        }
    }
}

void StudioRenderer::drawPlanarScreen(const ScreenPicture& picture, const StudioCamera& camera, const QRectF& windowRect, double radius,
    bool covers, const QRect& hidden, const PlanarCanvas& out)
{
    const QSize size = picture.size();
    if (size.isEmpty() || (picture.bgra && picture.bgra->isEmpty()))
        return;
    const double H = renderSize_.height();
    const QTransform toCanvas = screenToCanvas(size, camera);
    QRect area = ImageResampling::mappedBounds(cv::Size(size.width(), size.height()), toCanvas).intersected(out.rect());
    const RoundedRectShape mask = RoundedRectShape::make(RasterFlip::rect(windowRect, H), radius);
    if (!covers)
        area = area.intersected(mask.pixelBounds());
    area = evenAround(area).intersected(out.rect());
    if (area.isEmpty())
        return;
    if (picture.planes) {
        drawScreenPlanes(*picture.planes, toCanvas, mask, covers, hidden, area, out);
        return;
    }
    const cv::Mat source = PixelBufferViews::mat(*picture.bgra);
    // The opaque middle as one piece; the edges, masked, around it.
    const QRect middle = hidden.intersected(area);
    std::vector<QRect> pieces = bandsAround(area, middle);
    if (!middle.isEmpty())
        pieces.insert(pieces.begin(), middle);
    for (const QRect& piece : pieces) {
        cv::Mat part = Scratch::area(scratch_->screen, piece.size());
        ImageResampling::draw(source, toCanvas, piece, part, ImageResampling::Filter::linear);
        if (covers || piece == middle)
            PlanarCompositing::over(out, part, piece.topLeft());
        else
            PlanarCompositing::overMasked(out, part, piece.topLeft(), mask);
    }
}

void StudioRenderer::drawScreenPlanes(const PlanarView& screen, const QTransform& toCanvas, const RoundedRectShape& mask, bool covers,
    const QRect& hidden, const QRect& area, const PlanarCanvas& out)
{
    const QTransform toChroma = PlanarCompositing::chromaMap(toCanvas);
    const QRectF picture = toCanvas.mapRect(QRectF(0, 0, screen.width, screen.height));
    const cv::Mat source[3] = {screen.plane(0), screen.plane(1), screen.plane(2)};
    // Edge pixels repeat the picture's edge; what the picture leaves bare is its coverage's business.
    const auto resample = [&](const QRect& piece, cv::Mat (&into)[3]) {
        ImageResampling::drawPlane(source[0], toCanvas, piece, into[0], true);
        const QRect chroma = PlanarCompositing::chromaTouched(piece);
        for (int i : {1, 2})
            ImageResampling::drawPlane(source[i], toChroma, chroma, into[i], true);
    };
    // The opaque middle straight into the frame.
    const QRect middle = (covers ? evenInside(RasterFlip::pixelsInside(picture, 0).intersected(out.rect())) : hidden).intersected(area);
    if (!middle.isEmpty()) {
        const QRect chroma = PlanarCompositing::chromaTouched(middle);
        cv::Mat views[3] = {planeView(out, 0, middle), planeView(out, 1, chroma), planeView(out, 2, chroma)};
        resample(middle, views);
    }
    // A pixel's share of the picture, times its share of the window's rounded mask (as the BGRA path's
    // transparent picture edge under the mask).
    const auto share = [](double a0, double a1, double lo, double hi) { return std::clamp(std::min(a1, hi) - std::max(a0, lo), 0.0, 1.0); };
    const PlanarCompositing::RowCoverage coverage = [&](int y, int x0, int count, float* into) {
        const double fy = share(y, y + 1.0, picture.top(), picture.bottom());
        const RoundedRectShape::Span even = covers ? RoundedRectShape::Span{} : mask.evenSpan(y + 0.5);
        for (int i = 0; i < count; ++i) {
            const int x = x0 + i;
            const double fx = share(x, x + 1.0, picture.left(), picture.right());
            const double cover = covers ? 1.0 : (x >= even.from && x <= even.to ? even.value : mask.coverage(x + 0.5, y + 0.5));
            into[i] = static_cast<float>(fx * fy * cover);
        }
    };
    for (const QRect& band : bandsAround(area, middle)) {
        cv::Mat parts[3];
        parts[0] = Scratch::area(scratch_->screenPlanes[0], band.size(), CV_8UC1);
        const QSize chromaSize = PlanarCompositing::chromaTouched(band).size();
        for (int i : {1, 2})
            parts[i] = Scratch::area(scratch_->screenPlanes[i], chromaSize, CV_8UC1);
        resample(band, parts);
        PlanarCompositing::mixOpaque(out, PlanarView::over(parts, band.width(), band.height()), band.topLeft(), coverage);
    }
}
