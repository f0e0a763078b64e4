#include "compositing/FaceCardFraming.h"
#include "compositing/RasterFlip.h"
#include "compositing/RenderRect.h"
#include "compositing/StudioPalette.h"
#include "compositing/StudioRenderer.h"
#include "compositing/StudioRendererScratch.h"
#include "platform/image/ImageBlur.h"
#include "platform/image/ImageColor.h"
#include "platform/image/ImageCompositing.h"
#include "platform/image/ImageResampling.h"
#include "platform/image/ImageShapes.h"
#include "platform/image/PlanarCompositing.h"

#include <algorithm>
#include <cmath>

using namespace RenderRect;

namespace {


// Share of a box [a, b] left after a Gaussian blur of sigma, at v.
double blurredBox(double v, double a, double b, double sigma)
{
    const double k = 1 / (sigma * std::sqrt(2.0));
    return 0.5 * (std::erf((v - a) * k) - std::erf((v - b) * k));
}

// Exposure, then warmer white (6500 K seen as 5800 K), then a little contrast and saturation.
ImageColor::Grade cameraGrade(bool light)
{
    ImageColor::Grade grade;
    grade.ev = light ? -0.12 : -0.3;
    grade.neutral = QPointF(6500, 0);
    grade.targetNeutral = QPointF(5800, 0);
    grade.contrast = 1.06;
    grade.saturation = 1.03;
    return grade;
}

void gradeMat(cv::Mat& picture, bool light) { ImageColor::applyGrade(picture, cameraGrade(light)); }

// The pixels a card surely paints opaque: inside the rounded corners, by a pixel. The camera pixels shown
// there decide; a picture that leaves part of the card bare fills it from all of its pixels. No pixels: a
// picture known opaque (decoded planes).
QRect opaqueInside(const PixelBuffer* camera, const QTransform& toCanvas, const QRectF& cardRaster, double radius)
{
    const QRect inside = RasterFlip::pixelsInside(cardRaster, radius);
    if (inside.isEmpty())
        return {};
    if (!camera || camera->isKnownOpaque())
        return inside;
    const cv::Mat pixels = PixelBufferViews::mat(*camera);
    const std::optional<QRect> read = ImageResampling::readBounds(pixels.size(), toCanvas, inside);
    const cv::Mat shown = read ? pixels(cv::Rect(read->x(), read->y(), read->width(), read->height())) : pixels;
    return ImageCompositing::isOpaque(shown) ? inside : QRect();
}

} // namespace

QTransform StudioRenderer::cameraPlacement(QSize camera, double scale, QPointF centre, double canvasHeight)
{
    return QTransform::fromScale(scale, scale)
        * QTransform::fromTranslate(centre.x() - scale * camera.width() / 2, canvasHeight - centre.y() - scale * camera.height() / 2);
}

void StudioRenderer::grade(PixelBuffer& picture, bool light)
{
    cv::Mat mat = PixelBufferViews::mat(picture);
    gradeMat(mat, light);
}

void StudioRenderer::grade(const PlanarCanvas& planes, bool light) { ImageColor::applyGrade(planes, cameraGrade(light)); }

PixelBuffer StudioRenderer::scaleCamera(const PixelBuffer& picture, double scale)
{
    const int w = static_cast<int>(std::lround(picture.width() * scale));
    const int h = static_cast<int>(std::lround(picture.height() * scale));
    PixelBuffer scaled(w, h);
    if (scaled.isEmpty() || picture.isEmpty())
        return scaled;
    cv::Mat out = PixelBufferViews::mat(scaled);
    ImageResampling::draw(PixelBufferViews::mat(picture), QTransform::fromScale(scale, scale), QRect(0, 0, w, h), out,
        ImageResampling::Filter::lanczos, true);
    if (scale > 1.3)
        ImageColor::sharpenLuminance(out, 0.35, 1.4);
    return scaled;
}

