#pragma once

#include "compositing/StudioLayoutFrame.h"
#include "takedata/StudioLook.h"

#include <QRectF>
#include <QSizeF>

#include <optional>

// Window and camera-card rectangles of the studio look for one render size, in render space (origin
// bottom-left, y up). Sizes follow a 1920 × 1080 design space: u = H / 1080 is one design unit.
struct StudioGeometry {
    QSizeF size;
    FaceLayout face = FaceLayout::tallLeft;
    StudioBackground background = StudioBackground::blushMesh;
    QRectF windowRect;
    double windowRadius = 0;
    QRectF cardRect;
    double cardRadius = 0;
    double cardRim = 0;
    QRectF safeArea;
    double edgeWidth = 0;

    // The rest geometry. A screenAspect of 0 or below takes the frame's own aspect.
    StudioGeometry(QSizeF size, double screenAspect, FaceLayout face, StudioBackground background);

    bool isDarkRoom() const { return background == StudioBackground::darkRoom; }

    // Window and card of one layout state; the dark room and SCREEN keep the rest geometry.
    StudioLayoutFrame layoutFrame(LayoutState state) const;

    // Where a region of the screen (fractions of the screen) is shown inside the window at zoom 1.
    // The window defaults to windowRect.
    QRectF overviewRect(const QRectF& region, double screenAspect, std::optional<QRectF> window = std::nullopt) const;

    friend bool operator==(const StudioGeometry&, const StudioGeometry&) = default;
};
