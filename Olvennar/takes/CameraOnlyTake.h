#pragma once

#include "capture/CameraOnlyRecorder.h"
#include "takedata/CaptureDeviceInfo.h"
#include "takes/Take.h"
#include "takes/TakeHost.h"

#include <QElapsedTimer>

#include <memory>
#include <optional>

class CameraOnlyPreview;
class RecordingClock;

// The flow every take filmed by the camera-only recorder shares: devices, warm-up, the microphone opened
// before the countdown, the recorder's start, the stop and the failure reaction. The kinds ("Just me",
// short) differ in their file, what they log at the start and how they finish.
//
// Main thread only. The recorder's failure report arrives on its writer queue and hops here.
class CameraOnlyTake : public Take {
    Q_OBJECT

public:
    CameraOnlyTake(TakeHost& host, CameraOnlyPreview& preview);
    ~CameraOnlyTake() override;

    // The camera first, then the microphone; a machine without any camera asks for nothing.
    TakeAccess access(const TakeStart& start) const override;
    std::optional<QString> refusal(const TakeStart& start) const override;
    QCoro::Task<std::optional<QString>> choose(const TakeStart& start) override;
    QCoro::Task<std::optional<QString>> record(const TakeStart& start, const TakeFolder& folder) override;
    // Camera and microphone open beside the countdown: the microphone first, then a cold camera warms up.
    QCoro::Task<std::optional<QString>> prepareDevices() override;
    void releaseDevices() override;
    QCoro::Task<> stop(bool byRemote) override;
    QCoro::Task<> discard() override;
    void pause() override;
    void resume() override;
    bool isRunning() const override { return running_; }
    // Wall-clock seconds since filming began.
    double elapsedSeconds() const override;
    const std::optional<TakeFolder>& folder() const override { return folder_; }

    // The failure sentences, by whether anything of the take was kept.
    static QString failureSentence(const CameraOnlyRecorder::Failure& failure);

protected:
    virtual bool filmsShort() const = 0;
    // "camera-only" or "short": the start's log word.
    virtual QString logWord() const = 0;
    // "final" or "raw".
    virtual QString fileWord() const = 0;
    // Right before the recorder arms; `previewDelivered` is the size the live preview had delivered.
    virtual void prepareFilming(const TakeStart& start, const CaptureDeviceInfo& camera, const std::optional<QSize>& previewDelivered)
    {
        (void)start;
        (void)camera;
        (void)previewDelivered;
    }
    // Turns the closed file into the take's end: its file, or the failure (logged).
    virtual QCoro::Task<TakeEnd> finish(QString file, TakeFolder folder, bool byRemote) = 0;
    virtual void forgetTake() { }

    TakeHost& host_;
    CameraOnlyPreview& preview_;

private:
    void failDuringTake(const CameraOnlyRecorder::Failure& failure);

    // What the start chose, for the preparation.
    struct Devices {
        CaptureDeviceInfo camera;
        CameraOnlyRecorder::Microphone microphone;
        bool mirrored = true;
    };
    std::optional<Devices> devices_;
    // The size the live preview had delivered when the countdown began.
    std::optional<QSize> previewDelivered_;
    std::shared_ptr<RecordingClock> clock_;
    std::optional<TakeFolder> folder_;
    QElapsedTimer filming_;
    bool running_ = false;
};