void StudioRenderer::coverCard(const PixelBuffer& camera, bool grade, double scale, QPointF centre, const QRectF& card, const QRect& area)
{
    const double H = renderSize_.height();
    const double cw = camera.width(), ch = camera.height();
    const bool light = !geometry_.isDarkRoom();
    const auto placement = [&](double s, QPointF c) { return cameraPlacement(QSize(camera.width(), camera.height()), s, c, H); };
    cv::Mat source = PixelBufferViews::mat(camera);
    QTransform toCanvas = placement(scale, centre);
    const QRectF picture(centre.x() - scale * cw / 2, centre.y() - scale * ch / 2, scale * cw, scale * ch);
    const bool covered = picture.adjusted(-0.5, -0.5, 0.5, 0.5).contains(card);

    cv::Mat graded = source;
    // The grade works per pixel: when the card shows fewer pixels than it reads, grade the card instead.
    const bool gradeAfter = grade && covered && scale < 1;
    if (grade && !gradeAfter) {
        // Grading is per pixel: only the camera pixels the card shows are graded (all of them for a backfill).
        cv::Rect window(0, 0, source.cols, source.rows);
        if (covered) {
            const QRectF needed = toCanvas.inverted().mapRect(QRectF(area));
            const QRect grown = RasterFlip::pixelsTouched(needed).adjusted(-6, -6, 6, 6).intersected(QRect(0, 0, source.cols, source.rows));
            window = cv::Rect(grown.x(), grown.y(), grown.width(), grown.height());
        }
        if (window.width <= 0 || window.height <= 0)
            window = cv::Rect(0, 0, source.cols, source.rows);
        cv::Mat copy = Scratch::area(scratch_->camera, QSize(window.width, window.height));
        source(window).copyTo(copy);
        gradeMat(copy, light);
        graded = copy;
        toCanvas = QTransform::fromTranslate(window.x, window.y) * toCanvas;
        if (!covered)
            toCanvas = placement(scale, centre);
    }
    scratch_->cardView = Scratch::area(scratch_->cardView, area.size());
    cv::Mat& out = scratch_->cardView;
    ImageResampling::draw(graded, toCanvas, area, out, ImageResampling::Filter::lanczos, covered);
    if (gradeAfter)
        gradeMat(out, light);
    if (scale > 1.3)
        ImageColor::sharpenLuminance(out, 0.35, 1.4);
    if (covered)
        return;

    // The picture leaves part of the card bare: a blurred, paler cover of the whole frame fills in
    // behind it, and the picture fades into it over its left, right and top edges.
    const double backScale = std::max(card.width() / cw, card.height() / ch);
    cv::Mat back;
    ImageResampling::draw(graded, placement(backScale, QPointF(midX(card), midY(card))), area, back, ImageResampling::Filter::lanczos, true);
    ImageBlur::gaussian(back, 220, true);
    ImageColor::colorControls(back, 1, 0.35, 0);
    const QRectF E = picture;
    const QRectF inner = E.adjusted(70, 70, -70, -70);
    const double y0 = minY(E) - 280;
    for (int y = 0; y < out.rows; ++y) {
        const double ry = H - (area.y() + y + 0.5);
        uint8_t* row = out.ptr<uint8_t>(y);
        const double my = (ry < minY(E) || ry > maxY(E)) ? 0 : blurredBox(ry, y0, maxY(inner), 35);
        for (int x = 0; x < out.cols; ++x) {
            const double rx = area.x() + x + 0.5;
            const double m = (rx < minX(E) || rx > maxX(E)) ? 0 : my * blurredBox(rx, minX(inner), maxX(inner), 35);
            for (int c = 0; c < 4; ++c)
                row[4 * x + c] = static_cast<uint8_t>(row[4 * x + c] * m + 0.5);
        }
    }
    ImageCompositing::over(back, out, {});
    back.copyTo(out);
}

template <typename Draw>
void StudioRenderer::composeLayer(const CardTarget& out, double alpha, const QRect& bounds, const Draw& draw)
{
    if (out.bgra && alpha >= 0.999) {
        cv::Mat canvas = PixelBufferViews::mat(*out.bgra);
        draw(canvas, QPoint());
        return;
    }
    const QRect area = bounds.intersected(QRect(QPoint(0, 0), renderSize_));
    if (area.isEmpty() || !(alpha > 0))
        return;
    // Faded as one layer, so the card's own pieces do not show through each other; in planes, one piece.
    cv::Mat layer = Scratch::area(scratch_->cardLayer, area.size());
    layer.setTo(cv::Scalar::all(0));
    draw(layer, area.topLeft());
    if (out.planes) {
        PlanarCompositing::over(*out.planes, layer, area.topLeft(), std::min(alpha, 1.0));
        return;
    }
    cv::Mat canvas = PixelBufferViews::mat(*out.bgra);
    ImageCompositing::over(canvas, layer, area.topLeft(), alpha);
}

