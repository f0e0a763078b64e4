// Persisted settings of the controller: reading them at construction with their special rules, and the
// setters that write them back and run their observers.
#include "core/RecordingController.h"

#include "platform/system/Diagnostics.h"

#include "core/CaptureDeviceChoice.h"
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
    short_.shortPosition = ShortPosition{cropFraction(settings, Keys::shortCropX()), cropFraction(settings, Keys::shortCropY())};
    short_.shortSafeZones = settings.boolValue(Keys::shortSafeZones(), true);
    short_.shortFramingGuide = settings.boolValue(Keys::shortFramingGuide(), true);
    short_.shortMirrorFile = settings.boolValue(Keys::shortMirrorFile(), false);

    // "Every click" is stored but never restored: a new session starts with the smart plan.
    const auto zoom = ZoomModes::fromRawText(settings.stringValue(Keys::zoomMode(), QString()));
    look_.zoomMode = zoom && *zoom != ZoomMode::everyClick ? *zoom : ZoomMode::smart;
    look_.clickHighlight = settings.boolValue(Keys::clickHighlight(), false);
    // The non-default look choices come back only for their exact texts.
    const auto stored = [&settings](const QString& key) { return settings.stringValue(key); };
    look_.screenLayout = stored(Keys::screenLayout()) == QStringLiteral("Classic") ? ScreenLayout::classic : ScreenLayout::studio;
    look_.faceLayout = stored(Keys::faceLayout()) == QStringLiteral("Bottom-right") ? FaceLayout::bottomRight : FaceLayout::tallLeft;
    look_.ownCursor = settings.boolValue(Keys::ownCursor(), true);
    look_.cameraGrade = settings.boolValue(Keys::cameraGrade(), false);
    look_.studioBackground = StudioLook::backgroundFromRawText(settings.stringValue(Keys::studioBackground(), QString()))
                            .value_or(StudioBackground::blushMesh);
    look_.frameFocusedWindow = settings.boolValue(Keys::frameFocusedWindow(), false);
    look_.layoutMode = stored(Keys::layoutMode()) == QStringLiteral("Fixed") ? LayoutMode::fixed : LayoutMode::dynamic;
    look_.export4K = settings.boolValue(Keys::export4K(), false);
    panels_.framingHintsOnBubble = settings.boolValue(Keys::framingHintsOnBubble(), true);
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

void RecordingController::setShortSafeZones(bool on) { publishSetting(short_.shortSafeZones, on, Keys::shortSafeZones()); }
void RecordingController::setShortFramingGuide(bool on) { publishSetting(short_.shortFramingGuide, on, Keys::shortFramingGuide()); }
void RecordingController::setFramingHintsOnBubble(bool on) { publishSetting(panels_.framingHintsOnBubble, on, Keys::framingHintsOnBubble()); }
void RecordingController::setCameraGrade(bool on) { publishSetting(look_.cameraGrade, on, Keys::cameraGrade()); }
void RecordingController::setFrameFocusedWindow(bool on) { publishSetting(look_.frameFocusedWindow, on, Keys::frameFocusedWindow()); }
void RecordingController::setExport4K(bool on) { publishSetting(look_.export4K, on, Keys::export4K()); }
void RecordingController::setClickHighlight(bool on) { publishSetting(look_.clickHighlight, on, Keys::clickHighlight()); }
void RecordingController::setOwnCursor(bool on) { publishSetting(look_.ownCursor, on, Keys::ownCursor()); }

void RecordingController::setShortMirrorFile(bool on)
{
    publishSetting(short_.shortMirrorFile, on, Keys::shortMirrorFile());
    // The file's mirroring follows only in short mode and never during a take.
    if (traits().filmsShort && !phase_.isBusy()) {
        routing_->applyShortMirroring();
        hooks().applyShortMirroring();
    }
}

void RecordingController::setZoomMode(ZoomMode mode)
{
    look_.zoomMode = mode;
    platform_.settings.setString(Keys::zoomMode(), ZoomModes::rawText(mode));
    Q_EMIT changed();
}

