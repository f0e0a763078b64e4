#pragma once

#include "takedata/BubbleShape.h"

#include <QRectF>

// The floating panels as they stood during the take, in render space (origin bottom-left); empty
// rectangles for a panel that was not shown.
struct OverlayPanels {
    QRectF bubbleRect;
    double bubbleCornerRadius = 0;
    BubbleShape bubbleShape = BubbleShape::circle;
    double bubbleTilt = 0;
    QRectF phoneRect;
    double phoneCornerRadius = 0;
    bool phoneShowsFrame = true;
};
