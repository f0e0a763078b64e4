// Persisted settings of the controller: reading them at construction with their special rules, and the
// setters that write them back and run their observers.
#include "core/RecordingController.h"

#include "core/ControllerHooks.h"
#include "platform/system/Settings.h"

#include <QPointer>
#include <QTimer>

#include <algorithm>

namespace {

double cropFraction(const Settings& settings, const QString& key)
{
    return std::clamp(settings.doubleValue(key).value_or(0.5), 0.0, 1.0);
}

} // namespace

void RecordingController::readSettings()
{
    const Settings& settings = platform_.settings;
    shortPosition_ = ShortPosition{cropFraction(settings, Keys::shortCropX()), cropFraction(settings, Keys::shortCropY())};
    shortSafeZones_ = settings.boolValue(Keys::shortSafeZones(), true);
    shortFramingGuide_ = settings.boolValue(Keys::shortFramingGuide(), true);
    shortMirrorFile_ = settings.boolValue(Keys::shortMirrorFile(), false);
    ignoredNextTake_ = settings.stringValue(Keys::shortIgnoredNextTake());
    handledNextTake_ = settings.stringValue(Keys::shortAutoSwitchedHandoff());
    ignoredNextRecording_ = settings.stringValue(Keys::longformIgnoredNextRecording());
    handledNextRecording_ = settings.stringValue(Keys::longformHandledNextRecording());

    // "Every click" is stored but never restored: a new session starts with the smart plan.
    const auto zoom = ZoomModes::fromRawText(settings.stringValue(Keys::zoomMode(), QString()));
    zoomMode_ = zoom && *zoom != ZoomMode::everyClick ? *zoom : ZoomMode::smart;
    clickHighlight_ = settings.boolValue(Keys::clickHighlight(), false);
    // The non-default look choices come back only for their exact texts.
    const auto stored = [&settings](const QString& key) { return settings.stringValue(key); };
    screenLayout_ = stored(Keys::screenLayout()) == QStringLiteral("Classic") ? ScreenLayout::classic : ScreenLayout::studio;
    faceLayout_ = stored(Keys::faceLayout()) == QStringLiteral("Bottom-right") ? FaceLayout::bottomRight : FaceLayout::tallLeft;
    ownCursor_ = settings.boolValue(Keys::ownCursor(), true);
    cameraGrade_ = settings.boolValue(Keys::cameraGrade(), false);
    studioBackground_ = StudioLook::backgroundFromRawText(settings.stringValue(Keys::studioBackground(), QString()))
                            .value_or(StudioBackground::blushMesh);
    frameFocusedWindow_ = settings.boolValue(Keys::frameFocusedWindow(), false);
    layoutMode_ = stored(Keys::layoutMode()) == QStringLiteral("Fixed") ? LayoutMode::fixed : LayoutMode::dynamic;
    export4K_ = settings.boolValue(Keys::export4K(), false);
    framingHintsOnBubble_ = settings.boolValue(Keys::framingHintsOnBubble(), true);
}

QString RecordingController::modeKey(const QString& name) const
{
    return QStringLiteral("modeSetting.") + name + QLatin1Char('.') + CaptureModes::rawText(captureMode_);
}

void RecordingController::publishSetting(bool& field, bool value, const QString& key)
{
    field = value;
    // Written on every assignment, even of the same value.
    platform_.settings.setBool(key, value);
    Q_EMIT changed();
}

void RecordingController::setShortSafeZones(bool on) { publishSetting(shortSafeZones_, on, Keys::shortSafeZones()); }
void RecordingController::setShortFramingGuide(bool on) { publishSetting(shortFramingGuide_, on, Keys::shortFramingGuide()); }
void RecordingController::setFramingHintsOnBubble(bool on) { publishSetting(framingHintsOnBubble_, on, Keys::framingHintsOnBubble()); }
void RecordingController::setCameraGrade(bool on) { publishSetting(cameraGrade_, on, Keys::cameraGrade()); }
void RecordingController::setFrameFocusedWindow(bool on) { publishSetting(frameFocusedWindow_, on, Keys::frameFocusedWindow()); }
void RecordingController::setExport4K(bool on) { publishSetting(export4K_, on, Keys::export4K()); }
void RecordingController::setClickHighlight(bool on) { publishSetting(clickHighlight_, on, Keys::clickHighlight()); }
void RecordingController::setOwnCursor(bool on) { publishSetting(ownCursor_, on, Keys::ownCursor()); }

void RecordingController::setShortMirrorFile(bool on)
{
    publishSetting(shortMirrorFile_, on, Keys::shortMirrorFile());
    // The file's mirroring follows only in short mode and never during a take.
    if (captureMode_ == CaptureMode::short_ && !phase_.isBusy())
        hooks().applyShortMirroring();
}

void RecordingController::setZoomMode(ZoomMode mode)
{
    zoomMode_ = mode;
    platform_.settings.setString(Keys::zoomMode(), ZoomModes::rawText(mode));
    Q_EMIT changed();
}

void RecordingController::setLayoutMode(LayoutMode mode)
{
    layoutMode_ = mode;
    platform_.settings.setString(Keys::layoutMode(), LayoutModes::rawText(mode));
    Q_EMIT changed();
}

