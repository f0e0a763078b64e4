#pragma once

#include <QFont>

#include <algorithm>
#include <cmath>

// The system font of the teleprompter's pages at a size in points (one point a pixel), with letter tracking.
inline QFont prompterFont(double size, QFont::Weight weight, double tracking = 0)
{
    QFont font;
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(size))));
    font.setWeight(weight);
    if (tracking != 0)
        font.setLetterSpacing(QFont::AbsoluteSpacing, tracking);
    return font;
}
