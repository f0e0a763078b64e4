#include "ui/ControllerShortPreviewSources.h"

#include "capture/CameraOnlyRecorder.h"
#include "core/RecordingController.h"
#include "framing/FramingMonitor.h"
#include "ui/CameraPreview.h"

ControllerShortPreviewSources::ControllerShortPreviewSources(RecordingController& controller)
    : controller_(controller)
{
}

QWidget* ControllerShortPreviewSources::createPicture(QWidget* parent)
{
    CameraOnlyRecorder* recorder = controller_.cameraOnlyRecorder();
    if (!recorder)
        return nullptr;
    picture_ = new CameraPreview(parent);
    picture_->setTap(recorder->frameTap());
    followMirroring();
    RecordingController* controller = &controller_;
    QObject::connect(controller, &RecordingController::changed, picture_, [this] { followMirroring(); });
    // The monitor's first verdict means frames flow: routing then copies their size into the controller.
    QObject::connect(&controller_.shortFraming(), &FramingMonitor::reportChanged, picture_, [controller] {
        if (controller->shortFrameSize().width() < 2)
            controller->updateFramingRouting();
    });
    return picture_;
}

FramingMonitor& ControllerShortPreviewSources::framing() { return controller_.shortFraming(); }

void ControllerShortPreviewSources::setViewerView(bool viewerView)
{
    if (controller_.shortViewerView() != viewerView)
        controller_.setShortViewerView(viewerView);
    else
        controller_.applyShortViewerDisplay();
    followMirroring();
}

void ControllerShortPreviewSources::followMirroring()
{
    if (CameraOnlyRecorder* recorder = controller_.cameraOnlyRecorder(); recorder && picture_)
        picture_->setMirrored(recorder->previewFlipsTap());
}
