#pragma once

#include "platform/video/CameraHubRegistry.h"
#include "takes/TakeServices.h"

#include <functional>
#include <memory>

class DeviceOverlayRecorder;
class EwmhFrontWindow;
class VideoDeviceCatalog;
class PulseDeviceMonitor;
class SpeechAudioSink;
class VideoHotplugMonitor;
class X11PointerState;
class X11ScreenLayout;
class XInputEvents;

// The running studio's take services: RandR displays and the XShm grabber, PulseAudio sources, V4L2
// cameras, XInput 2 clicks and keys, the pointer, the front window and the screen's layout, and udev and
// PulseAudio hot-plug notices, and the desk camera and phone recorders over one hub per camera.
class XcbGlobalKeyGrabber;

class LinuxTakeServices final : public TakeServices {
public:
    // Tests may list and open their own cameras; by default the V4L2 nodes.
    struct Devices {
        VideoDeviceCatalog* catalog = nullptr;
        CameraHubRegistry::Opener opener;
    };
    LinuxTakeServices();
    explicit LinuxTakeServices(Devices devices);
    ~LinuxTakeServices() override;

    std::optional<std::vector<ScreenDisplay>> availableDisplays() override;
    std::unique_ptr<ScreenRecorder> makeScreenRecorder(RecordingClock& clock) override;
    std::unique_ptr<CameraOnlyRecorder> makeCameraOnlyRecorder() override;
    std::vector<CaptureDeviceInfo> cameras() override;
    std::vector<CaptureDeviceInfo> phoneScreens() override;
    std::vector<CaptureDeviceInfo> microphones() override;
    std::optional<CaptureDeviceInfo> bestMicrophone() override;
    std::unique_ptr<AudioOnlyRecorder> makeVoiceRecorder() override;
    OverlayRecorder& cameraRecorder() override;
    OverlayRecorder& phoneRecorder() override;
    InputEvents& input() override;
    PointerState& pointer() override;
    FrontWindowSource& frontWindow() override;
    ScreenLayoutSource& screenLayout() override;

    // Voice follow's feed of the recorders' microphone blocks.
    void setSpeechSink(SpeechAudioSink* sink) { speechSink_ = sink; }
    // The studio's hot keys are not counted as typing in a take's key telemetry.
    void ignoreHotKeys(const XcbGlobalKeyGrabber* grabber);

private:
    class Inert;
    std::unique_ptr<Inert> inert_;
    std::unique_ptr<XInputEvents> input_;
    std::unique_ptr<X11PointerState> pointer_;
    std::unique_ptr<EwmhFrontWindow> frontWindow_;
    std::unique_ptr<X11ScreenLayout> screenLayout_;
    std::unique_ptr<VideoHotplugMonitor> videoMonitor_;
    std::unique_ptr<PulseDeviceMonitor> soundMonitor_;
    VideoDeviceCatalog* catalog_;
    std::unique_ptr<VideoDeviceCatalog> ownCatalog_;
    CameraHubRegistry hubs_;
    std::unique_ptr<DeviceOverlayRecorder> camera_;
    std::unique_ptr<DeviceOverlayRecorder> phone_;
    SpeechAudioSink* speechSink_ = nullptr;
};
