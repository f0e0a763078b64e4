#include "takes/TakeGeometry.h"

#include "capture/ScreenGeometry.h"
#include "platform/input/RootCoordinates.h"

#include <algorithm>
#include <cmath>

QRectF TakeGeometry::captureRect(const QRect& frame, int rootHeight)
{
    // Desktop coordinates grow upwards from the root window's bottom edge.
    return RootCoordinates::rect(ScreenGeometry::filmedRect(frame), rootHeight);
}

QSizeF TakeGeometry::bubbleWindowSize(double s, const std::optional<FaceCardFraming>& framing)
{
    if (!framing)
        return QSizeF(s, s);
    const QRectF visible = framing->visibleRect;
    const double a = std::max(0.05, visible.height() > 1.0 ? visible.width() / visible.height() : visible.width());
    // std::round rounds half away from zero.
    return QSizeF(std::round(s * std::sqrt(a)), std::round(s / std::sqrt(a)));
}

QSizeF TakeGeometry::phoneWindowSize(double h, QSize frameSize)
{
    const double aspect = frameSize.height() > 0 ? static_cast<double>(frameSize.width()) / frameSize.height() : 6.0 / 13.0;
    return QSizeF(std::max(80.0, aspect * h), h);
}
