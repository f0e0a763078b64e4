#pragma once

#include "takedata/PointerPath.h"
#include "takedata/ZoomMode.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <optional>
#include <vector>

// Everything the pointer tracker saw during a take, as written to the take's "cursor" sidecar. Positions
// are fractions of the capture rectangle (origin bottom-left), times take seconds.
struct PointerLog {
    using Records = std::vector<std::vector<double>>;

    int version = 1;
    QString space = QStringLiteral("capture");
    QString clickSpace = QStringLiteral("capture");
    bool systemCursorInCapture = false;
    Records samples;                           // [t, x, y]
    Records shapes;                            // [t, hotX, hotY, width, shape]
    std::optional<std::vector<double>> keys;   // t of every key press
    std::optional<Records> zoomMarks;          // [t, zoomIn, x, y]
    std::optional<Records> windows;            // [t, x, y, w, h]

    // v × 10ⁿ rounded half away from zero, divided by 10ⁿ.
    static double rounded(double value, int places);

    // Compact JSON with sorted keys; nothing when a value is not a finite number (JSON cannot carry it).
    std::optional<QByteArray> encoded() const;
    std::optional<QJsonObject> json() const;
    // Needs the first six keys with their types; the three lists after them may be missing.
    static std::optional<PointerLog> decoded(const QByteArray& json);

    std::vector<ZoomMark> marks() const;
    std::vector<PointerPath::ShapeKey> shapeKeys() const;

    friend bool operator==(const PointerLog&, const PointerLog&) = default;
};
