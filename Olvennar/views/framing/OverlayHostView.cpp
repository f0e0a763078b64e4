#include "views/framing/OverlayHostView.h"

#include "compositing/BubbleShapePath.h"
#include "compositing/RenderRect.h"
#include "views/framing/FramingStyle.h"
#include "views/framing/PanelShape.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTimer>
#include <QVariantAnimation>

#include <algorithm>
#include <cmath>

using namespace RenderRect;

namespace {

QFont pillFont()
{
    QFont font;
    font.setPixelSize(11);
    font.setWeight(QFont::DemiBold);
    return font;
}

// The shared outline is drawn y-up; widgets are y-down.
QPainterPath flippedInto(const QPainterPath& yUp, const QRectF& rect)
{
    QTransform flip;
    flip.translate(0, rect.top() + rect.bottom());
    flip.scale(1, -1);
    return flip.map(yUp);
}

} // namespace

// Guide, pill and phone island drawn above the live picture; clicks pass through to the panel.
class OverlayHostView::Decorations final : public QWidget {
public:
    explicit Decorations(OverlayHostView& host)
        : QWidget(&host)
        , host_(host)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        if (host_.islandRect_) {
            const QRectF island = *host_.islandRect_;
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor::fromRgbF(0.02f, 0.02f, 0.02f));
            painter.drawRoundedRect(island, island.height() / 2, island.height() / 2);
        }
        if (host_.guideOpacity_ > 0) {
            painter.setOpacity(host_.guideOpacity_);
            QPen pen(FramingStyle::cream(0.75));
            pen.setWidthF(1);
            pen.setDashPattern({5, 4});
            painter.setPen(pen);
            painter.setBrush(Qt::NoBrush);
            painter.drawPath(host_.guidePath());
            painter.setOpacity(1);
        }
        if (host_.pillStatus_) {
            const QRectF pill = host_.pillRect_;
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor::fromRgbF(0, 0, 0, 0.62f));
            painter.drawRoundedRect(pill, 10, 10);
            painter.setBrush(host_.pillDotColor());
            painter.drawEllipse(QRectF(pill.x() + 9, pill.y() + 6, 8, 8));
            painter.setFont(pillFont());
            painter.setPen(Qt::white);
            const QRectF textRect(pill.x() + 22, pill.y() + 3, std::max(0.0, pill.width() - 29), 15);
            const QString shown = QFontMetricsF(pillFont()).elidedText(host_.pillString_, Qt::ElideRight, textRect.width());
            painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, shown);
        }
    }

private:
    OverlayHostView& host_;
};

OverlayHostView::OverlayHostView(QWidget* preview, QWidget* parent)
    : QWidget(parent)
    , preview_(preview)
    , decorations_(new Decorations(*this))
    , guideHide_(new QTimer(this))
    , fade_(new QVariantAnimation(this))
{
    if (preview_) {
        preview_->setParent(this);
        preview_->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    decorations_->raise();
    guideHide_->setSingleShot(true);
    connect(guideHide_, &QTimer::timeout, this, [this] { fade_->start(); });
    fade_->setDuration(800);
    fade_->setStartValue(1.0);
    fade_->setEndValue(0.0);
    connect(fade_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        guideOpacity_ = value.toDouble();
        decorations_->update();
    });
}

OverlayHostView::~OverlayHostView() = default;

void OverlayHostView::resizeEvent(QResizeEvent*)
{
    decorations_->setGeometry(rect());
    layoutPreview();
}

QPainterPath OverlayHostView::guideLines(const QRectF& bounds)
{
    QPainterPath path;
    const double w = bounds.width(), h = bounds.height();
    for (double below : {0.10, 0.36}) {
        const double y = bounds.top() + below * h;
        path.moveTo(bounds.left() + 0.12 * w, y);
        path.lineTo(bounds.right() - 0.12 * w, y);
    }
    return path;
}

QPainterPath OverlayHostView::guidePath() const { return guideLines(QRectF(rect())); }

double OverlayHostView::maximumPillWidth(double viewWidth, bool studioCard) { return studioCard ? viewWidth - 14 : 0.72 * viewWidth; }

void OverlayHostView::layoutGuide() { decorations_->update(); }

