#pragma once

#include "platform/vision/FaceObservation.h"

#include <QPointF>
#include <QSizeF>

#include <array>

// The 68-point face landmarks (iBUG layout: jaw 0-16, eyes 36-41 and 42-47, chin tip 8) turned into the face
// observation the framing rules expect: a box whose eye line sits a third of the way down and whose bottom is
// the chin, so that "head top = 0.4 box heights above the box" lands on the top of the head.
namespace LandmarkFace {

inline constexpr int pointCount = 68;

// `points` in pixels of a picture of `size`.
FaceObservation observation(const std::array<QPointF, pointCount>& points, const QSizeF& size);

} // namespace LandmarkFace
