#include "platform/vision/LandmarkFace.h"

#include <algorithm>

namespace LandmarkFace {

namespace {

QPointF mean(const std::array<QPointF, pointCount>& points, int first, int last)
{
    QPointF sum;
    for (int index = first; index <= last; ++index)
        sum += points[index];
    return sum / (last - first + 1);
}

} // namespace

FaceObservation observation(const std::array<QPointF, pointCount>& points, const QSizeF& size)
{
    const QPointF chin = points[8];
    const double eyeLine = (mean(points, 36, 41).y() + mean(points, 42, 47).y()) / 2;
    // Eyes to chin is two thirds of the box.
    const double height = std::max(1.5 * (chin.y() - eyeLine), 1.0);
    const double top = eyeLine - height / 3;
    double left = points[0].x();
    double right = points[0].x();
    for (int index = 0; index <= 16; ++index) {
        left = std::min(left, points[index].x());
        right = std::max(right, points[index].x());
    }

    FaceObservation face;
    face.boundingBox = QRectF(left / size.width(), top / size.height(), (right - left) / size.width(),
        height / size.height());
    auto normalised = [&size](const QPointF& point) { return QPointF(point.x() / size.width(), point.y() / size.height()); };
    // The picture-left eye (the person's right) is 36-41.
    for (int index = 36; index <= 41; ++index)
        face.rightEye.push_back(normalised(points[index]));
    for (int index = 42; index <= 47; ++index)
        face.leftEye.push_back(normalised(points[index]));
    return face;
}

} // namespace LandmarkFace
