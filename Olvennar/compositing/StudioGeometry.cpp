#include "compositing/StudioGeometry.h"

#include "compositing/RenderRect.h"

#include <algorithm>

using namespace RenderRect;

StudioGeometry::StudioGeometry(QSizeF renderSize, double screenAspect, FaceLayout faceLayout, StudioBackground look)
    : size(renderSize)
    , face(faceLayout)
    , background(look)
{
    const double W = size.width();
    const double H = size.height();
    const double u = H / 1080.0;
    const double aspect = screenAspect > 0 ? screenAspect : W / std::max(H, 1.0);
    edgeWidth = std::max(1.6 * H / 1080.0, 1.5);

    // The window always has the screen's aspect; its top edge sits a fixed distance below the frame's top.
    const auto windowBelowTop = [&](double x, double width, double topGap) {
        const double height = width / aspect;
        return QRectF(x, H - topGap - height, width, height);
    };

    if (look == StudioBackground::darkRoom) {
        windowRadius = 0.02 * H;
        cardRim = 0;
        if (face == FaceLayout::bottomRight) {
            windowRect = windowBelowTop(0.04 * W, 0.92 * W, 0.085 * H);
            cardRect = QRectF(W - 0.319 * H, 0.034 * H, 0.285 * H, 0.285 * H);
            cardRadius = 0.057 * H;
            safeArea = QRectF(0, 0, W, H);
        } else {
            // The card bleeds past the left edge; the window reaches past the right one.
            windowRect = windowBelowTop(0.227 * W, 0.905 * W, 0.105 * H);
            cardRect = QRectF(-0.045 * H, 0.255 * H, 0.205 * W + 0.045 * H, 0.64 * H);
            cardRadius = 0.03 * H;
            safeArea = QRectF(0.227 * W, 0, W - 0.227 * W, H);
        }
        return;
    }

    cardRadius = 30 * u;
    if (face == FaceLayout::bottomRight) {
        windowRect = windowBelowTop(170.0 / 1920.0 * W, 1500.0 / 1920.0 * W, 92 * u);
        windowRadius = 24 * u;
        cardRect = QRectF(W - 430 * u, 60 * u, 360 * u, 330 * u);
        cardRim = 5 * u;
        safeArea = QRectF(0, 0, W, H);
    } else {
        windowRect = windowBelowTop(348.0 / 1920.0 * W, 1560.0 / 1920.0 * W, 101 * u);
        windowRadius = 32 * u;
        cardRect = QRectF(14 * u, H - 840 * u, 318 * u, 600 * u);
        cardRim = 4 * u;
        safeArea = windowRect;
    }
}

StudioLayoutFrame StudioGeometry::layoutFrame(LayoutState state) const
{
    const StudioLayoutFrame rest{windowRect, windowRadius, cardRect, cardRadius, cardRim};
    if (isDarkRoom() || state == LayoutState::screen)
        return rest;

    const double W = size.width();
    const double H = size.height();
    const double u = H / 1080.0;
    const double aspect = windowRect.width() / std::max(windowRect.height(), 1.0);
    StudioLayoutFrame frame = rest;

    switch (state) {
    case LayoutState::face: {
        frame.cardRect = QRectF(56 * u, 56 * u, W - 112 * u, H - 112 * u);
        frame.cardRadius = 38 * u;
        frame.cardRim = 5 * u;
        const double width = windowRect.width() / 2;
        const double height = width / aspect;
        frame.windowRect = QRectF(midX(frame.cardRect) - width / 2, midY(frame.cardRect) - height / 2, width, height);
        frame.windowRadius = 0.6 * windowRadius;
        break;
    }
    case LayoutState::split: {
        const double cardWidth = 900.0 / 1920.0 * W;
        const double width = W - 120 * u - cardWidth;
        const double height = width / aspect;
        const double windowY = (H - height) / 2;
        if (face == FaceLayout::tallLeft) {
            frame.cardRect = QRectF(40 * u, 40 * u, cardWidth, H - 80 * u);
            frame.windowRect = QRectF(cardWidth + 80 * u, windowY, width, height);
        } else {
            frame.windowRect = QRectF(40 * u, windowY, width, height);
            frame.cardRect = QRectF(W - 40 * u - cardWidth, 40 * u, cardWidth, H - 80 * u);
        }
        frame.windowRadius = 24 * u;
        frame.cardRadius = 34 * u;
        frame.cardRim = 5 * u;
        break;
    }
    case LayoutState::focus: {
        const double roomWidth = W - 68 * u;
        const double roomHeight = H - 68 * u;
        double width = roomWidth;
        double height = roomWidth / aspect;
        if (roomHeight * aspect <= roomWidth) {
            height = roomHeight;
            width = roomHeight * aspect;
        }
        frame.windowRect = QRectF((W - width) / 2, (H - height) / 2, width, height);
        frame.windowRadius = 28 * u;
        frame.cardRect = face == FaceLayout::tallLeft ? QRectF(22 * u, 22 * u, 190 * u, 330 * u)
                                                      : QRectF(W - 302 * u, 22 * u, 280 * u, 256 * u);
        frame.cardRadius = 26 * u;
        frame.cardRim = 4 * u;
        break;
    }
    case LayoutState::screen:
        break;
    }
    return frame;
}

QRectF StudioGeometry::overviewRect(const QRectF& region, double screenAspect, std::optional<QRectF> window) const
{
    const QRectF shown = window.value_or(windowRect);
    if (region == QRectF(0, 0, 1, 1) || !(region.width() > 0) || !(region.height() > 0))
        return shown;

    const double W = size.width();
    const double H = size.height();
    QRectF visible = intersection(shown, QRectF(0, 0, W, H));
    if (isDarkRoom()) {
        // Keep the region clear of the bottom edge, where the dark-room window runs off the frame.
        const double top = maxY(visible);
        const double bottom = std::max(minY(visible), 0.05 * H);
        visible = QRectF(visible.x(), bottom, visible.width(), std::max(top - bottom, 0.0));
    }
    const double regionAspect = screenAspect * region.width() / region.height();
    if (!(regionAspect > 0))
        return shown;

    double width = visible.width();
    double height = width / regionAspect;
    if (visible.height() < height) {
        height = visible.height();
        width = regionAspect * height;
    }
    const double drop = (isDarkRoom() ? 0.35 : 0.5) * (visible.height() - height);
    const double top = maxY(visible) - drop;
    return QRectF(midX(visible) - width / 2, top - height, width, height);
}
