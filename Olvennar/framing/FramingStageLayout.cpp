#include "framing/FramingStageLayout.h"

double FramingStageLayout::cameraAspect(QSizeF cameraSize)
{
    if (cameraSize.width() > 0 && cameraSize.height() > 0)
        return cameraSize.width() / cameraSize.height();
    return 16.0 / 9.0;
}

FramingStageLayout::FramingStageLayout(QSizeF size, QSizeF cameraSize, const std::optional<ResolvedFramingCrop>& crop, bool sensor)
{
    const bool cropView = !sensor && crop;
    const QRectF region = cropView ? crop->region : QRectF(0, 0, 1, 1);
    const double aspect = cropView ? crop->aspect : cameraAspect(cameraSize);
    double width = size.width();
    double height = size.width() / aspect;
    if (height > size.height()) {
        width = size.height() * aspect;
        height = size.height();
    }
    stage = QRectF((size.width() - width) / 2, (size.height() - height) / 2, width, height);
    const double sx = width / region.width();
    const double sy = height / region.height();
    camera = QRectF(stage.left() - region.left() * sx, stage.top() - region.top() * sy, sx, sy);
    if (crop)
        cropRect = place(crop->region);
}

QRectF FramingStageLayout::place(const QRectF& normalised) const
{
    return QRectF(camera.left() + normalised.left() * camera.width(), camera.top() + normalised.top() * camera.height(),
        normalised.width() * camera.width(), normalised.height() * camera.height());
}

QPointF FramingStageLayout::place(const QPointF& normalised) const
{
    return QPointF(camera.left() + normalised.x() * camera.width(), camera.top() + normalised.y() * camera.height());
}

std::pair<QPointF, QPointF> FramingStageLayout::eyeDots(const FaceMeasurement& face) const
{
    if (face.eyes)
        return {place(face.eyes->first), place(face.eyes->second)};
    const QRectF& box = face.face;
    const double y = box.top() + 0.33 * box.height();
    return {place(QPointF(box.left() + 0.25 * box.width(), y)), place(QPointF(box.right() - 0.25 * box.width(), y))};
}

QLineF FramingStageLayout::eyeLine(const FaceMeasurement& face) const
{
    const auto [left, right] = eyeDots(face);
    const QPointF reach = (right - left) * 0.6;
    return QLineF(left - reach, right + reach);
}

std::optional<int> FramingStageLayout::labelSize(double guideWidth)
{
    if (guideWidth <= 160)
        return std::nullopt;
    return guideWidth > 360 ? 11 : 9;
}
