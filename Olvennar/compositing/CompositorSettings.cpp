#include "compositing/CompositorSettings.h"

#include "plans/MixdownRequest.h"

CompositorSettings CompositorSettings::forExport(const Mixdown::Request& request, QSizeF renderSize, QSizeF screenSize,
    int32_t screenTrackID, int32_t cameraTrackID, int32_t phoneTrackID)
{
    // A studio final of another size than the screen recording (a 2560 × 1440 screen into 1080p) draws the
    // panels where they stood over the picture, not at the recording's pixel positions.
    const bool sized = screenSize.width() > 0 && screenSize.height() > 0;
    const double sx = sized ? renderSize.width() / screenSize.width() : 1;
    const double sy = sized ? renderSize.height() / screenSize.height() : 1;
    const auto scaled = [sx, sy](const QRectF& rect) { return QRectF(rect.x() * sx, rect.y() * sy, rect.width() * sx, rect.height() * sy); };

    CompositorSettings settings;
    settings.renderSize = renderSize;
    settings.screenTrackID = screenTrackID;
    settings.cameraTrackID = cameraTrackID;
    settings.phoneTrackID = phoneTrackID;
    settings.bubbleRect = scaled(request.bubbleRect);
    settings.bubbleCornerRadius = request.bubbleCornerRadius * sy;
    settings.bubbleShape = request.bubbleShape;
    settings.bubbleTilt = request.bubbleTilt;
    settings.phoneRect = scaled(request.phoneRect);
    settings.phoneCornerRadius = request.phoneCornerRadius * sy;
    settings.phoneShowsFrame = request.phoneShowsFrame;
    settings.zoom = request.zoom;
    settings.clicks = request.showClickHighlight ? request.clicks : std::vector<Click>{};
    settings.showClickHighlight = request.showClickHighlight;
    settings.layout = request.layout;
    settings.faceLayout = request.faceLayout;
    settings.cameraGrade = request.cameraGrade;
    settings.background = request.background;
    settings.focus = request.focus;
    settings.layoutTimeline = request.layoutTimeline;
    // Borrowed from the request, which outlives the export's renderers (OverlayFrameRenderer::Setup).
    if (request.pointer)
        settings.pointer = std::shared_ptr<const PointerPath>(std::shared_ptr<const PointerPath>(), &*request.pointer);
    settings.cameraSegments = request.cameraSegments;
    settings.phoneSegments = request.phoneSegments;
    return settings;
}
