#include "views/framing/FramingStage.h"

#include "views/framing/FramingStyle.h"
#include "views/framing/LivePreviewView.h"

#include <QFont>
#include <QPainter>
#include <QResizeEvent>

#include <initializer_list>

namespace {

// Qt counts dash lengths in pen widths; the guides give them in points.
QPen guidePen(const QColor& colour, double width = 1, std::initializer_list<double> dashes = {})
{
    QPen pen(colour, width, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    if (dashes.size() > 0) {
        QList<qreal> pattern;
        for (double dash : dashes)
            pattern.append(dash / width);
        pen.setDashPattern(pattern);
    }
    return pen;
}


// Right edge and vertical centre at the anchor.
void drawRightAligned(QPainter& painter, const QPointF& anchor, const QString& text)
{
    painter.drawText(QRectF(anchor.x() - 1000, anchor.y() - 100, 1000, 200), Qt::AlignRight | Qt::AlignVCenter, text);
}

void strokeLine(QPainter& painter, const QPen& pen, QPointF from, QPointF to)
{
    painter.setPen(pen);
    painter.drawLine(from, to);
}

} // namespace

// Over the picture, whose host is a sibling beneath it.
class FramingStage::GuideLayer final : public QWidget {
public:
    explicit GuideLayer(FramingStage& stage)
        : QWidget(&stage)
        , stage_(stage)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        drawGuides(painter, size(), stage_.model(), stage_.layout());
    }

private:
    FramingStage& stage_;
};

FramingStage::FramingStage(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    relayout();
}

void FramingStage::setModel(Model model)
{
    model_ = std::move(model);
    relayout();
    update();
}

FramingStageLayout FramingStage::layout() const
{
    return FramingStageLayout(QSizeF(size()), model_.cameraSize, model_.crop, model_.sensor);
}

QPainterPath FramingStage::pictureOutline(const FramingStageLayout& layout) const
{
    if (!model_.sensor && model_.crop)
        return model_.crop->maskPath(layout.stage);
    QPainterPath outline;
    outline.addRect(layout.stage);
    return outline;
}

void FramingStage::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    relayout();
}

void FramingStage::relayout()
{
    const FramingStageLayout placed = layout();
    if (model_.content.isLive) {
        if (!live_)
            live_ = new LivePreviewView(this);
        live_->setGeometry(rect());
        live_->set(model_.content.source, placed.camera, pictureOutline(placed));
        live_->show();
    } else if (live_) {
        live_->set(nullptr, QRectF(), QPainterPath());
        live_->hide();
    }
    if (model_.guides) {
        if (!guideLayer_)
            guideLayer_ = new GuideLayer(*this);
        guideLayer_->setGeometry(rect());
        guideLayer_->raise();
        guideLayer_->show();
        guideLayer_->update();
    } else if (guideLayer_) {
        guideLayer_->hide();
    }
}

void FramingStage::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor::fromRgbF(0.07f, 0.07f, 0.07f));
    if (model_.content.isLive || model_.content.image.isNull())
        return;
    const FramingStageLayout placed = layout();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setClipPath(pictureOutline(placed));
    painter.drawImage(placed.camera, model_.content.image);
}