QRect StudioRenderer::cardCover(const PixelBuffer* pixels, QSize camera, double alpha, std::optional<LayoutBlend> layout) const
{
    // The same choices drawCardOnce makes for a card at rest drawn as it is (not faded as a layer).
    if (!(alpha >= 0.999) || camera.isEmpty())
        return {};
    const std::optional<CardPlan> plan = planCard(camera, layout);
    if (!plan || plan->moving)
        return {};
    const double H = renderSize_.height();
    return opaqueInside(pixels, cameraPlacement(camera, plan->scale, plan->centre, H), RasterFlip::rect(plan->card, H), plan->radius)
        .intersected(QRect(QPoint(0, 0), renderSize_));
}

std::optional<StudioRenderer::CardPlan> StudioRenderer::planCard(QSize camera, std::optional<LayoutBlend> layout) const
{
    if (layout && !std::isfinite(layout->t))
        layout->t = 1;
    const double cw = camera.width(), ch = camera.height();
    const double H = renderSize_.height();
    const QRect canvas(QPoint(0, 0), renderSize_);
    CardPlan plan;
    const std::optional<StudioLayoutFrame> frame = layoutFrame(layout);
    if (frame && !isHome(*frame)) {
        // A moving card covers its rectangle and leans toward the part of it inside the frame.
        const QRectF K = frame->cardRect;
        if (!(cw > 0) || !(ch > 0) || !(K.width() > 0) || !(K.height() > 0))
            return std::nullopt;
        const double W = renderSize_.width();
        const double s = std::max(K.width() / cw, K.height() / ch) * FaceCardFraming::wide;
        const double sw = cw * s, sh = ch * s;
        QRectF visible = intersection(K, QRectF(0, 0, W, H));
        if (visible.isEmpty())
            visible = K;
        const double slack = std::max((sw - K.width()) / 2, 0.0);
        const double dx = std::clamp(midX(visible) - midX(K), -slack, slack);
        plan.moving = true;
        plan.card = K;
        plan.radius = frame->cardRadius;
        plan.rim = frame->cardRim;
        plan.scale = s;
        plan.centre = QPointF(midX(K) + dx, K.height() <= sh ? midY(K) - 0.06 * (sh - K.height()) : minY(K) + sh / 2);
        plan.area = RasterFlip::pixelsTouched(RasterFlip::rect(K, H)).intersected(canvas);
        return plan;
    }
    const std::optional<FaceCardFraming> framing = FaceCardFraming::make(geometry_, QSizeF(cw, ch));
    if (!framing)
        return std::nullopt;
    plan.card = geometry_.cardRect;
    plan.radius = geometry_.cardRadius;
    plan.rim = geometry_.cardRim;
    plan.scale = framing->scale;
    plan.centre = QPointF(midX(framing->cameraRect), midY(framing->cameraRect));
    plan.area = RasterFlip::pixelsTouched(RasterFlip::rect(geometry_.cardRect, H)).intersected(canvas);
    return plan;
}

void StudioRenderer::drawCard(const PixelBuffer& camera, double alpha, bool grade, std::optional<LayoutBlend> layout, PixelBuffer& over)
{
    if (over.width() == renderSize_.width() && over.height() == renderSize_.height() && !over.isEmpty())
        drawCardOnce(camera, nullptr, alpha, grade, layout, CardTarget {&over, nullptr});
}

void StudioRenderer::drawCard(const std::shared_ptr<const PixelBuffer>& camera, double alpha, bool grade, std::optional<LayoutBlend> layout,
    PixelBuffer& over)
{
    if (camera && over.width() == renderSize_.width() && over.height() == renderSize_.height() && !over.isEmpty())
        drawCardOnce(*camera, camera, alpha, grade, layout, CardTarget {&over, nullptr});
}

void StudioRenderer::drawCardOnce(const PixelBuffer& camera, const std::shared_ptr<const PixelBuffer>& shared, double alpha, bool grade,
    std::optional<LayoutBlend> layout, const CardTarget& over)
{
    if (layout && !std::isfinite(layout->t))
        layout->t = 1;
    if (!std::isfinite(alpha) || camera.isEmpty())
        return;
    const std::optional<CardPlan> plan = planCard(QSize(camera.width(), camera.height()), layout);
    if (!plan)
        return;
    if (plan->moving) {
        drawMovingCard(camera, alpha, grade, *plan, *layout, over);
        return;
    }
    const double H = renderSize_.height();
    const QRect area = plan->area;
    if (area.isEmpty())
        return;
    const bool repeated = shared && restingCard_ && restingCard_->camera == shared && restingCard_->grade == grade && restingCard_->area == area;
    if (!repeated) {
        restingCard_.reset();
        coverCard(camera, grade, plan->scale, plan->centre, plan->card, area);
        ImageCompositing::blendWithAlphaMask(scratch_->cardView, cardMask_.mat(), cardMask_.origin - area.topLeft());
        if (shared)
            restingCard_ = RestingCard {shared, grade, area};
    }
    const QRect bounds = cardShadow_.rect().united(area).united(cardEdge_.rect());
    const QRect hidden = opaqueInside(&camera, cameraPlacement(QSize(camera.width(), camera.height()), plan->scale, plan->centre, H),
        RasterFlip::rect(plan->card, H), plan->radius);
    composeLayer(over, alpha, bounds, [&](cv::Mat& target, QPoint origin) {
        drawShadowMapped(cardShadow_, geometry_.cardRect, geometry_.cardRect, QTransform(), 1, target, origin, hidden);
        ImageCompositing::over(target, scratch_->cardView, area.topLeft() - origin);
        drawShadowMapped(cardEdge_, geometry_.cardRect, geometry_.cardRect, QTransform(), 1, target, origin, cardEdgeClear_);
    });
}

