#pragma once

#include "framing/LivePreviewSource.h"
#include "takedata/NextTake.h"

#include <memory>
#include <optional>

class FramingMonitor;

// What the "Short frame" window shows beyond the controller's own settings: the camera-only live picture, the
// short framing monitor, the header's script and the viewer-view display. The app answers them from the
// camera-only recorder and the handoff; tests give fakes. Main thread only.
class ShortPreviewSources {
public:
    virtual ~ShortPreviewSources() = default;
    // The camera-only recorder's live picture and whether the window flips it; none leaves the placeholder.
    // The same object while nothing changed, so the picture keeps running.
    virtual std::shared_ptr<const LivePreviewSource> livePreview() = 0;
    // The short-mode framing monitor whose report the window shows.
    virtual FramingMonitor& framing() = 0;
    // The running take's script while a take is under way, else the current channel's pending handoff.
    virtual std::optional<NextTake> headerScript() = 0;
    // "Not this one": the pending handoff is ignored for the next takes.
    virtual void ignoreNextTake() = 0;
    // The window shows the viewer view (or not): the preview is mirrored as the file will be, or as the
    // mirror setting says.
    virtual void setViewerView(bool viewerView) = 0;
};
