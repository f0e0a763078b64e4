#include "compositing/CompositorSettings.h"

#include "plans/MixdownRequest.h"

CompositorSettings CompositorSettings::forExport(const Mixdown::Request& request, QSizeF renderSize, int32_t screenTrackID,
    int32_t cameraTrackID, int32_t phoneTrackID)
{
    CompositorSettings settings;
    settings.renderSize = renderSize;
    settings.screenTrackID = screenTrackID;
    settings.cameraTrackID = cameraTrackID;
    settings.phoneTrackID = phoneTrackID;
    settings.bubbleRect = request.bubbleRect;
    settings.bubbleCornerRadius = request.bubbleCornerRadius;
    settings.bubbleShape = request.bubbleShape;
    settings.bubbleTilt = request.bubbleTilt;
    settings.phoneRect = request.phoneRect;
    settings.phoneCornerRadius = request.phoneCornerRadius;
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
    settings.pointer = request.pointer;
    settings.cameraSegments = request.cameraSegments;
    settings.phoneSegments = request.phoneSegments;
    return settings;
}
