#include "app/LinuxTakeServices.h"

#include "capture/AudioOnlyRecorder.h"
#include "capture/CameraOnlyRecorder.h"
#include "capture/DeviceDiscovery.h"
#include "capture/DeviceVideoRecorder.h"
#include "capture/ScreenRecorder.h"
#include "platform/audio/PulseAudioCapture.h"
#include "platform/audio/PulseAudioCatalog.h"
#include "platform/audio/PulseDeviceMonitor.h"
#include "platform/audio/PulseSystemAudioCapture.h"
#include "platform/input/EwmhFrontWindow.h"
#include "platform/input/X11PointerState.h"
#include "platform/input/XInputEvents.h"
#include "platform/system/Diagnostics.h"
#include "platform/video/V4L2DeviceCatalog.h"
#include "platform/video/VideoHotplugMonitor.h"
#include "platform/x11/X11Displays.h"
#include "platform/x11/XcbGlobalKeyGrabber.h"
#include "platform/x11/X11ScreenCapture.h"
#include "platform/x11/X11ScreenLayout.h"
#include "platform/x11/XcbConnection.h"
#include "takes/DeviceOverlayRecorder.h"
#include "views/framing/CameraPreview.h"


namespace {

QWidget* makeCameraPreview(std::shared_ptr<CameraFrameTap> tap, QWidget* parent)
{
    auto* preview = new CameraPreview(parent);
    preview->setTap(std::move(tap));
    preview->setGravity(CameraPreview::Gravity::fill);
    return preview;
}

CaptureDeviceInfo fromVideo(const VideoDeviceInfo& device)
{
    CaptureDeviceInfo info;
    info.uniqueID = device.uniqueID;
    info.localizedName = device.name;
    for (const VideoDeviceInfo::Format& format : device.formats) {
        for (const VideoDeviceInfo::FrameSize& size : format.sizes) {
            CaptureDeviceInfo::Format entry{size.width, size.height, {}};
            for (const MediaTime& interval : size.intervals) {
                const double seconds = interval.seconds();
                if (seconds > 0)
                    entry.frameRateRanges.push_back({1.0 / seconds, 1.0 / seconds});
            }
            info.formats.push_back(std::move(entry));
        }
    }
    return info;
}

CaptureDeviceInfo fromSound(const AudioDeviceInfo& device)
{
    CaptureDeviceInfo info;
    info.uniqueID = device.name;
    info.localizedName = device.description.isEmpty() ? device.name : device.description;
    info.rank = DeviceDiscovery::microphoneRank(device);
    return info;
}

} // namespace

// Stand-ins while the display cannot be reached: nothing is seen.
class LinuxTakeServices::Inert final : public InputEvents, public PointerState, public FrontWindowSource, public ScreenLayoutSource {
public:
    std::unique_ptr<Monitor> addMouseDownMonitor(std::function<void()>) override { return nullptr; }
    std::uint32_t keyDownCount() override { return 0; }
    std::optional<QPointF> location() override { return std::nullopt; }
    std::optional<CursorImage> currentCursor() override { return std::nullopt; }
    std::optional<QRectF> frontWindowBounds() override { return std::nullopt; }
    std::optional<Layout> layout() override { return std::nullopt; }
};

LinuxTakeServices::LinuxTakeServices()
    : LinuxTakeServices(Devices{nullptr, {}})
{
}

LinuxTakeServices::LinuxTakeServices(Devices devices)
    : inert_(std::make_unique<Inert>())
    , input_(XInputEvents::open())
    , pointer_(X11PointerState::open())
    , frontWindow_(EwmhFrontWindow::open())
    , screenLayout_(X11ScreenLayout::open())
    , videoMonitor_(std::make_unique<VideoHotplugMonitor>())
    , soundMonitor_(std::make_unique<PulseDeviceMonitor>())
    , catalog_(devices.catalog)
    , hubs_(devices.opener)
    , camera_(std::make_unique<DeviceOverlayRecorder>(hubs_, std::make_unique<DeviceVideoRecorder>(), makeCameraPreview))
    , phone_(std::make_unique<DeviceOverlayRecorder>(hubs_, std::make_unique<DeviceVideoRecorder>(), makeCameraPreview))
{
    if (!catalog_) {
        ownCatalog_ = std::make_unique<V4L2DeviceCatalog>();
        catalog_ = ownCatalog_.get();
    }
    connect(videoMonitor_.get(), &VideoHotplugMonitor::devicesChanged, this, &TakeServices::devicesChanged);
    connect(soundMonitor_.get(), &PulseDeviceMonitor::devicesChanged, this, &TakeServices::devicesChanged);
}