void RecordingController::setScreenLayout(ScreenLayout layout)
{
    const ScreenLayout old = screenLayout_;
    screenLayout_ = layout;
    platform_.settings.setString(Keys::screenLayout(), StudioLook::rawText(layout));
    if (layout != old) {
        refreshCameraFormatForLayout();
        applyBubbleLayout(true);
        hooks().refreshCameraFormatForLayout();
        hooks().applyBubbleLayout(true);
    }
    Q_EMIT changed();
}

void RecordingController::setFaceLayout(FaceLayout layout)
{
    const FaceLayout old = faceLayout_;
    faceLayout_ = layout;
    platform_.settings.setString(Keys::faceLayout(), StudioLook::rawText(layout));
    if (layout != old) {
        applyBubbleLayout(true);
        hooks().applyBubbleLayout(true);
    }
    Q_EMIT changed();
}

void RecordingController::setStudioBackground(StudioBackground background)
{
    const StudioBackground old = studioBackground_;
    studioBackground_ = background;
    platform_.settings.setString(Keys::studioBackground(), StudioLook::rawText(background));
    if (background != old) {
        // The dark room has its own geometry: only a move into or out of it re-anchors the bubble.
        const bool reanchor = (old == StudioBackground::darkRoom) != (background == StudioBackground::darkRoom);
        applyBubbleLayout(reanchor);
        hooks().applyBubbleLayout(reanchor);
    }
    Q_EMIT changed();
}

void RecordingController::setShortPosition(ShortPosition position)
{
    const ShortPosition old = shortPosition_;
    shortPosition_ = position;
    if (position.x != old.x || position.y != old.y) {
        platform_.settings.setDouble(Keys::shortCropX(), position.x);
        platform_.settings.setDouble(Keys::shortCropY(), position.y);
    }
    Q_EMIT changed();
}

void RecordingController::setSelectedMicrophoneID(const std::optional<QString>& id)
{
    selectedMicrophoneID_ = id;
    if (!restoringModeSettings_) {
        if (id)
            platform_.settings.setString(modeKey(QStringLiteral("mic")), *id);
        else
            platform_.settings.remove(modeKey(QStringLiteral("mic")));
    }
    Q_EMIT changed();
}

void RecordingController::setCameraQuality(CameraQuality quality)
{
    const CameraQuality old = cameraQuality_;
    cameraQuality_ = quality;
    if (quality != old) {
        if (!restoringModeSettings_)
            platform_.settings.setString(modeKey(QStringLiteral("cameraQuality")), CameraQualities::rawText(quality));
        hooks().setCameraOnlyMaxHeight(CameraQualities::heightCap(quality));
        // Outside a take the preview restarts in the new format; during one the cap waits for the next preview.
        if (!phase_.isBusy()) {
            cameraOnlyPreviewCameraID_.reset();
            hooks().updateFramingRouting();
        }
    }
    Q_EMIT changed();
}

void RecordingController::setCaptureMode(CaptureMode mode)
{
    const CaptureMode old = captureMode_;
    captureMode_ = mode;
    if (mode != old) {
        applyCenterStagePolicy(mode);
        if (!phase_.isBusy())
            restoreModeSettings();
        if (mode == CaptureMode::short_) {
            hooks().setShortProfile(true);
            watchNextTake(true);
            QPointer<RecordingController> weak(this);
            QTimer::singleShot(0, this, [weak] {
                if (weak)
                    weak->hooks().openShortPreview();
            });
        } else if (old == CaptureMode::short_) {
            hooks().closeShortWindows();
            hooks().setShortProfile(false);
        }
        hooks().updateFramingRouting();
    }
    Q_EMIT changed();
}

void RecordingController::restoreModeSettings()
{
    restoringModeSettings_ = true;
    const Settings& settings = platform_.settings;
    if (const auto preferred = preferredMicrophone()) {
        setSelectedMicrophoneID(preferred->uniqueID);
    } else if (const auto stored = settings.stringValue(modeKey(QStringLiteral("mic")))) {
        const bool listed = std::any_of(microphones_.begin(), microphones_.end(),
            [&stored](const CaptureDeviceInfo& microphone) { return microphone.uniqueID == *stored; });
        if (listed)
            setSelectedMicrophoneID(*stored);
    }
    if (CaptureModes::usesCameraOnlyRecorder(captureMode_)) {
        CameraQuality quality = CameraQualities::fromRawText(settings.stringValue(modeKey(QStringLiteral("cameraQuality")), QString()))
                                    .value_or(CameraQuality::best);
        const auto options = cameraQualityOptions();
        if (std::find(options.begin(), options.end(), quality) == options.end())
            quality = CameraQuality::best;
        setCameraQuality(quality);
        hooks().setCameraOnlyMaxHeight(CameraQualities::heightCap(quality));
    }
    restoringModeSettings_ = false;
}

std::vector<RecordingController::CameraQuality> RecordingController::cameraQualityOptions() const
{
    const CaptureDeviceInfo* camera = nullptr;
    if (selectedCameraID_) {
        const auto match = std::find_if(cameras_.begin(), cameras_.end(),
            [this](const CaptureDeviceInfo& device) { return device.uniqueID == *selectedCameraID_; });
        if (match != cameras_.end())
            camera = &*match;
    }
    if (!camera && !cameras_.empty())
        camera = &cameras_.front();
    return CameraQualities::available(camera);
}
