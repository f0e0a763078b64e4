#pragma once

#include "compositing/StudioCamera.h"
#include "compositing/StudioRenderer.h"

// What drawing a frame's base decides before it draws, the same for BGRA and planes.
struct StudioRenderer::BasePlan {
    std::optional<StudioLayoutFrame> frame; // the blended layout; nothing at home
    QRectF overview; // where the shown region lies at zoom 1
    StudioCamera camera;
    QRectF windowRect; // render space
    double radius = 0; // the window's corner radius in render pixels
    bool covers = false; // the window fills the frame
    QRect hidden; // raster pixels the opaque middle of the window paints over
};
