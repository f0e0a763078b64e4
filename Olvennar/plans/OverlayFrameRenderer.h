#pragma once

#include "platform/media/PlanarCanvas.h"
#include "platform/media/PixelBuffer.h"
#include "platform/media/PlanarPicture.h"
#include "platform/system/ErrorInfo.h"
#include "platform/system/MediaTime.h"
#include "takedata/Click.h"

#include <QSize>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace Mixdown {
struct Request;
}

// Draws one output frame of an overlay export from the decoded source pictures. The mixdown's scheduler
// places the camera and iPhone recordings on the take's timeline (empty edit, held late-start frame, cut at
// the screen recording's end) and calls render() once per output frame, in order, always on the same thread.
// A renderer whose frames do not depend on the frames before it may get company: then the export makes
// several, and each draws every n-th frame (still in order, on its own thread).
class OverlayFrameRenderer {
public:
    struct Setup {
        const Mixdown::Request& request; // the look, timelines and rectangles; valid for the whole export
        QSize renderSize; // output frame size in pixels
        QSize screenSize; // the screen recording's own size
        bool hasCamera = false; // false: no camera track (the compositor's camera track ID 0)
        bool hasPhone = false;
        std::vector<Click> clicks; // the request's clicks when the highlight is on, else none
    };

    struct Frame {
        int64_t index = 0; // 0 for the first frame written
        MediaTime time; // take time of the frame
        // Both null only when the screen recording has no frame at all. The screen comes as decoded planes
        // (4:2:0, BT.709 limited range) only to a renderer that drawsPlanar(), and only when it was decoded so.
        std::shared_ptr<const PixelBuffer> screen;
        std::shared_ptr<const PlanarPicture> screenPlanes;
        // Null when that recording shows nothing at this time. The camera comes as decoded planes the same
        // way as the screen, in place of `camera`.
        std::shared_ptr<const PixelBuffer> camera;
        std::shared_ptr<const PlanarPicture> cameraPlanes;
        std::shared_ptr<const PixelBuffer> phone;
    };

    virtual ~OverlayFrameRenderer() = default;
    // Draws every pixel of `output` (renderSize). An error fails the export with its description.
    virtual std::optional<ErrorInfo> render(const Frame& frame, PixelBuffer& output) = 0;
    // Whether renderPlanar draws this export's frames: then the export hands the renderer the encoder's own
    // 4:2:0 planes (BT.709 limited range), and no BGRA frame is made or converted.
    virtual bool drawsPlanar() const { return false; }
    // Draws every pixel of the planes (renderSize). Only called when drawsPlanar().
    virtual std::optional<ErrorInfo> renderPlanar(const Frame&, const PlanarCanvas&)
    {
        return ErrorInfo {QStringLiteral("Olvennar.OverlayFrameRenderer"), 1, QStringLiteral("This renderer draws BGRA frames only.")};
    }
    // True when a frame's pixels depend only on that frame, so renderers made by the same factory may
    // share an export's frames between them.
    virtual bool drawsFramesIndependently() const { return false; }
};

// Makes the renderers of one export: one, or several for a renderer that draws frames independently.
using OverlayRendererFactory = std::function<std::unique_ptr<OverlayFrameRenderer>(const OverlayFrameRenderer::Setup&)>;
