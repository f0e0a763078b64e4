#pragma once

#include <QRectF>

#include <optional>

// The window in front, when it belongs to another application.
class FrontWindowSource {
public:
    virtual ~FrontWindowSource() = default;
    // Frame bounds in global desktop coordinates with the origin at the bottom left; nothing when this
    // application is in front or no normal window of the front application is larger than 200 × 150.
    virtual std::optional<QRectF> frontWindowBounds() = 0;
};
