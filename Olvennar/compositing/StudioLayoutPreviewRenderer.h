#pragma once

#include "compositing/StudioRenderer.h"
#include "platform/media/PixelBuffer.h"
#include "takedata/StudioLook.h"

#include <QImage>
#include <QRect>
#include <QSize>

// The live export preview's pictures: the studio look at a small size with a drawn stand-in screen, the
// camera card drawn over a base baked once (room at drift 0, window shadow, the stand-in screen clipped
// to its window with the rim). A live frame costs one card and one copy.
//
// Threading: built on a worker; then used by one thread at a time.
class StudioLayoutPreviewRenderer {
public:
    static constexpr QSize previewSize{720, 405};
    static constexpr QSize screenSize{1920, 1080};

    StudioLayoutPreviewRenderer(FaceLayout face, StudioBackground background, QSize size = previewSize);

    FaceLayout face() const { return face_; }
    StudioBackground background() const { return background_; }
    const StudioRenderer& renderer() const { return renderer_; }
    const PixelBuffer& base() const { return base_; }

    // One preview frame: the card over the base, with the camera picture or, without one, the stand-in.
    QImage render(const PixelBuffer* camera, bool grade);

    // The stand-in camera, 640 × 360: warm skin-tone field with a shoulders-and-head silhouette.
    static const PixelBuffer& placeholderCamera();
    // The stand-in screen: a desk with one window, its title bar, three buttons, a sidebar and seven lines.
    static PixelBuffer placeholderScreen(QSize size);

private:
    FaceLayout face_;
    StudioBackground background_;
    StudioRenderer renderer_;
    PixelBuffer base_;
    // The frame drawn into: the base, with the card's neighbourhood put back before each card.
    PixelBuffer frame_;
    // Raster rectangle that a card (with its shadow) can change.
    QRect cardArea_;
};
