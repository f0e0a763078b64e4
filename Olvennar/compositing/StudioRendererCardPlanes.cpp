#include "compositing/RasterFlip.h"
#include "compositing/RectBands.h"
#include "compositing/StudioRenderer.h"
#include "compositing/StudioRendererScratch.h"
#include "platform/image/ImageColor.h"
#include "platform/image/ImageResampling.h"
#include "platform/image/PlanarCompositing.h"
#include "platform/media/YuvConversion.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

// The camera card drawn from the camera's decoded planes straight into the frame's planes: the BGRA card's
// layers, each composited per plane; the picture is resampled and graded in planes and mixed by the mask's
// coverage (chroma by its average over each 2×2 block), so no BGRA picture of the camera is made.

using RectBands::bandsAround;
using RectBands::evenAround;
using RectBands::evenInside;

namespace {

// The picture covers the card (within half a pixel): no backfill shows.
bool coversCard(QSize camera, double scale, QPointF centre, const QRectF& card)
{
    const QRectF picture(centre.x() - scale * camera.width() / 2, centre.y() - scale * camera.height() / 2, scale * camera.width(),
        scale * camera.height());
    return picture.adjusted(-0.5, -0.5, 0.5, 0.5).contains(card);
}

} // namespace

void StudioRenderer::drawPlanarCard(const PlanarView& camera, const std::shared_ptr<const PlanarPicture>& shared, double alpha, bool grade,
    std::optional<LayoutBlend> layout, const PlanarCanvas& out)
{
    if (layout && !std::isfinite(layout->t))
        layout->t = 1;
    if (!std::isfinite(alpha) || !(alpha > 0) || camera.isEmpty())
        return;
    const QSize size(camera.width, camera.height);
    const std::optional<CardPlan> plan = planCard(size, layout);
    if (!plan)
        return;
    if (!coversCard(size, plan->scale, plan->centre, plan->card)) {
        // The backfill (a blurred cover of the whole picture) is drawn the BGRA way only.
        PixelBuffer picture(camera.width, camera.height);
        if (YuvConversion(true, false).toBgra(camera, picture))
            drawCardOnce(picture, nullptr, alpha, grade, layout, CardTarget {nullptr, &out});
        return;
    }
    if (alpha >= 0.999) {
        drawPlanarCardLayers(camera, shared, grade, *plan, layout, out);
        return;
    }
    // Faded as one layer, so the card's own pieces do not show through each other: drawn unfaded over a
    // copy of the frame, which is then mixed back by the alpha.
    PlanarImage& faded = scratch_->fade;
    if (faded.width() != out.width || faded.height() != out.height)
        faded = PlanarImage(out.width, out.height);
    for (int i = 0; i < 3; ++i)
        out.plane(i).copyTo(faded.planes[i]);
    drawPlanarCardLayers(camera, shared, grade, *plan, layout, faded.canvas());
    const float share = static_cast<float>(std::min(alpha, 1.0));
    PlanarCompositing::mixOpaque(out, faded.view(), QPoint(0, 0), [share](int, int, int count, float* into) { std::fill(into, into + count, share); });
}