std::vector<std::pair<LayoutState, double>> StudioRenderer::cardShadowWeights(const LayoutBlend& blend)
{
    const double w = blend.from == blend.to ? 1.0 : std::clamp(blend.t, 0.0, 1.0);
    return {{blend.to, w}, {blend.from, 1 - w}};
}

void StudioRenderer::drawMovingCardShadows(const LayoutBlend& blend, const QRectF& outer, const QRect& hidden, const QRect& targetRect,
    const PieceSink& sink)
{
    for (const auto& [state, weight] : cardShadowWeights(blend)) {
        if (weight <= 0.001)
            continue;
        const StudioLayoutFrame own = geometry_.layoutFrame(state);
        const QRectF S = own.cardRect.adjusted(-own.cardRim, -own.cardRim, own.cardRim, own.cardRim);
        drawShadowPieces(cardShadow(state), S, outer, QTransform(), weight, targetRect, hidden, {}, sink);
    }
}

std::optional<StudioRenderer::CardRim> StudioRenderer::movingCardRim(const CardPlan& plan) const
{
    if (geometry_.isDarkRoom() || !(plan.rim > 0.1))
        return std::nullopt;
    const double H = renderSize_.height();
    const QRectF cardRaster = RasterFlip::rect(plan.card, H);
    const QRectF O = plan.card.adjusted(-plan.rim, -plan.rim, plan.rim, plan.rim);
    return CardRim {RoundedRectShape::make(RasterFlip::rect(O, H), plan.radius + plan.rim),
        RoundedRectShape::make(cardRaster.adjusted(0.5, 0.5, -0.5, -0.5), plan.radius),
        StudioPalette::withAlpha(StudioPalette::rimCream, geometry_.face == FaceLayout::tallLeft ? 0.9 : 1.0)};
}

void StudioRenderer::drawMovingCard(const PixelBuffer& camera, double alpha, bool grade, const CardPlan& plan, const LayoutBlend& blend,
    const CardTarget& over)
{
    const double H = renderSize_.height();
    const QRectF K = plan.card;
    const QRectF cardRaster = RasterFlip::rect(K, H);
    const QRect area = plan.area;
    const QRectF O = K.adjusted(-plan.rim, -plan.rim, plan.rim, plan.rim);
    if (!area.isEmpty()) {
        restingCard_.reset();
        coverCard(camera, grade, plan.scale, plan.centre, K, area);
        ImageShapes::maskToRoundedRect(scratch_->cardView, area.topLeft(), RoundedRectShape::make(cardRaster, plan.radius));
    }

    const double reach = 0.25 * H;
    const QRect bounds = RasterFlip::pixelsTouched(RasterFlip::rect(O, H).adjusted(-reach, -reach, reach, reach));
    const QRect hidden = opaqueInside(&camera, cameraPlacement(QSize(camera.width(), camera.height()), plan.scale, plan.centre, H), cardRaster,
        plan.radius);
    const std::optional<CardRim> rim = movingCardRim(plan);
    composeLayer(over, alpha, bounds, [&](cv::Mat& target, QPoint origin) {
        const QRect targetRect(origin.x(), origin.y(), target.cols, target.rows);
        drawMovingCardShadows(blend, O, hidden, targetRect, [&](const cv::Mat& piece, QPoint at, double weight) {
            ImageCompositing::over(target, piece, at - origin, weight);
        });
        if (!area.isEmpty())
            ImageCompositing::over(target, scratch_->cardView, area.topLeft() - origin);
        if (rim)
            ImageShapes::fillRing(target, origin, rim->outer, rim->inner, rim->colour);
    });
}
