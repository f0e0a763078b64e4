#include "ui/ControllerShortPreviewSources.h"

#include "capture/CameraOnlyRecorder.h"
#include "core/RecordingController.h"
#include "framing/FramingMonitor.h"

ControllerShortPreviewSources::ControllerShortPreviewSources(RecordingController& controller)
    : controller_(controller)
{
    // The short monitor's first verdict means frames flow: routing then copies their size into the controller.
    RecordingController* owner = &controller_;
    QObject::connect(&controller_.routing().shortFraming(), &FramingMonitor::reportChanged, owner, [owner] {
        if (owner->routing().shortWindowOpen() && owner->shortFrameSize().width() < 2)
            owner->updateFramingRouting();
    });
}

std::shared_ptr<const LivePreviewSource> ControllerShortPreviewSources::livePreview()
{
    CameraOnlyRecorder* recorder = controller_.routing().recorder();
    if (!recorder)
        return nullptr;
    const bool flipped = recorder->previewFlipsTap();
    if (!live_ || live_->tap != recorder->frameTap() || live_->mirrored != flipped)
        live_ = std::make_shared<const LivePreviewSource>(LivePreviewSource {recorder->frameTap(), flipped});
    return live_;
}

FramingMonitor& ControllerShortPreviewSources::framing() { return controller_.routing().shortFraming(); }

std::optional<NextTake> ControllerShortPreviewSources::headerScript() { return controller_.handoffs().shortHeaderScript(); }

void ControllerShortPreviewSources::ignoreNextTake() { controller_.handoffs().ignoreNextTake(); }

void ControllerShortPreviewSources::setViewerView(bool viewerView)
{
    if (controller_.routing().viewerView() != viewerView)
        controller_.setShortViewerView(viewerView);
    else
        controller_.routing().applyViewerDisplay();
}
