#pragma once

#include "compositing/FaceCardFraming.h"

#include <QRect>
#include <QRectF>
#include <QSize>
#include <QSizeF>

#include <optional>

// Where a screen take films and how big its floating panels are.
namespace TakeGeometry {

// The part of a display a screen take films (the largest centred 16:9 rectangle), in desktop coordinates
// with the origin at the bottom left of a root window `rootHeight` high.
QRectF captureRect(const QRect& displayFrame, int rootHeight);
// The bubble panel: a square of the bubble size, or with the studio framing's visible aspect at the same area.
QSizeF bubbleWindowSize(double bubbleSize, const std::optional<FaceCardFraming>& framing);
// The phone panel at the given height, with the phone's frame aspect (6:13 until known), never under 80 wide.
QSizeF phoneWindowSize(double phoneHeight, QSize frameSize);

} // namespace TakeGeometry
