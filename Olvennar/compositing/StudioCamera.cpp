#include "compositing/StudioCamera.h"

#include "compositing/RenderRect.h"

#include <algorithm>
#include <cmath>

using namespace RenderRect;

namespace {

// The pan candidate, kept inside [low, high]; when the limits cross, the middle of them.
double clampedPan(double candidate, double low, double high)
{
    if (low <= high)
        return std::min(high, std::max(candidate, low));
    return (low + high) / 2;
}

QTransform scalingAbout(double e, double px, double py) { return QTransform(e, 0, 0, e, px * (1 - e), py * (1 - e)); }

} // namespace

StudioCamera StudioCamera::at(const ZoomTimeline::State& state, const StudioGeometry& geometry, QSizeF screenSize,
    const QRectF& region, std::optional<QRectF> overview)
{
    const double W = geometry.size.width();
    const double H = geometry.size.height();
    const double sw = std::max(screenSize.width(), 1.0);
    const double sh = std::max(screenSize.height(), 1.0);
    const QRectF R(region.x() * sw, region.y() * sh, region.width() * sw, region.height() * sh);
    const QRectF V = overview.value_or(geometry.windowRect);

    // Lay the region into the view, fitted by width.
    const double s0 = V.width() / std::max(R.width(), 1.0);
    const double tx0 = minX(V) - s0 * minX(R);
    const double ty0 = minY(V) - s0 * minY(R);
    const QTransform base(s0, 0, 0, s0, tx0, ty0);

    StudioCamera camera;
    camera.transform = base;
    const double weight = state.amount;
    if (weight > 0.0005 && !geometry.isDarkRoom()) {
        // Zoom inside the window: aim the centre at the view's middle, never showing past the region's edges.
        const double z = std::max(state.scale, 1.02);
        const double k = z * s0;
        const double tx = clampedPan(midX(V) - state.center.x() * sw * k, maxX(V) - k * maxX(R), minX(V) - k * minX(R));
        const double ty = clampedPan(midY(V) - state.center.y() * sh * k, maxY(V) - k * maxY(R), minY(V) - k * minY(R));
        const double px = (tx - z * tx0) / (1 - z);
        const double py = (ty - z * ty0) / (1 - z);
        camera.transform = base * scalingAbout(std::pow(z, std::min(weight, 1.0)), px, py);
    } else if (weight > 0.0005) {
        // Dark room: the whole scene moves and the screen fills the frame, its rim kept out of sight.
        const double inset = (0.3 * geometry.windowRadius + geometry.edgeWidth + 2) / s0;
        const double cover = std::max(W / std::max(R.width() - 2 * inset, 1.0), H / std::max(R.height() - 2 * inset, 1.0));
        const double k = std::max(std::max(state.scale, 1.02) * W / sw, cover);
        const QRectF& safe = geometry.safeArea;
        const double tx = clampedPan(midX(safe) - state.center.x() * sw * k, W - k * (maxX(R) - inset), -k * (minX(R) + inset));
        const double ty = clampedPan(midY(safe) - state.center.y() * sh * k, H - k * (maxY(R) - inset), -k * (minY(R) + inset));
        const double zoom = k / s0;
        const double w = std::min(weight, 1.0);
        QTransform move;
        if (std::abs(zoom - 1) < 0.001) {
            move = QTransform::fromTranslate(w * (tx - zoom * tx0), w * (ty - zoom * ty0));
        } else {
            const double px = (tx - zoom * tx0) / (1 - zoom);
            const double py = (ty - zoom * ty0) / (1 - zoom);
            move = scalingAbout(std::pow(zoom, w), px, py);
        }
        camera.transform = base * move;
        camera.roomTransform = move;
    }
    camera.magnification = camera.transform.m11() / (W / sw);
    return camera;
}
