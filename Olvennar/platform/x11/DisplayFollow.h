#pragma once

#include "platform/x11/ScreenDisplay.h"

#include <QRect>
#include <QRectF>
#include <QSize>
#include <QString>

#include <cstdint>
#include <optional>
#include <variant>
#include <vector>

// What a take's grab films once the screen's layout may have changed under it (a projector plugged in, a
// docking change): the take's display is found again by its id among the displays listed now. As it was at
// the start, it is filmed as configured; at another size or place, the whole display as it now is, which the
// grabber fits into the take's frame; no longer listed, the take ends with a sentence saying so.
namespace DisplayFollow {
struct Grab {
    QRect source; // root pixels, always inside the root
    bool operator==(const Grab&) const = default;
};
struct Gone {
    QString reason;
    bool operator==(const Gone&) const = default;
};
using Decision = std::variant<Grab, Gone>;

// The display a take of `configured` follows: the one listed display holding it whole; nothing for a
// rectangle across displays, which follows the whole screen.
std::optional<ScreenDisplay> holding(const QRect& configured, const std::vector<ScreenDisplay>& displays);
// The whole screen of `root` size, followed as one display.
ScreenDisplay wholeScreen(const QSize& root);

// `started` is the display as it was when the take started and `configured` the rectangle filmed of it then;
// `root` is the screen's size now.
Decision decide(const ScreenDisplay& started, const QRect& configured, const std::vector<ScreenDisplay>& now, const QSize& root);
// Where a picture of `source` size lands in a frame of `output` size: as large as fits whole, aspect kept,
// centred; the rest of the frame is bars.
QRect fitted(const QSize& source, const QSize& output);
// The root area the whole frame spans once `source` is fitted into it, its bars included: a root point lies in
// the picture at its fraction of this area.
QRectF spanned(const QRect& source, const QSize& output);
}
