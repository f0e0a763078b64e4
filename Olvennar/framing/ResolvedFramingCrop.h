#pragma once

#include "framing/FramingCropSpec.h"
#include "framing/FramingTarget.h"

#include <QPainterPath>
#include <QRectF>
#include <QString>

// A framing crop placed in one camera picture (normalised, top-left origin) with its outline and face target.
struct ResolvedFramingCrop {
    // The outline of the crop inside its own rectangle.
    struct Mask {
        enum class Kind { rounded, card, rect, ellipse };
        Kind kind = Kind::rect;
        double radius = 0; // rounded: times the shorter side; card: in crop heights
        QRectF card;       // card: from the crop's left/top edge, in crop heights

        static Mask rounded(double radius) { return {Kind::rounded, radius, {}}; }
        static Mask cardIn(const QRectF& card, double radius) { return {Kind::card, radius, card}; }
        static Mask rect() { return {Kind::rect, 0, {}}; }
        static Mask ellipse() { return {Kind::ellipse, 0, {}}; }
        bool operator==(const Mask&) const = default;
    };

    FramingCropSpec cropSpec;
    QRectF region;
    double aspect = 1;
    Mask mask;
    FramingTarget target;

    // The short label in hints and pickers ("Circle", "Card", "Full frame"...).
    QString name() const;
    // The mask outline drawn into `rect` (y down, as the rect's own coordinates).
    QPainterPath maskPath(const QRectF& rect) const;

    bool operator==(const ResolvedFramingCrop&) const = default;
};
