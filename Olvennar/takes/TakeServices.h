#pragma once

#include "capture/CameraOnlyRecorder.h"
#include "takedata/CaptureDeviceInfo.h"
#include "platform/x11/ScreenDisplay.h"

#include <QObject>

#include <memory>
#include <optional>
#include <vector>

class AudioOnlyRecorder;
class FrontWindowSource;
class InputEvents;
class OverlayRecorder;
class PointerState;
class RecordingClock;
class ScreenLayoutSource;
class ScreenRecorder;

// What the takes need from the machine: the displays and a recorder for one of them, the camera-only
// recorder, the voice recorder, the capture devices, the two overlay recorders, the pointer and button
// sources, and the screen's layout as it changes. The running studio hands the Linux
// backends; tests hand fakes.
class TakeServices : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    ~TakeServices() override = default;

    // Nothing when the screen cannot be reached.
    virtual std::optional<std::vector<ScreenDisplay>> availableDisplays() = 0;
    // A recorder for one take, writing on the given clock.
    virtual std::unique_ptr<ScreenRecorder> makeScreenRecorder(RecordingClock& clock) = 0;
    // The one recorder of "Just me" and short takes and their live preview, made once by the studio;
    // none: those takes cannot start.
    virtual std::unique_ptr<CameraOnlyRecorder> makeCameraOnlyRecorder() { return nullptr; }

    virtual std::vector<CaptureDeviceInfo> cameras() = 0;
    virtual std::vector<CaptureDeviceInfo> phoneScreens() = 0;
    // Best ranked first is not promised: the order is the sound server's.
    virtual std::vector<CaptureDeviceInfo> microphones() = 0;
    virtual std::optional<CaptureDeviceInfo> bestMicrophone() = 0;

    // The recorder of voice takes: one microphone into an .m4a, feeding voice follow as it records.
    virtual std::unique_ptr<AudioOnlyRecorder> makeVoiceRecorder() = 0;

    virtual OverlayRecorder& cameraRecorder() = 0;
    virtual OverlayRecorder& phoneRecorder() = 0;

    virtual InputEvents& input() = 0;
    virtual PointerState& pointer() = 0;
    virtual FrontWindowSource& frontWindow() = 0;
    virtual ScreenLayoutSource& screenLayout() = 0;

Q_SIGNALS:
    // A camera or sound device came or went.
    void devicesChanged();
};
