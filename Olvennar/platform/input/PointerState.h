#pragma once

#include "platform/input/CursorImage.h"

#include <QPointF>

#include <optional>

// Where the pointer is and which cursor it shows.
class PointerState {
public:
    virtual ~PointerState() = default;
    // Global desktop position with the origin at the bottom left (see RootCoordinates).
    virtual std::optional<QPointF> location() = 0;
    virtual std::optional<CursorImage> currentCursor() = 0;
};
