#include "teleprompter/PrompterPlacement.h"

#include <algorithm>
#include <cmath>

namespace PrompterPlacement {

namespace {

constexpr double screenMargin = 8;
constexpr double centreGap = 110;
constexpr double minimumSideWidth = 420;
constexpr double topGap = 2;
constexpr double customVisibleWidth = 80;
constexpr double customTopMargin = 60;
constexpr double lensGap = 30;
constexpr double lineFactor = 1.42;
constexpr double readingLineInset = 16;
constexpr double cameraEdgeMargin = 4;

double within(double value, double low, double high, double notANumber)
{
    return std::isnan(value) ? notANumber : std::clamp(value, low, high);
}

bool atLeastMinimum(QSizeF size) { return size.width() >= minimumSize.width() && size.height() >= minimumSize.height(); }

// Width of a panel that ends (or starts) `gap` from a point and reaches towards a screen edge.
double sideWidth(double room, double maximum) { return std::min(std::max(room, minimumSideWidth), maximum); }

QRectF topCenter(const Screen& screen, double w, double h)
{
    return {screen.frame.center().x() - w / 2, screen.visible.bottom() - h - topGap, w, h};
}

} // namespace

QSizeF baseSize(const std::optional<QSizeF>& stored)
{
    return stored && atLeastMinimum(*stored) ? *stored : defaultSize;
}

// In these rectangles top() is the lower edge and bottom() the upper one (y grows upwards).
QRectF frame(const Input& input)
{
    const QRectF& f = input.screen.frame;
    const QRectF& v = input.screen.visible;
    const QSizeF base = baseSize(input.storedSize);
    const double w = std::min(base.width(), f.width() - 2 * screenMargin);
    const double h = std::min(base.height(), v.height() - 2 * screenMargin);
    const double top = v.bottom() - h - topGap;
    switch (input.position) {
    case PrompterPosition::topCenter: return topCenter(input.screen, w, h);
    case PrompterPosition::left: {
        const double width = sideWidth(f.center().x() - centreGap - f.left() - screenMargin, w);
        return {f.center().x() - centreGap - width, top, width, h};
    }
    case PrompterPosition::right: {
        const double width = sideWidth(f.right() - f.center().x() - centreGap - screenMargin, w);
        return {f.center().x() + centreGap, top, width, h};
    }
    case PrompterPosition::custom: {
        if (!input.storedFrame || !atLeastMinimum(input.storedFrame->size()))
            return topCenter(input.screen, w, h);
        const QRectF& r = *input.storedFrame;
        const double x = std::min(std::max(r.x(), f.left() + customVisibleWidth - r.width()), f.right() - customVisibleWidth);
        const double y = std::min(std::max(r.y(), f.top()), f.bottom() - customTopMargin);
        return {x, y, r.width(), r.height()};
    }
    case PrompterPosition::camera: {
        const QPointF p = input.cameraSpot;
        const double a = input.fontSize * lineFactor * 0.5 + readingLineInset;
        double width = w, x0 = 0, line = 0;
        switch (input.cameraSide) {
        case CameraSide::under:
            x0 = p.x() - w / 2;
            line = p.y() - lensGap;
            break;
        case CameraSide::left:
            width = sideWidth(p.x() - lensGap - f.left() - screenMargin, w);
            x0 = p.x() - lensGap - width;
            line = p.y();
            break;
        case CameraSide::right:
            width = sideWidth(f.right() - p.x() - lensGap - screenMargin, w);
            x0 = p.x() + lensGap;
            line = p.y();
            break;
        }
        const double x = std::min(f.right() - width - cameraEdgeMargin, std::max(x0, f.left() + cameraEdgeMargin));
        const double y = std::max(line + a - h, f.top() + cameraEdgeMargin);
        return {x, y, width, h};
    }
    }
    return topCenter(input.screen, w, h);
}

QPointF spotPoint(const QRectF& f, QPointF fractions)
{
    return {f.left() + fractions.x() * f.width(), f.bottom() - fractions.y() * f.height()};
}

QPointF spotFractions(const QRectF& f, QPointF point)
{
    if (f.width() <= 0 || f.height() <= 0)
        return defaultSpotFractions;
    return {std::clamp((point.x() - f.left()) / f.width(), 0.0, 1.0), std::clamp((f.bottom() - point.y()) / f.height(), 0.0, 1.0)};
}

QRectF toWindowSystem(const QRectF& desktop, double primaryHeight)
{
    return {desktop.x(), primaryHeight - desktop.y() - desktop.height(), desktop.width(), desktop.height()};
}

QRectF withinWindowSystem(const QRectF& r)
{
    const double far = largestCoordinate;
    return {within(r.x(), -far, far, 0), within(r.y(), -far, far, 0), within(r.width(), 1, far, 1), within(r.height(), 1, far, 1)};
}

QRectF fromWindowSystem(const QRectF& windowSystem, double primaryHeight)
{
    // The same reflection both ways.
    return toWindowSystem(windowSystem, primaryHeight);
}

QPointF pointToWindowSystem(QPointF desktop, double primaryHeight) { return {desktop.x(), primaryHeight - desktop.y()}; }

QPointF pointFromWindowSystem(QPointF windowSystem, double primaryHeight)
{
    return pointToWindowSystem(windowSystem, primaryHeight);
}

} // namespace PrompterPlacement
