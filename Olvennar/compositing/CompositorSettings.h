#pragma once

#include "plans/LayoutTimeline.h"
#include "plans/ZoomTimeline.h"
#include "takedata/BubbleShape.h"
#include "takedata/Click.h"
#include "takedata/ClipSegment.h"
#include "takedata/FocusPath.h"
#include "takedata/PointerPath.h"
#include "takedata/StudioLook.h"

#include <QRectF>
#include <QSizeF>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace Mixdown {
struct Request;
}

// What one overlay export hands to the compositor. The mixdown fills every field before the first frame
// and nothing changes it afterwards (it is shared read-only between threads). Rectangles and sizes are
// output pixels in render space: origin at the bottom-left of the frame, y up.
struct CompositorSettings {
    int32_t screenTrackID = 0; // always present
    int32_t cameraTrackID = 0; // 0: no camera
    int32_t phoneTrackID = 0; // 0: no phone
    QRectF bubbleRect; // classic look: the camera bubble
    double bubbleCornerRadius = 0; // carried along; the bubble's rounding comes from bubbleShape
    BubbleShape bubbleShape = BubbleShape::circle;
    double bubbleTilt = 0; // degrees, counter-clockwise
    QRectF phoneRect; // the phone including its drawn body
    double phoneCornerRadius = 0; // rounding of the phone picture when no body is drawn
    bool phoneShowsFrame = true;
    ZoomTimeline zoom = ZoomTimeline::none();
    std::vector<Click> clicks;
    bool showClickHighlight = true;
    QSizeF renderSize{0, 0};
    ScreenLayout layout = ScreenLayout::classic;
    FaceLayout faceLayout = FaceLayout::tallLeft;
    bool cameraGrade = false;
    StudioBackground background = StudioBackground::blushMesh;
    std::optional<FocusPath> focus; // studio look: the front window's region over time
    LayoutTimeline layoutTimeline = LayoutTimeline::fixed();
    // Nothing: no cursor drawn. Shared, not copied: a day's track is some 170 MB, and an export draws with
    // several renderers.
    std::shared_ptr<const PointerPath> pointer;
    std::vector<ClipSegment> cameraSegments;
    std::vector<ClipSegment> phoneSegments;

    // The settings of an overlay export of `request`: its look, rectangles and timelines with the export's
    // render size and track IDs (0: no such track). The request's panels were measured in the screen
    // recording's pixels (screenSize); they are scaled to the render size. Clicks reach the compositor only
    // when highlighted.
    static CompositorSettings forExport(const Mixdown::Request& request, QSizeF renderSize, QSizeF screenSize,
        int32_t screenTrackID, int32_t cameraTrackID, int32_t phoneTrackID);
};
