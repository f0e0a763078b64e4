#pragma once

#include "compositing/StudioGeometry.h"

#include <QRectF>
#include <QSizeF>

#include <optional>

// Which part of the camera picture the studio card shows: the picture covers the card, leans toward the
// visible part of a card that bleeds off the frame, and sits a little low so the head keeps its headroom.
struct FaceCardFraming {
    // Cover factor multiplied into the scale; the card crop, the framing check and the moving card read it.
    static constexpr double wide = 1.0;

    QRectF cardRect;
    double cardRadius = 0;
    QRectF visibleRect;
    double scale = 0; // render pixels per camera pixel
    QRectF cameraRect; // the whole camera picture in render space

    // Nothing for an empty camera picture or an empty card.
    static std::optional<FaceCardFraming> make(const StudioGeometry& geometry, QSizeF cameraSize);

    friend bool operator==(const FaceCardFraming&, const FaceCardFraming&) = default;
};
