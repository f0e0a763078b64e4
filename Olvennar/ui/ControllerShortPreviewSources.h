#pragma once

#include "ui/ShortPreviewSources.h"

class RecordingController;

// The short preview's inputs from the controller: the camera-only recorder's frame tap as the live picture
// (flipped whenever the shown side differs from the file's), the controller's short framing monitor, the
// header's script and its viewer-view display. Main thread only.
class ControllerShortPreviewSources final : public ShortPreviewSources {
public:
    explicit ControllerShortPreviewSources(RecordingController& controller);

    std::shared_ptr<const LivePreviewSource> livePreview() override;
    FramingMonitor& framing() override;
    std::optional<NextTake> headerScript() override;
    void ignoreNextTake() override;
    void setViewerView(bool viewerView) override;

private:
    RecordingController& controller_;
    std::shared_ptr<const LivePreviewSource> live_; // wrapped once per tap and side
};
