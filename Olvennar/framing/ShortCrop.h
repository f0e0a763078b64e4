#pragma once

#include <QRectF>
#include <QSizeF>

// Where the 9:16 short sits in a frame of the raw recording. The framing crops and the short itself both place
// it, so it lives below the short's own code.
namespace ShortFraming {

// Along the crop's free travel: 0 = left/top edge, 1 = right/bottom edge, 0.5 = centred. Clamped where used.
struct Position {
    double x = 0.5;
    double y = 0.5;

    bool operator==(const Position&) const = default;
};

// The largest even-sided 9:16 rectangle that fits the frame, placed by the position; pixels, top-left origin,
// whole numbers. A frame below 2x2 gives the zero rectangle.
QRectF cropRect(const QSizeF& frame, const Position& position);

} // namespace ShortFraming
