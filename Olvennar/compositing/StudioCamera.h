#pragma once

#include "compositing/StudioGeometry.h"
#include "plans/ZoomTimeline.h"

#include <QRectF>
#include <QSizeF>
#include <QTransform>

#include <optional>

// Where the screen picture lands in one rendered frame, the zoom and its pan included. Transforms map
// screen pixels (origin bottom-left) to render space; QTransform composes like the affine transforms of
// the renderer: `a * b` applies a first.
struct StudioCamera {
    QTransform transform;
    QTransform roomTransform; // the scene's zoom move; identity in every look but the dark room
    double magnification = 1; // transform's x scale relative to the screen filling the frame's width

    // `region` is the shown part of the screen in fractions; `overview` where it lies at zoom 1 (the
    // window by default).
    static StudioCamera at(const ZoomTimeline::State& state, const StudioGeometry& geometry, QSizeF screenSize,
        const QRectF& region, std::optional<QRectF> overview = std::nullopt);
};
