#include "takes/CameraRouting.h"

#include "capture/CameraOnlyRecorder.h"
#include "framing/FramingMonitor.h"
#include "framing/FramingRules.h"
#include "framing/LivePreviewSource.h"
#include "platform/system/Diagnostics.h"
#include "takedata/CameraFrameTap.h"
#include "takes/OverlayRecorder.h"

namespace {

// "Just me": filmed by the camera-only recorder, not a short.
bool justMe(const TakeTraits& mode) { return mode.cameraOnly && !mode.filmsShort; }

} // namespace

CameraRouting::CameraRouting(std::unique_ptr<CameraOnlyRecorder> recorder, std::function<Inputs()> inputs)
    : inputs_(std::move(inputs))
    , recorder_(std::move(recorder))
    , framing_(std::make_unique<FramingMonitor>())
    , shortFraming_(std::make_unique<FramingMonitor>())
{
    shortFraming_->setMessageProvider(&FramingRules::phoneMessage);
    shortFraming_->setGoodAdvice({FramingStatus::good, {QStringLiteral("Framing looks good")}});
    connect(shortFraming_.get(), &FramingMonitor::reportChanged, this, [this] {
        if (inputs_().rolling)
            shortFramingAccum_.add(shortFraming_->report());
    });
}

CameraRouting::~CameraRouting() = default;

const CaptureDeviceInfo* CameraRouting::previewCamera(const Inputs& inputs) { return TakeStart::pick(inputs.cameras, inputs.selectedCameraID); }

void CameraRouting::stopPreview(const Inputs& inputs)
{
    if (!previewCameraID_ || inputs.takeOwnsPreview)
        return;
    if (recorder_)
        recorder_->stopPreview();
    previewCameraID_.reset();
}

void CameraRouting::streamLost()
{
    // A take's own failure reaction covers a take; between takes the preview is forgotten, so the next
    // routing or device change starts it afresh (a camera that is back is picked up again).
    if (!recorder_ || inputs_().takeOwnsPreview || !previewCameraID_ || recorder_->isRunning())
        return;
    Diagnostics::log(QStringLiteral("framing preview lost its camera; it starts again when the camera is back"));
    recorder_->stopPreview();
    previewCameraID_.reset();
    route();
}

void CameraRouting::retryStalledPreview()
{
    if (recorder_ && previewCameraID_ && !recorder_->isRunning() && !inputs_().takeOwnsPreview) {
        previewCameraID_.reset();
        route();
    }
}

void CameraRouting::route()
{
    const Inputs inputs = inputs_();
    std::shared_ptr<CameraFrameTap> deskSource;
    bool shortWanted = false;
    if (inputs.mode.filmsShort) {
        if (shortWindowOpen_) {
            ensurePreview();
            shortWanted = true;
        } else {
            stopPreview(inputs);
        }
        if (recorder_) {
            const QSize size = recorder_->frameSize();
            if (size.width() >= 2 && QSizeF(size) != inputs.shortFrameSize && onShortFrameSize)
                onShortFrameSize(QSizeF(size));
        }
    } else if (justMe(inputs.mode) && framingWindowOpen_) {
        ensurePreview();
        if (recorder_)
            deskSource = recorder_->frameTap();
    } else {
        stopPreview(inputs);
        if (!justMe(inputs.mode) && inputs.cameraEnabled && inputs.deskCamera && inputs.deskCamera->isAttached())
            deskSource = inputs.deskCamera->frameTap();
    }
    const bool deskWanted = framingWindowOpen_ || (inputs.mode.overlays && inputs.bubbleShown && inputs.framingHintsOnBubble);
    framing_->setCameraMissing(inputs.cameraMissing);
    framing_->update(inputs.specs, inputs.mirrorCamera, deskWanted ? deskSource : nullptr, inputs.rolling);
    shortFraming_->update(shortWanted ? std::vector<FramingCropSpec>{FramingCropSpec::short_()} : std::vector<FramingCropSpec>{},
        inputs.mirrorCamera, shortWanted && recorder_ ? recorder_->frameTap() : nullptr, inputs.rolling);
    routeFramingCheckPreview(inputs);
}

