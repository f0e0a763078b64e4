#pragma once

#include "platform/system/ErrorInfo.h"
#include "shorts/ShortFraming.h"
#include "takedata/CaptureDeviceInfo.h"
#include "takedata/NextTake.h"
#include "takedata/RecordingChannel.h"
#include "takes/TakeFolder.h"
#include "takes/TakeHost.h"

#include <QRect>
#include <QSizeF>
#include <QString>

#include <optional>
#include <variant>
#include <vector>

class CameraOnlyRecorder;
class ShortFramingAccumulator;

// The studio's settings a camera-only take starts with, read when it starts.
struct CameraOnlyTakeSettings {
    std::vector<CaptureDeviceInfo> cameras;
    std::optional<QString> selectedCameraID;
    std::vector<CaptureDeviceInfo> microphones;
    std::optional<QString> selectedMicrophoneID;
    bool mirrorCamera = true;
    ShortFraming::Position shortPosition;
    // Nothing when no screen is picked: the take starts without a countdown.
    std::optional<QRect> countdownFrame;
};

// A new short's folder and what the short is filmed for.
struct ShortFolder {
    TakeFolder folder;
    std::optional<NextTake> script;
    RecordingChannel channel = RecordingChannel::ai;
};

// What a "Just me" or short take reaches beyond every take's host: the one camera-only recorder and its live
// preview, the device lists, access, the short's folder, framing totals and preview size, and the results.
// Main thread only.
class CameraOnlyTakeHost : public TakeHost {
public:
    // None when the studio has no camera-only recorder.
    virtual CameraOnlyRecorder* cameraOnlyRecorder() = 0;
    virtual CameraOnlyTakeSettings cameraOnlyTakeSettings() = 0;
    // Lists the devices again (before the microphone is picked).
    virtual void refreshDevices() = 0;
    virtual void refreshPermissions() = 0;
    // Access as the platform answers it; a machine without any camera refuses nothing.
    virtual QCoro::Task<bool> requestCameraAccess() = 0;
    virtual QCoro::Task<bool> requestMicrophoneAccess() = 0;

    // The preview runs on this camera with the current profile, so filming needs no warm-up.
    virtual bool cameraOnlyPreviewIsWarm(const QString& cameraID) const = 0;
    // Brings the preview up on this camera with the current profile (a voice track's desk camera warms up so).
    virtual void startCameraOnlyPreview(const CaptureDeviceInfo& camera) = 0;
    virtual void setShortProfile(bool shortProfile) = 0;
    // After a take: the preview restarts for an open window, else the camera stops.
    virtual void settleCameraOnlyPreview() = 0;
    // Filming took the preview's session over: the next preview is configured afresh.
    virtual void forgetCameraOnlyPreview() = 0;

    // Prepares the controller for a new short and creates its dated folder.
    virtual std::variant<ShortFolder, ErrorInfo> resolveShortFolder() = 0;
    virtual ShortFramingAccumulator& shortFramingAccum() = 0;
    virtual void setShortFrameSize(QSizeF size) = 0;
    virtual void applyShortViewerDisplay() = 0;
    virtual void setLastShortURL(const std::optional<QString>& path) = 0;
    virtual void setLastFinalURL(const std::optional<QString>& path) = 0;
    virtual void setDestinationFolder(const std::optional<QString>& folder) = 0;
    // The phase shows the finished file.
    // `note` says what the file lacks, when it holds less than the take.
    virtual void showFinishedTake(const QString& path, const QString& note) = 0;
    // The take failed while filming: the failure sound, the beep, and the studio comes to the front.
    virtual void alarmTakeFailed() = 0;
};