void StudioRenderer::drawPlanarCardLayers(const PlanarView& camera, const std::shared_ptr<const PlanarPicture>& shared, bool grade,
    const CardPlan& plan, const std::optional<LayoutBlend>& layout, const PlanarCanvas& out)
{
    const double H = renderSize_.height();
    const QRect canvas = out.rect();
    const QRectF cardRaster = RasterFlip::rect(plan.card, H);
    // Decoded planes are opaque: the card's middle hides its shadow.
    const QRect hidden = evenInside(RasterFlip::pixelsInside(cardRaster, plan.radius));
    const PieceSink sink = [&out](const cv::Mat& piece, QPoint at, double alpha) { PlanarCompositing::over(out, piece, at, alpha); };
    const bool wholeBlocks = out.width % 2 == 0 && out.height % 2 == 0;
    const QRectF outer = plan.card.adjusted(-plan.rim, -plan.rim, plan.rim, plan.rim);

    if (plan.moving && layout) {
        drawMovingCardShadows(*layout, outer, hidden, canvas, sink);
    } else if (wholeBlocks && !cardShadow_.isEmpty()) {
        if (cardShadowPlanes_.isEmpty())
            cardShadowPlanes_ = PlanarCompositing::prepare(cardShadow_.mat(), cardShadow_.origin);
        for (const QRect& band : bandsAround(cardShadowPlanes_.rect.intersected(canvas), hidden))
            PlanarCompositing::over(out, cardShadowPlanes_, band);
    } else {
        drawShadowPieces(cardShadow_, geometry_.cardRect, geometry_.cardRect, QTransform(), 1, canvas, hidden, {}, sink);
    }

    const QRect area = evenAround(plan.area).intersected(canvas);
    if (!area.isEmpty()) {
        const bool repeated = !plan.moving && shared && restingCardPlanes_ && restingCardPlanes_->camera == shared
            && restingCardPlanes_->grade == grade && restingCardPlanes_->area == area;
        if (!repeated) {
            restingCardPlanes_.reset();
            coverCardPlanes(camera, grade, plan, area);
            if (shared && !plan.moving)
                restingCardPlanes_ = RestingCardPlanes {shared, grade, area};
        }
        const PlanarView picture = PlanarView::over(scratch_->cardPlanes, area.width(), area.height());
        PlanarCompositing::RowCoverage coverage;
        const RoundedRectShape shape = RoundedRectShape::make(cardRaster, plan.radius);
        const cv::Mat mask = cardMask_.mat();
        const QPoint maskAt = cardMask_.origin;
        if (plan.moving) {
            // Worked out per pixel only where the row is not one value.
            coverage = [&shape](int y, int x0, int count, float* into) {
                if (shape.isEmpty()) {
                    std::fill(into, into + count, 0.0f);
                    return;
                }
                const RoundedRectShape::Span even = shape.evenSpan(y + 0.5);
                for (int i = 0; i < count; ++i) {
                    const int x = x0 + i;
                    into[i] = x >= even.from && x <= even.to ? even.value : shape.coverage(x + 0.5, y + 0.5);
                }
            };
        } else {
            // The baked mask's alpha, as the BGRA card is masked.
            coverage = [&mask, maskAt](int y, int x0, int count, float* into) {
                std::fill(into, into + count, 0.0f);
                const int my = y - maskAt.y();
                if (my < 0 || my >= mask.rows)
                    return;
                const uint8_t* row = mask.ptr<uint8_t>(my);
                for (int i = 0; i < count; ++i) {
                    const int mx = x0 + i - maskAt.x();
                    if (mx >= 0 && mx < mask.cols)
                        into[i] = row[4 * mx + 3] * (1.0f / 255);
                }
            };
        }
        // The middle, wholly covered, straight into the frame; the rounded edges mixed by their coverage.
        const QRect middle = hidden.intersected(area);
        if (!middle.isEmpty())
            PlanarCompositing::mixOpaque(out, PlanarCompositing::part(picture, middle.translated(-area.topLeft())), middle.topLeft());
        for (const QRect& band : bandsAround(area, middle))
            PlanarCompositing::mixOpaque(out, PlanarCompositing::part(picture, band.translated(-area.topLeft())), band.topLeft(), coverage);
    }

    if (plan.moving) {
        if (const std::optional<CardRim> rim = movingCardRim(plan)) {
            // The ring in pieces around the card's middle, where it draws nothing.
            const QRect bounds = evenAround(rim->outer.pixelBounds()).intersected(canvas);
            const QRect clear = evenInside(RasterFlip::pixelsInside(cardRaster.adjusted(1, 1, -1, -1), plan.radius));
            for (const QRect& band : bandsAround(bounds, clear)) {
                cv::Mat part = Scratch::area(scratch_->layer, band.size());
                part.setTo(cv::Scalar::all(0));
                ImageShapes::fillRing(part, band.topLeft(), rim->outer, rim->inner, rim->colour);
                PlanarCompositing::over(out, part, band.topLeft());
            }
        }
    } else if (wholeBlocks && !cardEdge_.isEmpty()) {
        if (cardEdgePlanes_.isEmpty())
            cardEdgePlanes_ = PlanarCompositing::prepare(cardEdge_.mat(), cardEdge_.origin);
        for (const QRect& band : bandsAround(cardEdgePlanes_.rect.intersected(canvas), evenInside(cardEdgeClear_)))
            PlanarCompositing::over(out, cardEdgePlanes_, band);
    } else {
        drawShadowPieces(cardEdge_, geometry_.cardRect, geometry_.cardRect, QTransform(), 1, canvas, evenInside(cardEdgeClear_), {}, sink);
    }
}

