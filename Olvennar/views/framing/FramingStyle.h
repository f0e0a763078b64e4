#pragma once

#include "framing/FramingReport.h"

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QWidget>

// The colours and type the framing check, the bubble's pill and the short window share.
namespace FramingStyle {

// The accent of the framing windows' text and outlines.
inline QColor cream(double opacity = 1) { return QColor::fromRgbF(0.961f, 0.929f, 0.847f, static_cast<float>(opacity)); }
inline QColor rose(double opacity = 1) { return QColor::fromRgbF(0.831f, 0.643f, 0.604f, static_cast<float>(opacity)); }

// A verdict's colour: the desktop's usual gray, green, orange and red.
inline QColor status(FramingStatus status)
{
    switch (status) {
    case FramingStatus::good: return QColor(52, 199, 89);
    case FramingStatus::adjust: return QColor(255, 149, 0);
    case FramingStatus::fix: return QColor(255, 59, 48);
    case FramingStatus::unknown: break;
    }
    return QColor(142, 142, 147);
}

// Sizes are pixels, as the window's own layout.
inline QFont font(int pixelSize, QFont::Weight weight = QFont::Normal)
{
    QFont result;
    result.setPixelSize(pixelSize);
    result.setWeight(weight);
    return result;
}

inline void setTextColour(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::ButtonText, colour);
    widget->setPalette(palette);
}

} // namespace FramingStyle
