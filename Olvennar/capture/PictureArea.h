#pragma once

#include <QPointF>
#include <QRectF>

// Where a screen take's picture lies on the desktop (desktop coordinates, origin bottom-left): `filmed` is what
// the picture shows, `frame` what the take's whole frame spans, the bars beside a display of another shape
// included. A desktop point lies in the picture at its fraction of `frame`.
struct PictureArea {
    QRectF filmed;
    QRectF frame;

    // A rectangle filmed into the whole frame.
    static PictureArea of(const QRectF& rect) { return {rect, rect}; }

    bool hasArea() const { return frame.width() > 0 && frame.height() > 0; }
    QPointF fraction(const QPointF& point) const
    {
        return QPointF((point.x() - frame.x()) / frame.width(), (point.y() - frame.y()) / frame.height());
    }
    // y grows upwards here, so QRectF's y() is the bottom edge. Right and top edges belong to the next display.
    bool films(const QPointF& point) const
    {
        return point.x() >= filmed.x() && point.x() < filmed.x() + filmed.width() && point.y() >= filmed.y()
            && point.y() < filmed.y() + filmed.height();
    }
};
