#include "views/shorts/ShortFrameStage.h"

#include "views/framing/LivePreviewView.h"
#include "shorts/ShortFraming.h"
#include "views/shorts/ShortStageOverlay.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {

QColor withOpacity(QColor color, double opacity)
{
    color.setAlphaF(color.alphaF() * opacity);
    return color;
}

// Qt counts dash lengths in pen widths; these take points.
QPen dashedPen(const QColor& color, double width, double on, double off)
{
    QPen pen(color, width, Qt::CustomDashLine, Qt::FlatCap, Qt::MiterJoin);
    pen.setDashPattern({on / width, off / width});
    return pen;
}

QFont stageFont(double pixelSize, QFont::Weight weight)
{
    QFont font;
    font.setPixelSize(static_cast<int>(std::lround(pixelSize)));
    font.setWeight(weight);
    return font;
}

void paintZones(QPainter& painter, const ShortStageLayout& layout, const ShortFrameStage::Look& look)
{
    const double labelSize = layout.zoneLabelSize();
    for (const ShortFraming::SafeZone& zone : ShortFraming::safeZones()) {
        const QRectF r = layout.zoneRect(zone.rect);
        const QColor tint = zone.filled ? look.rose : QColor(Qt::white);
        painter.fillRect(r, withOpacity(tint, zone.filled ? 0.16 : 0.06));
        painter.setBrush(Qt::NoBrush);
        painter.setPen(zone.filled ? dashedPen(withOpacity(tint, 0.75), 1, 6, 4) : dashedPen(withOpacity(tint, 0.28), 1, 4, 4));
        painter.drawRect(r.adjusted(0.5, 0.5, -0.5, -0.5));
        if (labelSize <= 0)
            continue;
        const QFont font = stageFont(labelSize, QFont::Medium);
        const QFontMetricsF metrics(font);
        painter.setFont(font);
        painter.setPen(withOpacity(look.cream, zone.filled ? 0.9 : 0.55));
        const double width = metrics.horizontalAdvance(zone.name);
        const QPointF topLeft = zone.name == QStringLiteral("buttons") ? QPointF(r.center().x() - width / 2, r.top() + 6)
                                                                       : QPointF(r.left() + 6, r.top() + 4);
        painter.drawText(topLeft + QPointF(0, metrics.ascent()), zone.name);
    }
}

void paintGuide(QPainter& painter, const ShortStageLayout& layout, const ShortFrameStage::Look& look)
{
    const FramingStatus status = look.framing.perCrop.empty() ? FramingStatus::unknown : look.framing.perCrop.front().status;
    const QColor statusColor = ShortFraming::shortColor(status);
    const QRectF band = layout.eyeBand();
    painter.fillRect(band, withOpacity(look.rose, 0.14));
    painter.setPen(dashedPen(withOpacity(look.rose, 0.65), 1, 6, 4));
    painter.drawLine(QLineF(band.topLeft(), band.topRight()));
    painter.drawLine(QLineF(band.bottomLeft(), band.bottomRight()));
    painter.setBrush(Qt::NoBrush);
    painter.setPen(dashedPen(withOpacity(look.cream, 0.55), 1.5, 5, 4));
    painter.drawEllipse(layout.faceOval());
    if (const double size = layout.eyesHereSize(); size > 0) {
        const QFont font = stageFont(size, QFont::DemiBold);
        const QFontMetricsF metrics(font);
        const QString text = QStringLiteral("eyes here");
        painter.setFont(font);
        painter.setPen(withOpacity(look.cream, 0.85));
        const double width = metrics.horizontalAdvance(text);
        painter.drawText(QPointF(band.right() - 8 - width, band.center().y() - metrics.height() / 2 + metrics.ascent()), text);
    }
    if (!look.framing.face)
        return;
    painter.save();
    painter.setClipRect(layout.visible);
    const ShortStageLayout::EyeLine line = layout.eyeLine(*look.framing.face, look.eyeLineFlipped);
    QPen pen(withOpacity(statusColor, 0.9), 2, Qt::SolidLine, Qt::RoundCap);
    painter.setPen(pen);
    painter.drawLine(QLineF(line.from, line.to));
    painter.setPen(Qt::NoPen);
    painter.setBrush(statusColor);
    painter.drawEllipse(line.left, 3, 3);
    painter.drawEllipse(line.right, 3, 3);
    painter.restore();
}

} // namespace

