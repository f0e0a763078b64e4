#pragma once

#include "takes/OverlayRecorder.h"

#include <functional>
#include <memory>

class CameraFrameTap;
class CameraHubRegistry;
class DeviceVideoRecorder;

// A camera or phone screen as a screen take's overlay: the device video recorder over the process's one hub
// per camera, with a live preview widget on its frame tap.
class DeviceOverlayRecorder final : public OverlayRecorder {
public:
    // Makes the live picture widget over a frame tap, owned by the parent; the window layer provides it.
    using PreviewFactory = std::function<QWidget*(std::shared_ptr<CameraFrameTap> tap, QWidget* parent)>;

    DeviceOverlayRecorder(CameraHubRegistry& hubs, std::unique_ptr<DeviceVideoRecorder> recorder, PreviewFactory makePreview);
    ~DeviceOverlayRecorder() override;

    std::optional<QString> configure(const QString& deviceID, bool mirrored) override;
    void detach() override;
    bool isAttached() const override;
    QString attachedDeviceID() const override;
    void startPreview() override;
    void stopPreview() override;
    void setMirrored(bool mirrored) override;
    bool preferTallFormat() const override;
    void setPreferTallFormat(bool preferTall) override;
    void refreshFormat() override;
    QSize frameSize() const override;
    void startRecording(const QString& path, std::shared_ptr<RecordingClock> clock) override;
    QCoro::Task<std::optional<QString>> stopRecording() override;
    std::vector<ClipSegment> recordedSegments() override;
    QWidget* createPreview(QWidget* parent) override;
    std::shared_ptr<CameraFrameTap> frameTap() const override;

    DeviceVideoRecorder& recorder() { return *recorder_; }

private:
    CameraHubRegistry& hubs_;
    std::unique_ptr<DeviceVideoRecorder> recorder_;
    PreviewFactory makePreview_;
};
