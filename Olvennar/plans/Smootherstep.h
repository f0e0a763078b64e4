#pragma once

#include <algorithm>

// The easing of the zoom and layout moves: e³ × (e × (6e − 15) + 10) on a progress clamped to 0…1.
inline double smootherstep(double progress)
{
    const double e = std::clamp(progress, 0.0, 1.0);
    return e * e * e * (e * (6 * e - 15) + 10);
}
