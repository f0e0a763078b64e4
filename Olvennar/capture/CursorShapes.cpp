#include "capture/CursorShapes.h"

#include <QStringList>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

struct Geometry {
    double hotX;
    double hotY;
    double aspect;
};

Geometry geometryOf(const CursorImage& cursor)
{
    const bool sized = cursor.width > 0 && cursor.height > 0;
    return {sized ? static_cast<double>(cursor.hotX) / cursor.width : 0.0,
        sized ? static_cast<double>(cursor.hotY) / cursor.height : 0.0,
        static_cast<double>(cursor.width) / std::max(cursor.height, 1)};
}

bool near(const Geometry& c, const Geometry& r)
{
    return std::abs(c.hotX - r.hotX) < 0.03 && std::abs(c.hotY - r.hotY) < 0.03 && std::abs(c.aspect - r.aspect) < 0.08;
}

// The default (Adwaita) theme's left_ptr, xterm and hand2, centred on their 24 to 64 pixel sizes so that
// every size falls within the tolerance.
struct Reference {
    Geometry geometry;
    CursorShape shape;
};
constexpr std::array<Reference, 3> references{{
    {{0.155, 0.155, 1.0}, CursorShape::arrow},
    {{0.45, 0.49, 1.0}, CursorShape::iBeam},
    {{0.32, 0.195, 1.0}, CursorShape::hand},
}};

} // namespace

namespace CursorShapes {

CursorShape classify(const CursorImage& cursor)
{
    static const QStringList arrows{QStringLiteral("left_ptr"), QStringLiteral("default"), QStringLiteral("arrow")};
    static const QStringList beams{QStringLiteral("xterm"), QStringLiteral("text"), QStringLiteral("ibeam")};
    static const QStringList hands{QStringLiteral("hand1"), QStringLiteral("hand2"), QStringLiteral("pointer"),
        QStringLiteral("pointing_hand")};
    if (!cursor.name.isEmpty()) {
        if (arrows.contains(cursor.name))
            return CursorShape::arrow;
        if (beams.contains(cursor.name))
            return CursorShape::iBeam;
        if (hands.contains(cursor.name))
            return CursorShape::hand;
        return CursorShape::other;
    }
    const Geometry geometry = geometryOf(cursor);
    for (const Reference& reference : references) {
        if (near(geometry, reference.geometry))
            return reference.shape;
    }
    return CursorShape::other;
}

CursorShape fromHotSpot(double hotX, double hotY)
{
    if (hotX < 0.3 && hotY < 0.22)
        return CursorShape::arrow;
    if (std::abs(hotX - 0.41) < 0.06 && std::abs(hotY - 0.25) < 0.07)
        return CursorShape::hand;
    if (std::abs(hotX - 0.52) < 0.05 && std::abs(hotY - 0.5) < 0.05)
        return CursorShape::iBeam;
    return CursorShape::other;
}

std::optional<CursorShape> fromRawValue(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    const double whole = std::trunc(value);
    if (whole < -1 || whole > 2)
        return std::nullopt;
    return static_cast<CursorShape>(static_cast<int>(whole));
}

} // namespace CursorShapes
