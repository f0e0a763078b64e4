#pragma once

#include "platform/x11/ScreenDisplay.h"
#include "takedata/NextTake.h"
#include "shorts/ShortFraming.h"
#include "takedata/CaptureDeviceInfo.h"
#include "takedata/RecordingChannel.h"
#include "takes/TakeLook.h"

#include <QRect>
#include <QString>

#include <optional>
#include <vector>

// The studio's settings a take starts with, taken by the studio once per start (again after access, when the
// device lists were read afresh). Plain values: nothing here changes under a running take.
struct TakeStart {
    // The picked display; nothing when no listed display is picked.
    std::optional<ScreenDisplay> display;
    // The desktop's height, for turning top-left screen frames into bottom-left desktop coordinates.
    int rootHeight = 0;
    bool captureMicrophone = true;
    bool captureSystemAudio = true;
    std::optional<int> targetHeight;
    bool cameraEnabled = false;
    bool phoneEnabled = false;
    std::vector<CaptureDeviceInfo> cameras;
    std::optional<QString> selectedCameraID;
    std::vector<CaptureDeviceInfo> microphones;
    std::optional<QString> selectedMicrophoneID;
    bool mirrorCamera = true;
    ShortFraming::Position shortPosition;
    TakeLook look;
    RecordingChannel channel = RecordingChannel::ai;
    // Where the countdown shows; nothing starts without counting.
    std::optional<QRect> countdownFrame;
    // A short's voice track rather than the kind's own take.
    bool voiceTrack = false;
    // Camera access was granted (a camera the take may do without).
    bool cameraAllowed = false;
    // A short's script, once its folder was made.
    std::optional<NextTake> script;

    // The selected device, else the first listed; none when none is listed.
    static const CaptureDeviceInfo* pick(const std::vector<CaptureDeviceInfo>& devices, const std::optional<QString>& selectedID)
    {
        for (const CaptureDeviceInfo& device : devices)
            if (selectedID && device.uniqueID == *selectedID)
                return &device;
        return devices.empty() ? nullptr : &devices.front();
    }
    const CaptureDeviceInfo* camera() const { return pick(cameras, selectedCameraID); }
    const CaptureDeviceInfo* microphone() const { return pick(microphones, selectedMicrophoneID); }
};

// What a kind of take records and can do, so the studio never asks which kind it runs.
struct TakeTraits {
    // A take clock to pause; without one the pause key does nothing.
    bool pause = true;
    // The zoom-mark keys mark the take, and its look describes the finished video.
    bool zoomMarks = false;
    // The floating camera and phone panels are filmed beside it.
    bool overlays = false;
    // It records a short's voice track when the pending short asks for one.
    bool voiceTrack = false;
    // It films a short: the pending short's script, a new dated short folder, the short preview and profile.
    bool filmsShort = false;
    // It films with the camera-only recorder, whose preview it owns while it runs.
    bool cameraOnly = false;
};

// What a take needs access to before its countdown, with what a refusal says.
struct TakeAccess {
    bool microphone = false;
    bool camera = false;
    bool cameraFirst = false;
    // A refused camera is no failure: the take goes on without it.
    bool cameraOptional = false;
    // With no camera at all nothing is asked; the take says itself that none was found.
    bool noCameraAsksNothing = false;
    QString microphoneRefused;
    QString cameraRefused;
    // Begins the refusal's log line and the context of a failed folder ("voice-only", …); empty: none.
    QString area;
    // The take picks its devices from the lists, read afresh after access.
    bool freshDevices = false;

    QString context() const { return area.isEmpty() ? QStringLiteral("start") : area + QStringLiteral(" start"); }
};
