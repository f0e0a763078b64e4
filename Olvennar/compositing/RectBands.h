#pragma once

#include <QRect>

#include <vector>

// Splitting a canvas area around the parts another layer paints over, so the layers under it skip them.
namespace RectBands {

// The parts of `area` outside `hole`: up to four bands (above, below, left, right).
inline std::vector<QRect> bandsAround(const QRect& area, const QRect& hole)
{
    const QRect cut = hole.intersected(area);
    if (cut.isEmpty())
        return {area};
    std::vector<QRect> bands;
    const auto add = [&](const QRect& r) {
        if (!r.isEmpty())
            bands.push_back(r);
    };
    add(QRect(QPoint(area.left(), area.top()), QPoint(area.right(), cut.top() - 1)));
    add(QRect(QPoint(area.left(), cut.bottom() + 1), QPoint(area.right(), area.bottom())));
    add(QRect(QPoint(area.left(), cut.top()), QPoint(cut.left() - 1, cut.bottom())));
    add(QRect(QPoint(cut.right() + 1, cut.top()), QPoint(area.right(), cut.bottom())));
    return bands;
}

// The parts of `area` outside both holes.
inline std::vector<QRect> bandsAround(const QRect& area, const QRect& hole, const QRect& otherHole)
{
    std::vector<QRect> bands;
    for (const QRect& band : bandsAround(area, hole)) {
        for (const QRect& part : bandsAround(band, otherHole))
            bands.push_back(part);
    }
    return bands;
}

// The largest rectangle inside `r` whose edges lie on even pixels: pieces cut along it share no 2×2 block
// (no chroma sample of 4:2:0 planes).
inline QRect evenInside(const QRect& r)
{
    if (r.isEmpty())
        return {};
    const int x0 = (r.left() + 1) & ~1, y0 = (r.top() + 1) & ~1;
    const int x1 = (r.right() + 1) & ~1, y1 = (r.bottom() + 1) & ~1; // exclusive
    return x1 <= x0 || y1 <= y0 ? QRect() : QRect(x0, y0, x1 - x0, y1 - y0);
}

// The smallest rectangle around `r` whose edges lie on even pixels.
inline QRect evenAround(const QRect& r)
{
    if (r.isEmpty())
        return {};
    const int x0 = r.left() & ~1, y0 = r.top() & ~1;
    const int x1 = (r.right() + 2) & ~1, y1 = (r.bottom() + 2) & ~1;
    return QRect(x0, y0, x1 - x0, y1 - y0);
}

} // namespace RectBands
