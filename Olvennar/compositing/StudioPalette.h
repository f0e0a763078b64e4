#pragma once

#include "platform/image/ImageShapes.h"

// Colours of the studio look (sRGB fractions).
namespace StudioPalette {

using Color = ImageShapes::Color;

inline constexpr Color shadowBrown{92 / 255.0, 50 / 255.0, 28 / 255.0, 1};
inline constexpr Color warmGlow{0.831, 0.643, 0.604, 1};
inline constexpr Color cream{0.961, 0.929, 0.847, 1};
inline constexpr Color lightFill{0.173, 0.082, 0.031, 1};
inline constexpr Color darkFill{0.043, 0.02, 0.008, 1};
inline constexpr Color rimCream{251 / 255.0, 246 / 255.0, 238 / 255.0, 1};
inline constexpr Color black{0, 0, 0, 1};
inline constexpr Color white{1, 1, 1, 1};

inline constexpr Color withAlpha(Color c, double alpha) { return {c.red, c.green, c.blue, alpha}; }

} // namespace StudioPalette