void RecordingController::setLayoutMode(LayoutMode mode)
{
    look_.layoutMode = mode;
    platform_.settings.setString(Keys::layoutMode(), LayoutModes::rawText(mode));
    Q_EMIT changed();
}

void RecordingController::setScreenLayout(ScreenLayout layout)
{
    const ScreenLayout old = look_.screenLayout;
    look_.screenLayout = layout;
    platform_.settings.setString(Keys::screenLayout(), StudioLook::rawText(layout));
    if (layout != old) {
        bubblePanel_->refreshFormatForLayout();
        applyBubbleLayout(true);
        hooks().refreshCameraFormatForLayout();
        hooks().applyBubbleLayout(true);
    }
    Q_EMIT changed();
}

void RecordingController::setFaceLayout(FaceLayout layout)
{
    const FaceLayout old = look_.faceLayout;
    look_.faceLayout = layout;
    platform_.settings.setString(Keys::faceLayout(), StudioLook::rawText(layout));
    if (layout != old) {
        applyBubbleLayout(true);
        hooks().applyBubbleLayout(true);
    }
    Q_EMIT changed();
}

void RecordingController::setStudioBackground(StudioBackground background)
{
    const StudioBackground old = look_.studioBackground;
    look_.studioBackground = background;
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
    const ShortPosition old = short_.shortPosition;
    short_.shortPosition = position;
    if (position.x != old.x || position.y != old.y) {
        platform_.settings.setDouble(Keys::shortCropX(), position.x);
        platform_.settings.setDouble(Keys::shortCropY(), position.y);
    }
    Q_EMIT changed();
}

void RecordingController::setSelectedMicrophoneID(const std::optional<QString>& id)
{
    screen_.selectedMicrophoneID = id;
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
    const CameraQuality old = bubble_.cameraQuality;
    bubble_.cameraQuality = quality;
    if (quality != old) {
        if (!restoringModeSettings_)
            platform_.settings.setString(modeKey(QStringLiteral("cameraQuality")), CameraQualities::rawText(quality));
        hooks().setCameraOnlyMaxHeight(CameraQualities::heightCap(quality));
        // Outside a take the preview restarts in the new format; during one the cap waits for the next preview.
        if (!phase_.isBusy()) {
            routing_->forget();
            updateFramingRouting();
        }
    }
    Q_EMIT changed();
}

void RecordingController::setCaptureMode(CaptureMode mode)
{
    if (mode != captureMode_ && takeUnderWay()) {
        // The running take was chosen by the mode at its start; the picker shows the mode that stands.
        Diagnostics::log(QStringLiteral("mode change to ") + CaptureModes::rawText(mode) + QStringLiteral(" refused: a take is under way"));
        Q_EMIT changed();
        return;
    }
    const CaptureMode old = captureMode_;
    captureMode_ = mode;
    if (mode != old) {
        applyCenterStagePolicy(mode);
        if (!phase_.isBusy())
            restoreModeSettings();
        if (takes_->kinds().traits(mode).filmsShort) {
            routing_->setShortProfile(true);
            hooks().setShortProfile(true);
            handoffs_->watchNextTake(true);
            QPointer<RecordingController> weak(this);
            QTimer::singleShot(0, this, [weak] {
                if (weak)
                    weak->openShortPreview();
            });
        } else if (takes_->kinds().traits(old).filmsShort) {
            hooks().closeShortWindows();
            routing_->setShortProfile(false);
            hooks().setShortProfile(false);
        }
        updateFramingRouting();
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
        if (CaptureDeviceChoice::listed(screen_.microphones, *stored))
            setSelectedMicrophoneID(*stored);
    }
    if (traits().cameraOnly) {
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
    return CameraQualities::available(CaptureDeviceChoice::selectedOrFirst(bubble_.cameras, bubble_.selectedCameraID));
}
