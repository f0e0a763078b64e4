#pragma once

#include "platform/input/CursorImage.h"
#include "takedata/CursorShape.h"

#include <optional>

namespace CursorShapes {
// The kind of the system cursor: by its theme name when it has one, else by how close its hot spot and
// proportions come to the default theme's arrow, I-beam and pointing hand.
CursorShape classify(const CursorImage& cursor);
// The kind a shape record implies from its hot spot alone (fractions of the image size), for records
// that do not say.
CursorShape fromHotSpot(double hotX, double hotY);
// A stored raw value, truncated toward zero; nothing outside −1…2 or when not finite.
std::optional<CursorShape> fromRawValue(double value);
inline double rawValue(CursorShape shape) { return static_cast<int>(shape); }
}