void StudioRenderer::coverCardPlanes(const PlanarView& camera, bool grade, const CardPlan& plan, const QRect& area)
{
    const QRect cameraRect(0, 0, camera.width, camera.height);
    QTransform toCanvas = cameraPlacement(cameraRect.size(), plan.scale, plan.centre, renderSize_.height());
    const bool light = !geometry_.isDarkRoom();
    cv::Mat source[3] = {camera.plane(0), camera.plane(1), camera.plane(2)};
    // The grade works per pixel: when the card shows fewer pixels than it reads, grade the card instead;
    // else only the camera pixels the card shows, on whole blocks.
    const bool gradeAfter = grade && plan.scale < 1;
    if (grade && !gradeAfter) {
        const QRectF needed = toCanvas.inverted().mapRect(QRectF(area));
        const QRect window = evenAround(RasterFlip::pixelsTouched(needed).adjusted(-6, -6, 6, 6)).intersected(cameraRect);
        if (!window.isEmpty()) {
            const QRect chroma = PlanarCompositing::chromaTouched(window).intersected(QRect(0, 0, camera.chromaWidth(), camera.chromaHeight()));
            for (int i = 0; i < 3; ++i) {
                const QRect r = i == 0 ? window : chroma;
                cv::Mat copy = Scratch::area(scratch_->cameraPlanes[i], r.size(), CV_8UC1);
                source[i](cv::Rect(r.x(), r.y(), r.width(), r.height())).copyTo(copy);
                source[i] = copy;
            }
            StudioRenderer::grade(PlanarCanvas::over(source, window.width(), window.height()), light);
            toCanvas = QTransform::fromTranslate(window.x(), window.y()) * toCanvas;
        }
    }
    const QRect chroma = PlanarCompositing::chromaTouched(area);
    const QTransform toChroma = PlanarCompositing::chromaMap(toCanvas);
    for (int i = 0; i < 3; ++i) {
        cv::Mat into = Scratch::area(scratch_->cardPlanes[i], i == 0 ? area.size() : chroma.size(), CV_8UC1);
        if (i == 0 || plan.scale <= 1.001) {
            ImageResampling::drawPlane(source[i], i == 0 ? toCanvas : toChroma, i == 0 ? area : chroma, into, true, ImageResampling::Filter::lanczos);
            continue;
        }
        // Enlarged, chroma takes the BGRA way's steps: each sample spread over its block (as a decoder's
        // conversion spreads it), enlarged with the luma, then averaged over each block again.
        cv::Mat spread = Scratch::area(scratch_->cardChroma[0], QSize(2 * source[i].cols, 2 * source[i].rows), CV_8UC1);
        cv::resize(source[i], spread, spread.size(), 0, 0, cv::INTER_NEAREST);
        cv::Mat enlarged = Scratch::area(scratch_->cardChroma[1], area.size(), CV_8UC1);
        ImageResampling::drawPlane(spread, toCanvas, area, enlarged, true, ImageResampling::Filter::lanczos);
        cv::resize(enlarged, into, into.size(), 0, 0, cv::INTER_AREA);
    }
    const PlanarCanvas card = PlanarCanvas::over(scratch_->cardPlanes, area.width(), area.height());
    if (gradeAfter)
        StudioRenderer::grade(card, light);
    if (plan.scale > 1.3) {
        cv::Mat luma = card.plane(0);
        ImageColor::sharpenLuma(luma, 0.35, 1.4);
    }
}
