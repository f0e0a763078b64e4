#pragma once

#include <QPointF>
#include <QRectF>

#include <optional>
#include <vector>

// One face as a detector reports it. Everything is normalised to the analysed picture (0...1, origin top-left,
// y down). Landmark lists are empty when the detector has none; angles are absent when it gives none.
struct FaceObservation {
    QRectF boundingBox;
    std::vector<QPointF> leftEye;  // eye outlines
    std::vector<QPointF> rightEye;
    std::vector<QPointF> leftPupil;
    std::vector<QPointF> rightPupil;
    std::optional<double> rollRadians;
    std::optional<double> pitchRadians;
    std::optional<double> yawRadians;
};