ShortFrameStage::ShortFrameStage(QWidget* parent)
    : QWidget(parent)
    , live_(new LivePreviewView(this))
    , overlay_(new ShortStageOverlay([this](QPainter& painter) { paintOverlay(painter, layout_, look_); }, this))
{
    setMinimumHeight(280);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    relayout();
}

void ShortFrameStage::setLive(std::shared_ptr<const LivePreviewSource> source)
{
    if (source == source_)
        return;
    source_ = std::move(source);
    relayout();
}

void ShortFrameStage::setFrameSize(const QSizeF& frameSize)
{
    if (frameSize == frameSize_)
        return;
    frameSize_ = frameSize;
    relayout();
}

void ShortFrameStage::setPosition(const ShortFraming::Position& position)
{
    if (position == position_)
        return;
    position_ = position;
    relayout();
}

void ShortFrameStage::setLocked(bool locked)
{
    locked_ = locked;
    if (locked_)
        dragStart_.reset();
}

void ShortFrameStage::setLook(const Look& look)
{
    const bool viewChanged = look.viewerView != look_.viewerView;
    look_ = look;
    if (viewChanged) {
        pressPoint_.reset();
        dragStart_.reset();
    }
    relayout();
}

void ShortFrameStage::relayout()
{
    layout_ = ShortStageLayout::compute(size(), frameSize_, position_, look_.viewerView);
    overlay_->setGeometry(rect());
    live_->setGeometry(rect());
    QPainterPath visible;
    visible.addRect(layout_.visible);
    live_->set(source_, layout_.camera, visible);
    overlay_->update();
    update();
}

void ShortFrameStage::resizeEvent(QResizeEvent*) { relayout(); }

void ShortFrameStage::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor::fromRgbF(0.07f, 0.07f, 0.07f));
}

void ShortFrameStage::paintOverlay(QPainter& painter, const ShortStageLayout& layout, const Look& look)
{
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF& crop = layout.crop;
    if (!look.viewerView) {
        QPainterPath outside;
        outside.setFillRule(Qt::OddEvenFill);
        outside.addRect(layout.camera);
        outside.addRect(crop);
        painter.fillPath(outside, QColor::fromRgbF(0, 0, 0, 0.62f));
    }
    if (look.safeZones)
        paintZones(painter, layout, look);
    if (look.framingGuide && layout.showsGuide())
        paintGuide(painter, layout, look);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(withOpacity(look.cream, 0.95), 2));
    painter.drawRect(crop.adjusted(-1, -1, 1, 1));
}

void ShortFrameStage::mousePressEvent(QMouseEvent* event)
{
    if (look_.viewerView || event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    pressPoint_ = event->position();
    dragStart_.reset();
}

void ShortFrameStage::mouseMoveEvent(QMouseEvent* event)
{
    if (!pressPoint_ || look_.viewerView)
        return QWidget::mouseMoveEvent(event);
    const QPointF translation = event->position() - *pressPoint_;
    if (!dragStart_ && std::hypot(translation.x(), translation.y()) < 1)
        return;
    if (locked_)
        return;
    if (!dragStart_)
        dragStart_ = position_;
    const ShortFraming::Position moved = ShortStageLayout::dragged(frameSize_, *dragStart_, translation, layout_.scale);
    if (moved == position_)
        return;
    setPosition(moved);
    Q_EMIT positionDragged(moved);
}

void ShortFrameStage::mouseReleaseEvent(QMouseEvent* event)
{
    if (!pressPoint_)
        return QWidget::mouseReleaseEvent(event);
    pressPoint_.reset();
    dragStart_.reset();
}
