#include "shorts/ShortStageLayout.h"

#include "framing/FaceMeasurement.h"

#include <algorithm>

namespace {

bool known(const QSizeF& frame) { return frame.width() >= 2 && frame.height() >= 2; }

double travel(double frameSide, double cropSide) { return std::max(frameSide - cropSide, 0.0); }

} // namespace

ShortStageLayout ShortStageLayout::compute(const QSizeF& offered, const QSizeF& frameSize, const ShortFraming::Position& position,
    bool viewerView)
{
    const QSizeF cameraSize = known(frameSize) ? frameSize : QSizeF(1920, 1440);
    const QRectF pixels = ShortFraming::cropRect(frameSize, position);
    const QRectF area = QRectF(QPointF(0, 0), offered).adjusted(margin, margin, -margin, -margin);
    const QSizeF source = viewerView ? pixels.size() : cameraSize;
    auto divisor = [](double side) { return side > 1 ? side : 1.0; };
    ShortStageLayout layout;
    layout.scale = std::min(area.width() / divisor(source.width()), area.height() / divisor(source.height()));
    const QSizeF shown(source.width() * layout.scale, source.height() * layout.scale);
    layout.visible = QRectF(area.center() - QPointF(shown.width() / 2, shown.height() / 2), shown);
    const double s = layout.scale;
    if (viewerView) {
        layout.crop = layout.visible;
        layout.camera = QRectF(layout.visible.x() - s * pixels.x(), layout.visible.y() - s * pixels.y(), cameraSize.width() * s,
            cameraSize.height() * s);
    } else {
        layout.camera = layout.visible;
        layout.crop = QRectF(layout.visible.x() + s * pixels.x(), layout.visible.y() + s * pixels.y(), s * pixels.width(),
            s * pixels.height());
    }
    return layout;
}

ShortFraming::Position ShortStageLayout::dragged(const QSizeF& frameSize, const ShortFraming::Position& start,
    const QPointF& translation, double scale)
{
    const QRectF centred = ShortFraming::cropRect(frameSize, ShortFraming::Position {});
    const double travelX = known(frameSize) ? travel(frameSize.width(), centred.width()) : 0;
    const double travelY = known(frameSize) ? travel(frameSize.height(), centred.height()) : 0;
    auto moved = [scale](double from, double by, double room) {
        const double value = room >= 2 && scale > 0 ? from + by / scale / room : from;
        return std::clamp(value, 0.0, 1.0);
    };
    return {moved(start.x, translation.x(), travelX), moved(start.y, translation.y(), travelY)};
}

QRectF ShortStageLayout::zoneRect(const QRectF& outputRect) const
{
    const double k = crop.width() / 1080;
    return QRectF(crop.x() + k * outputRect.x(), crop.y() + k * outputRect.y(), k * outputRect.width(), k * outputRect.height());
}

double ShortStageLayout::zoneLabelSize() const
{
    if (crop.width() <= 150)
        return 0;
    return crop.width() > 300 ? 10 : 8;
}

bool ShortStageLayout::showsGuide() const { return crop.width() > 40 && crop.height() > 40; }

double ShortStageLayout::eyesHereSize() const
{
    if (crop.width() <= 140)
        return 0;
    return crop.width() > 340 ? 11 : 9;
}

QRectF ShortStageLayout::eyeBand() const
{
    return QRectF(crop.x(), crop.y() + 0.33 * crop.height(), crop.width(), 0.08 * crop.height());
}

QRectF ShortStageLayout::faceOval() const
{
    const double height = 0.23 * crop.height();
    const double width = 0.76 * height;
    return QRectF(crop.center().x() - width / 2, crop.y() + 0.2941 * crop.height(), width, height);
}

ShortStageLayout::EyeLine ShortStageLayout::eyeLine(const FaceMeasurement& measured, bool flipped) const
{
    const QRectF& face = measured.face;
    std::pair<QPointF, QPointF> eyes = measured.eyes.value_or(std::make_pair(
        QPointF(face.left() + 0.25 * face.width(), face.top() + 0.33 * face.height()),
        QPointF(face.right() - 0.25 * face.width(), face.top() + 0.33 * face.height())));
    auto onStage = [this, flipped](const QPointF& point) {
        const double x = flipped ? 1 - point.x() : point.x();
        return QPointF(camera.x() + x * camera.width(), camera.y() + point.y() * camera.height());
    };
    EyeLine line;
    line.left = onStage(eyes.first);
    line.right = onStage(eyes.second);
    const QPointF d = line.right - line.left;
    line.from = line.left - 0.6 * d;
    line.to = line.right + 0.6 * d;
    return line;
}
