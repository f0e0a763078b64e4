// What the studio may use and what is plugged in: permissions, the display and device lists, and the screen
// the panels stand on.
#include "core/RecordingController.h"

#include "capture/ScreenRecorder.h"
#include "core/CaptureDeviceChoice.h"
#include "core/ControllerHooks.h"
#include "core/ScreenChoice.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/AccessProbe.h"
#include "takes/OverlayRecorder.h"
#include "takes/TakeServices.h"

#include <QPointer>
#include <QTimer>

#include <algorithm>

using CaptureDeviceChoice::listed;

std::shared_ptr<CameraFrameTap> RecordingController::deskCameraFrameTap() const
{
    const OverlayRecorder* recorder = bubblePanel_->recorder();
    return recorder ? recorder->frameTap() : nullptr;
}

bool RecordingController::noCameraDevice() const
{
    return bubble_.cameras.empty() && platform_.access.camera() != Permissions::State::denied;
}

void RecordingController::refreshPermissions()
{
    AccessProbe& access = platform_.access;
    setHasScreenPermission(access.screen() == Permissions::State::granted);
    setMicPermission(access.microphone());
    setCameraPermission(access.camera());
}

QCoro::Task<> RecordingController::checkPermissionAndLoadDisplays()
{
    refreshPermissions();
    if (!access_.hasScreenPermission || !platform_.takes) {
        setDisplays({});
        co_return;
    }
    if (!listDisplays()) {
        setPhase(Phase::failed(ScreenRecorder::RecorderError::screenPermissionStale().errorDescription()));
        refreshDevices();
        co_return;
    }
    if (!selectedDisplayListed())
        setSelectedDisplayID(screen_.displays.empty() ? std::nullopt : std::optional<quint32>(screen_.displays.front().displayID));
    refreshDevices();
}

void RecordingController::refreshDisplays()
{
    if (access_.hasScreenPermission && platform_.takes)
        listDisplays();
}

bool RecordingController::listDisplays()
{
    const auto listedDisplays = platform_.takes->availableDisplays();
    if (!listedDisplays)
        return false;
    screenDisplays_ = *listedDisplays;
    std::vector<DisplayInfo> infos;
    for (const ScreenDisplay& display : screenDisplays_)
        infos.push_back({display.id, display.frame.width(), display.frame.height(), display.name});
    setDisplays(std::move(infos));
    return true;
}

void RecordingController::refreshDevices()
{
    TakeServices* takes = platform_.takes;
    if (!takes)
        return;
    setCameras(takes->cameras());
    phone_->setPhones(takes->phoneScreens());
    setMicrophones(takes->microphones());
    setSelectedCameraID(CaptureDeviceChoice::settled(bubble_.cameras, bubble_.selectedCameraID));
    phone_->setSelectedPhoneID(CaptureDeviceChoice::settled(phone_->phones(), phone_->selectedPhoneID()));
    if (!screen_.selectedMicrophoneID || !listed(screen_.microphones, *screen_.selectedMicrophoneID)) {
        std::optional<QString> choice;
        if (const auto best = takes->bestMicrophone(); best && listed(screen_.microphones, best->uniqueID))
            choice = best->uniqueID;
        else if (!screen_.microphones.empty())
            choice = screen_.microphones.front().uniqueID;
        setSelectedMicrophoneID(choice);
    }
    if (!phase_.isBusy() && !modeSettingsRestoredOnce_ && !screen_.microphones.empty()) {
        modeSettingsRestoredOnce_ = true;
        restoreModeSettings();
    }
    const auto preferred = preferredMicrophone();
    if (!preferred) {
        preferredMicWasPresent_ = false;
    } else if (!preferredMicWasPresent_) {
        // Plugged in during a take it is noted but never taken: the take keeps its microphone.
        if (!phase_.isBusy() && screen_.selectedMicrophoneID != preferred->uniqueID) {
            setSelectedMicrophoneID(preferred->uniqueID);
            Diagnostics::log(QStringLiteral("microphone: ") + preferred->localizedName + QStringLiteral(" is plugged in, using it as the default"));
        }
        preferredMicWasPresent_ = true;
    }
}

void RecordingController::watchDeviceChanges()
{
    TakeServices* takes = platform_.takes;
    if (!takes)
        return;
    QPointer<RecordingController> weak(this);
    connect(takes, &TakeServices::devicesChanged, this, [weak] {
        QTimer::singleShot(0, weak.data(), [weak] {
            if (!weak)
                return;
            weak->refreshDevices();
            weak->phone_->reconcile();
            weak->bubblePanel_->reconcile();
            // A camera-only preview that is not streaming (its camera went, or would not open) tries again.
            weak->routing_->retryStalledPreview();
        });
    });
}

QCoro::Task<> RecordingController::enableCamera()
{
    QPointer<RecordingController> weak(this);
    // No camera device at all is not a refusal: there is nothing to grant.
    const bool noCamera = noCameraDevice();
    bool granted = true;
    if (!noCamera) {
        QCoro::Task<bool> asking = Permissions::requestCamera(platform_.access);
        granted = co_await std::move(asking);
    }
    if (!weak)
        co_return;
    if (granted && !bubble_.cameras.empty()) {
        bubblePanel_->reconcile();
        co_return;
    }
    setCameraEnabled(false);
    setPhase(Phase::failed(granted ? Permissions::noCameraFound
                                   : QStringLiteral("Camera access was denied. Grant it by adding your user to the \"video\" group, then log out and in again.")));
}

std::optional<RecordingController::ScreenPlace> RecordingController::selectedScreen() const
{
    return ScreenChoice::selected(screenDisplays_, screen_.selectedDisplayID);
}

std::optional<QRect> RecordingController::countdownFrame() const
{
    if (panels_.countdownSeconds < 1 || !selectedDisplayListed())
        return std::nullopt;
    if (const auto screen = selectedScreen())
        return screen->display.frame;
    return std::nullopt;
}

bool RecordingController::selectedDisplayListed() const { return ScreenChoice::listed(screen_.displays, screen_.selectedDisplayID); }
