#pragma once

#include <QPointF>
#include <QRectF>

#include <optional>
#include <utility>

// One face in the analysed picture, normalised 0...1 with the origin top-left and y down.
struct FaceMeasurement {
    QRectF face;
    std::optional<std::pair<QPointF, QPointF>> eyes; // eye centres, the one further left in the picture first
    double rollDegrees = 0;
    std::optional<double> pitchDegrees;
    std::optional<double> yawDegrees;

    // Pitch and yaw take no part: detectors that give none still compare equal.
    bool operator==(const FaceMeasurement& other) const
    {
        return face == other.face && rollDegrees == other.rollDegrees && eyes == other.eyes;
    }
};