void OverlayHostView::layoutPreview()
{
    layoutPill();
    const QRectF bounds(rect());
    const double w = bounds.width();
    if (!studioFraming || showsPhoneFrame) {
        guideHide_->stop();
        fade_->stop();
        guideOpacity_ = 0;
    }
    outline_ = QPainterPath();
    islandRect_.reset();
    if (showsPhoneFrame) {
        const double inset = 0.03 * w;
        previewRect_ = bounds.adjusted(inset, inset, -inset, -inset);
        const double h = 0.085 * w;
        // Its top edge 0.028 w below the inset top edge (y down here).
        islandRect_ = QRectF(bounds.center().x() - 0.15 * w, bounds.top() + inset + 0.028 * w, 0.3 * w, h);
    } else if (!studioFraming) {
        previewRect_ = bounds;
        if (bubbleShape)
            outline_ = flippedInto(BubbleShapePath::path(*bubbleShape, bounds, bubbleTilt), bounds);
    } else {
        const FaceCardFraming& framing = *studioFraming;
        const QRectF& visible = framing.visibleRect;
        const double k = w / std::max(1.0, visible.width());
        // The framing is y-up (a rectangle's top edge is its maxY) and the widget y-down: y counts down from the
        // visible part's top edge, as the compositor's raster does.
        const auto map = [&](const QRectF& r) {
            return QRectF(bounds.left() + k * (minX(r) - minX(visible)), bounds.top() + k * (maxY(visible) - maxY(r)), k * r.width(),
                k * r.height());
        };
        previewRect_ = map(framing.cameraRect);
        const QRectF card = map(framing.cardRect);
        outline_.addRoundedRect(card, framing.cardRadius * k, framing.cardRadius * k);
    }
    applyMasks();
    update();
    decorations_->update();
}

void OverlayHostView::applyMasks()
{
    const QRectF bounds(rect());
    QPainterPath visible;
    if (showsPhoneFrame) {
        visible.addRoundedRect(bounds, 0.155 * bounds.width(), 0.155 * bounds.width());
    } else if (!outline_.isEmpty()) {
        visible = outline_;
    } else {
        visible.addRoundedRect(bounds, cornerRadius, cornerRadius);
    }
    if (preview_) {
        preview_->setGeometry(previewRect_.toAlignedRect());
        QPainterPath clip;
        if (showsPhoneFrame) {
            const double radius = std::max(2.0, 0.155 * bounds.width() - 0.03 * bounds.width());
            clip.addRoundedRect(QRectF(QPointF(0, 0), previewRect_.size()), radius, radius);
        } else {
            clip = visible.translated(-previewRect_.topLeft());
        }
        preview_->setMask(QRegion(clip.toFillPolygon().toPolygon()));
    }
    // Without a compositor the panel's transparency is not drawn: the window itself takes the outline.
    if (QWidget* panel = window(); panel && panel != this && !bounds.isEmpty())
        PanelShape::apply(*panel, visible.translated(mapTo(panel, QPoint(0, 0))));
}

void OverlayHostView::paintEvent(QPaintEvent*)
{
    if (!showsPhoneFrame)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor::fromRgbF(0.055f, 0.055f, 0.055f));
    const double radius = 0.155 * width();
    painter.drawRoundedRect(QRectF(rect()), radius, radius);
}

void OverlayHostView::flashGuide(double seconds)
{
    guideHide_->stop();
    fade_->stop();
    if (!studioFraming) {
        guideOpacity_ = 0;
        decorations_->update();
        return;
    }
    layoutGuide();
    guideOpacity_ = 1;
    decorations_->update();
    guideHide_->start(static_cast<int>(std::lround(std::max(0.0, seconds) * 1000)));
}

QColor OverlayHostView::pillDotColor() const { return FramingStyle::status(pillStatus_.value_or(FramingStatus::unknown)); }

void OverlayHostView::setPill(std::optional<FramingStatus> status, const QString& text, double scale)
{
    (void)scale; // Qt renders at the screen's own device pixel ratio.
    if (!status || showsPhoneFrame) {
        pillStatus_.reset();
        decorations_->update();
        return;
    }
    pillStatus_ = status;
    if (text != pillString_)
        pillString_ = text;
    layoutPill();
    decorations_->update();
}

void OverlayHostView::layoutPill()
{
    if (!pillStatus_)
        return;
    const double t = std::floor(QFontMetricsF(pillFont()).horizontalAdvance(pillString_));
    const double p = std::min(t + 30, maximumPillWidth(width(), studioFraming.has_value()));
    // Near the bottom of the bubble, centred (y down: 0.09 of the height above the bottom edge).
    pillRect_ = QRectF(width() / 2.0 - p / 2, height() - 0.09 * height() - 20, p, 20);
}
