#pragma once

#include "teleprompter/PrompterChoices.h"

#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <optional>

// Where the teleprompter panel goes, as pure functions in desktop points with the origin at the bottom-left
// of the primary screen and y growing upwards: a frame is its lower-left corner, width and height. The window
// converts to and from the window system's top-left coordinates with toWindowSystem/fromWindowSystem only.
namespace PrompterPlacement {

inline constexpr QSizeF defaultSize{780, 300};
inline constexpr QSizeF minimumSize{560, 200};
// The window system's coordinates and sizes are 16-bit: no panel is larger or lies further out.
inline constexpr double largestCoordinate = 32767;

struct Screen {
    QRectF frame;   // the whole screen
    QRectF visible; // without panels and docks
};

struct Input {
    Screen screen;
    PrompterPosition position = PrompterPosition::topCenter;
    CameraSide cameraSide = CameraSide::under;
    double fontSize = 32;
    std::optional<QSizeF> storedSize;  // "prompterSize"
    std::optional<QRectF> storedFrame; // "prompterFrame"
    QPointF cameraSpot;                // the marked lens, in desktop points
};

// The panel's frame for the chosen position.
QRectF frame(const Input& input);
// The base size: a stored size of at least 560 × 200, else 780 × 300.
QSizeF baseSize(const std::optional<QSizeF>& stored);

// The spot stored as fractions of the screen (x from the left edge, y from the top edge), and back.
inline constexpr QPointF defaultSpotFractions{0.5, 0};
QPointF spotPoint(const QRectF& screenFrame, QPointF fractions);
QPointF spotFractions(const QRectF& screenFrame, QPointF point);

// A rectangle between the y-up desktop points above and the window system's (top-left origin, y down);
// `primaryHeight` is the primary screen's height, whose bottom edge is y = 0 in desktop points.
QRectF toWindowSystem(const QRectF& desktop, double primaryHeight);
// A window-system rectangle brought within what the window system takes: each side 1…largestCoordinate and
// the corner within ±largestCoordinate; a corner that is not a number becomes 0, a side 1.
QRectF withinWindowSystem(const QRectF& windowSystem);
QRectF fromWindowSystem(const QRectF& windowSystem, double primaryHeight);
QPointF pointToWindowSystem(QPointF desktop, double primaryHeight);
QPointF pointFromWindowSystem(QPointF windowSystem, double primaryHeight);

} // namespace PrompterPlacement
