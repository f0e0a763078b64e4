#pragma once

#include "framing/ShortCrop.h"

#include <QColor>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <vector>

enum class FramingStatus;

// The small facts the short's preview, finish
// and sidecar share. Pure values and functions.
namespace ShortFraming {

// One caption line: what part of the camera feed becomes the 1080x1920 short, and at what scale.
QString describe(const QSizeF& frame);

// An area of the 1080x1920 output that a short-video platform covers with its own controls.
struct SafeZone {
    QString name;
    QRectF rect; // output pixels, top-left origin
    bool filled = false; // the preview fills it instead of outlining it
};
const std::vector<SafeZone>& safeZones();

// The framing measured live while a short was filmed, against the centred reference crop.
struct MeasuredFraming {
    double eyeLine = 0; // fraction of the crop's height from its top
    double faceHeight = 0; // fraction of the crop's height
    int framesAnalyzed = 0;
    int framesWithFace = 0;

    bool operator==(const MeasuredFraming&) const = default;
};

// The short preview badge's colour for a framing status (sRGB with opacity).
QColor shortColor(FramingStatus status);

} // namespace ShortFraming
