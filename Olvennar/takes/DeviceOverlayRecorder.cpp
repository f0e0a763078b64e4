#include "takes/DeviceOverlayRecorder.h"

#include "capture/DeviceVideoRecorder.h"
#include "platform/video/CameraHubRegistry.h"

#include <QWidget>

DeviceOverlayRecorder::DeviceOverlayRecorder(CameraHubRegistry& hubs, std::unique_ptr<DeviceVideoRecorder> recorder,
                                             PreviewFactory makePreview)
    : hubs_(hubs)
    , recorder_(std::move(recorder))
    , makePreview_(std::move(makePreview))
{
    // The size callback comes from the writer queue; the owner hops to its own thread.
    recorder_->onFrameSizeKnown = [this](QSize size) {
        if (onFrameSizeKnown)
            onFrameSizeKnown(size);
    };
}

DeviceOverlayRecorder::~DeviceOverlayRecorder() = default;

std::optional<QString> DeviceOverlayRecorder::configure(const QString& deviceID, bool mirrored)
{
    const CameraHubRegistry::Result opened = hubs_.hub(deviceID);
    if (!opened.hub)
        return opened.error ? opened.error->description() : QStringLiteral("The camera could not be opened.");
    if (const auto error = recorder_->configure(opened.hub, mirrored))
        return error->description();
    return std::nullopt;
}

void DeviceOverlayRecorder::detach() { recorder_->detach(); }
bool DeviceOverlayRecorder::isAttached() const { return recorder_->isAttached(); }
QString DeviceOverlayRecorder::attachedDeviceID() const
{
    const auto device = recorder_->device();
    return recorder_->isAttached() && device ? device->uniqueID() : QString();
}
void DeviceOverlayRecorder::startPreview() { recorder_->startPreview(); }
void DeviceOverlayRecorder::stopPreview() { recorder_->stopPreview(); }
void DeviceOverlayRecorder::setMirrored(bool mirrored) { recorder_->setMirrored(mirrored); }
bool DeviceOverlayRecorder::preferTallFormat() const { return recorder_->preferTallFormat; }
void DeviceOverlayRecorder::setPreferTallFormat(bool preferTall) { recorder_->preferTallFormat = preferTall; }
void DeviceOverlayRecorder::refreshFormat() { recorder_->refreshFormat(); }
QSize DeviceOverlayRecorder::frameSize() const { return recorder_->frameSize(); }

void DeviceOverlayRecorder::startRecording(const QString& path, std::shared_ptr<RecordingClock> clock)
{
    recorder_->startRecording(path, std::move(clock));
}

QCoro::Task<std::optional<QString>> DeviceOverlayRecorder::stopRecording() { return recorder_->stopRecording(); }
std::vector<ClipSegment> DeviceOverlayRecorder::recordedSegments() { return recorder_->recordedSegments(); }

QWidget* DeviceOverlayRecorder::createPreview(QWidget* parent)
{
    return makePreview_ ? makePreview_(recorder_->frameTap(), parent) : new QWidget(parent);
}

std::shared_ptr<CameraFrameTap> DeviceOverlayRecorder::frameTap() const { return recorder_->frameTap(); }