void CameraRouting::routeFramingCheckPreview(const Inputs& inputs)
{
    // Each recorder's picture is wrapped once, so the stage keeps what it shows across routings.
    const auto wrapped = [](std::shared_ptr<const LivePreviewSource>& made, std::shared_ptr<CameraFrameTap> tap, bool flipped) {
        if (!made || made->tap != tap || made->mirrored != flipped)
            made = std::make_shared<const LivePreviewSource>(LivePreviewSource{std::move(tap), flipped});
        return made;
    };
    std::shared_ptr<const LivePreviewSource> live;
    if (framingWindowOpen_) {
        if (justMe(inputs.mode)) {
            if (recorder_)
                live = wrapped(cameraOnlyFramingPreview_, recorder_->frameTap(), recorder_->previewFlipsTap());
        } else if (!inputs.mode.filmsShort && inputs.cameraEnabled) {
            if (inputs.deskCamera)
                live = wrapped(framingCameraPreview_, inputs.deskCamera->frameTap(), false);
        }
    }
    framing_->setLivePreview(std::move(live));
}

void CameraRouting::ensurePreview()
{
    const Inputs inputs = inputs_();
    if (inputs.takeOwnsPreview || !recorder_)
        return;
    const CaptureDeviceInfo* camera = previewCamera(inputs);
    if (!camera)
        return;
    if (previewCameraID_ == camera->uniqueID && previewShort_ == inputs.mode.filmsShort)
        return;
    startPreview(*camera);
}

void CameraRouting::startPreview(const CaptureDeviceInfo& camera)
{
    if (!recorder_)
        return;
    const Inputs inputs = inputs_();
    // Stored first: a configuration that failed is not tried again until the camera or mode changes.
    previewCameraID_ = camera.uniqueID;
    previewShort_ = inputs.mode.filmsShort;
    setShortProfile(previewShort_);
    if (const auto error = recorder_->configurePreview(camera.uniqueID, inputs.mirrorCamera)) {
        Diagnostics::log(*error, QStringLiteral("framing preview"));
        return;
    }
    recorder_->startPreview();
    if (previewShort_)
        showShortFeed(QSizeF(recorder_->frameSize()));
    Diagnostics::log(QStringLiteral("framing preview (") + (previewShort_ ? QStringLiteral("short") : QStringLiteral("just me"))
        + QStringLiteral(") on ") + camera.localizedName);
}

void CameraRouting::showShortFeed(QSizeF size)
{
    if (onShortFrameSize)
        onShortFrameSize(size);
    applyViewerDisplay();
}

bool CameraRouting::isWarm(const QString& cameraID) const
{
    // Warm means its frames arrive: a preview whose camera went away or never streamed warms up afresh.
    return recorder_ && recorder_->isDelivering() && previewCameraID_ == cameraID;
}

void CameraRouting::setShortProfile(bool shortProfile)
{
    if (!recorder_)
        return;
    const Inputs inputs = inputs_();
    recorder_->shortProfile = shortProfile;
    recorder_->maxHeight = inputs.maxHeight;
    recorder_->fileMirrorOverride = shortProfile ? std::optional<bool>(inputs.shortMirrorFile) : std::nullopt;
}

void CameraRouting::settle()
{
    previewCameraID_.reset();
    const Inputs inputs = inputs_();
    const bool wanted = (framingWindowOpen_ && justMe(inputs.mode)) || (shortWindowOpen_ && inputs.mode.filmsShort);
    if (wanted) {
        if (const CaptureDeviceInfo* camera = previewCamera(inputs)) {
            startPreview(*camera);
            return;
        }
    }
    if (recorder_)
        recorder_->stopPreview();
}

void CameraRouting::setViewerView(bool fileSide)
{
    viewerView_ = fileSide;
    applyViewerDisplay();
}

void CameraRouting::applyViewerDisplay()
{
    const Inputs inputs = inputs_();
    if (!inputs.mode.filmsShort || !recorder_)
        return;
    recorder_->setPreviewDisplayMirrored(viewerView_ ? recorder_->fileMirrored() : inputs.mirrorCamera);
}

void CameraRouting::applyShortMirroring()
{
    const Inputs inputs = inputs_();
    // The file's mirroring never changes during a take.
    if (!inputs.mode.filmsShort || inputs.takeUnderWay || !recorder_)
        return;
    recorder_->fileMirrorOverride = inputs.shortMirrorFile;
    recorder_->setMirrored(inputs.mirrorCamera);
    applyViewerDisplay();
}

void CameraRouting::mirror(bool mirrored)
{
    // A camera-only file keeps the side it started with.
    if (recorder_ && !inputs_().takeOwnsPreview)
        recorder_->setMirrored(mirrored);
    applyViewerDisplay();
}