void FramingStage::drawGuides(QPainter& painter, QSizeF size, const Model& model, const FramingStageLayout& layout)
{
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setBrush(Qt::NoBrush);
    const auto& crop = model.crop;

    if (model.sensor && crop && layout.cropRect) {
        // Everything but the selected crop's shape is darkened.
        QPainterPath outside;
        outside.setFillRule(Qt::OddEvenFill);
        outside.addRect(QRectF(QPointF(0, 0), size));
        outside.addPath(crop->maskPath(*layout.cropRect));
        painter.fillPath(outside, QColor::fromRgbF(0, 0, 0, 0.55f));
        painter.setFont(FramingStyle::font(10, QFont::Medium));
        for (const ResolvedFramingCrop& other : model.allCrops) {
            if (other == *crop)
                continue;
            const QRectF placed = layout.place(other.region);
            painter.strokePath(other.maskPath(placed), guidePen(FramingStyle::cream(0.35), 1, {5, 5}));
            painter.setPen(FramingStyle::cream(0.6));
            painter.drawText(QRectF(placed.left() + 8, placed.top() + 6, 1000, 200), Qt::AlignLeft | Qt::AlignTop, other.name());
        }
        painter.strokePath(crop->maskPath(*layout.cropRect), guidePen(FramingStyle::cream(0.95), 2));
    }
    if (!crop)
        return;
    if (model.sensor && !layout.cropRect)
        return;
    const QRectF guide = model.sensor ? *layout.cropRect : layout.stage;
    const FramingTarget& target = crop->target;

    QPainterPath thirds;
    for (int step = 1; step <= 2; ++step) {
        const double x = guide.left() + step * guide.width() / 3;
        const double y = guide.top() + step * guide.height() / 3;
        thirds.moveTo(x, guide.top());
        thirds.lineTo(x, guide.bottom());
        thirds.moveTo(guide.left(), y);
        thirds.lineTo(guide.right(), y);
    }
    painter.strokePath(thirds, guidePen(QColor::fromRgbF(1, 1, 1, 0.18f)));
    strokeLine(painter, guidePen(QColor::fromRgbF(1, 1, 1, 0.3f), 1, {4, 6}), QPointF(guide.center().x(), guide.top()),
        QPointF(guide.center().x(), guide.bottom()));

    const QRectF headBand(guide.left(), guide.top() + target.headTop.lowerBound * guide.height(), guide.width(),
        (target.headTop.upperBound - target.headTop.lowerBound) * guide.height());
    painter.fillRect(headBand, FramingStyle::cream(0.08));
    strokeLine(painter, guidePen(FramingStyle::cream(0.35), 1, {2, 4}), headBand.topLeft(), headBand.topRight());

    const QRectF eyeBand(guide.left(), guide.top() + target.eyeBand.lowerBound * guide.height(), guide.width(),
        (target.eyeBand.upperBound - target.eyeBand.lowerBound) * guide.height());
    painter.fillRect(eyeBand, FramingStyle::rose(0.16));
    QPainterPath eyeEdges;
    eyeEdges.moveTo(eyeBand.topLeft());
    eyeEdges.lineTo(eyeBand.topRight());
    eyeEdges.moveTo(eyeBand.bottomLeft());
    eyeEdges.lineTo(eyeBand.bottomRight());
    painter.strokePath(eyeEdges, guidePen(FramingStyle::rose(0.7), 1, {6, 4}));

    if (const auto labelSize = FramingStageLayout::labelSize(guide.width())) {
        painter.setFont(FramingStyle::font(*labelSize, QFont::DemiBold));
        painter.setPen(FramingStyle::cream(0.85));
        drawRightAligned(painter, QPointF(eyeBand.right() - 8, eyeBand.center().y()), QStringLiteral("eyes here"));
        painter.setFont(FramingStyle::font(*labelSize, QFont::Normal));
        painter.setPen(FramingStyle::cream(0.6));
        drawRightAligned(painter, QPointF(headBand.right() - 8, headBand.center().y()), QStringLiteral("top of head"));
    }

    painter.setClipRect(layout.stage);
    if (!model.face)
        return;
    const QColor colour = FramingStyle::status(model.status);
    QColor line = colour;
    line.setAlphaF(0.9f);
    QPen pen(line, 2, Qt::SolidLine, Qt::RoundCap, Qt::MiterJoin);
    painter.setPen(pen);
    painter.drawLine(layout.eyeLine(*model.face));
    const auto [left, right] = layout.eyeDots(*model.face);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawEllipse(left, 3.0, 3.0);
    painter.drawEllipse(right, 3.0, 3.0);
}
