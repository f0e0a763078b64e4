#pragma once

#include "framing/FaceMeasurement.h"
#include "framing/LumaMap.h"

#include <QSizeF>

#include <optional>

// What one analysed camera picture shows: the largest face, how many faces, and the light grid.
struct FrameReading {
    QSizeF cameraSize; // before down-scaling
    std::optional<FaceMeasurement> face;
    int faceCount = 0;
    LumaMap luma;
    // False when the face detector could not run at all (model missing or unreadable): "no face" then means
    // "not looked", and the coach must not tell the user to sit in front of the camera.
    bool faceCheckAvailable = true;

    bool operator==(const FrameReading&) const = default;
};