LinuxTakeServices::~LinuxTakeServices() = default;

std::optional<std::vector<ScreenDisplay>> LinuxTakeServices::availableDisplays()
{
    const auto connection = XcbConnection::open();
    if (!connection)
        return std::nullopt;
    return X11Displays::list(*connection);
}

std::unique_ptr<ScreenRecorder> LinuxTakeServices::makeScreenRecorder(RecordingClock& clock)
{
    ScreenRecorder::Sources sources;
    sources.screen = std::make_unique<X11ScreenCapture>();
    sources.microphone = std::make_unique<PulseAudioCapture>();
    sources.systemAudio = std::make_unique<PulseSystemAudioCapture>();
    sources.speech = speechSink_;
    return std::make_unique<ScreenRecorder>(clock, std::move(sources));
}

std::unique_ptr<AudioOnlyRecorder> LinuxTakeServices::makeVoiceRecorder()
{
    return std::make_unique<AudioOnlyRecorder>(std::make_unique<PulseAudioCapture>(), speechSink_);
}

std::unique_ptr<CameraOnlyRecorder> LinuxTakeServices::makeCameraOnlyRecorder()
{
    CameraOnlyRecorder::Sources sources;
    sources.openCamera = [this](const QString& id) -> std::variant<std::shared_ptr<CameraHub>, CameraHub::Error> {
        CameraHubRegistry::Result opened = hubs_.hub(id);
        if (opened.error)
            return *opened.error;
        return opened.hub;
    };
    sources.makeMicrophone = [] { return std::make_unique<PulseAudioCapture>(); };
    sources.speech = speechSink_;
    return std::make_unique<CameraOnlyRecorder>(std::move(sources));
}

std::vector<CaptureDeviceInfo> LinuxTakeServices::cameras()
{
    std::vector<CaptureDeviceInfo> list;
    for (const VideoDeviceInfo& device : DeviceDiscovery::cameras(*catalog_))
        list.push_back(fromVideo(device));
    return list;
}

std::vector<CaptureDeviceInfo> LinuxTakeServices::phoneScreens()
{
    std::vector<CaptureDeviceInfo> list;
    for (const VideoDeviceInfo& device : DeviceDiscovery::phoneScreens(*catalog_))
        list.push_back(fromVideo(device));
    return list;
}

std::vector<CaptureDeviceInfo> LinuxTakeServices::microphones()
{
    PulseAudioCatalog catalog;
    std::vector<CaptureDeviceInfo> list;
    for (const AudioDeviceInfo& device : DeviceDiscovery::microphones(catalog))
        list.push_back(fromSound(device));
    return list;
}

std::optional<CaptureDeviceInfo> LinuxTakeServices::bestMicrophone()
{
    PulseAudioCatalog catalog;
    const auto best = DeviceDiscovery::bestMicrophone(catalog);
    return best ? std::optional<CaptureDeviceInfo>(fromSound(*best)) : std::nullopt;
}

OverlayRecorder& LinuxTakeServices::cameraRecorder() { return *camera_; }
OverlayRecorder& LinuxTakeServices::phoneRecorder() { return *phone_; }

void LinuxTakeServices::ignoreHotKeys(const XcbGlobalKeyGrabber* grabber)
{
    if (!input_ || !grabber)
        return;
    input_->setHotKeyFilter([grabber](std::uint32_t keySym, std::uint16_t modifiers) { return grabber->holds(keySym, modifiers); });
}

InputEvents& LinuxTakeServices::input() { return input_ ? static_cast<InputEvents&>(*input_) : *inert_; }
PointerState& LinuxTakeServices::pointer() { return pointer_ ? static_cast<PointerState&>(*pointer_) : *inert_; }
FrontWindowSource& LinuxTakeServices::frontWindow() { return frontWindow_ ? static_cast<FrontWindowSource&>(*frontWindow_) : *inert_; }
ScreenLayoutSource& LinuxTakeServices::screenLayout() { return screenLayout_ ? static_cast<ScreenLayoutSource&>(*screenLayout_) : *inert_; }

