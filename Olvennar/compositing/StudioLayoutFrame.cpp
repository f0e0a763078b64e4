#include "compositing/StudioLayoutFrame.h"

namespace {

double mix(double a, double b, double t) { return a + t * (b - a); }

QRectF mix(const QRectF& a, const QRectF& b, double t)
{
    return {mix(a.x(), b.x(), t), mix(a.y(), b.y(), t), mix(a.width(), b.width(), t), mix(a.height(), b.height(), t)};
}

} // namespace

StudioLayoutFrame StudioLayoutFrame::lerp(const StudioLayoutFrame& a, const StudioLayoutFrame& b, double t)
{
    return {mix(a.windowRect, b.windowRect, t), mix(a.windowRadius, b.windowRadius, t), mix(a.cardRect, b.cardRect, t),
        mix(a.cardRadius, b.cardRadius, t), mix(a.cardRim, b.cardRim, t)};
}
