#pragma once

#include "capture/CameraOnlyRecorder.h"
#include "takedata/CaptureDeviceInfo.h"
#include "takes/Take.h"

#include <QElapsedTimer>

#include <memory>
#include <optional>

class CameraOnlyTakeHost;
class RecordingClock;

// The flow every take filmed by the camera-only recorder shares: access, devices, warm-up, the microphone
// opened before the countdown, the folder, the recorder's start, the stop and the failure reaction. The
// kinds ("Just me", short) differ in their folder, file, what they log at the start and how they finish.
//
// Main thread only. The recorder's failure report arrives on its writer queue and hops here.
class CameraOnlyTake : public Take {
    Q_OBJECT

public:
    explicit CameraOnlyTake(CameraOnlyTakeHost& host);
    ~CameraOnlyTake() override;

    QCoro::Task<> start() override;
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
    // Between the start's first await and filming (or its failure): the preview must be left alone.
    bool isStarting() const { return starting_; }

    // The failure sentences, by whether anything of the take was kept.
    static QString failureSentence(const CameraOnlyRecorder::Failure& failure);

protected:
    virtual bool filmsShort() const = 0;
    // "camera-only" or "short": the start's log word.
    virtual QString logWord() const = 0;
    // "final" or "raw".
    virtual QString fileWord() const = 0;
    virtual std::variant<TakeFolder, ErrorInfo> openFolder() = 0;
    // Right before the recorder arms; `previewDelivered` is the size the live preview had delivered.
    virtual void prepareFilming(const CaptureDeviceInfo& camera, const std::optional<QSize>& previewDelivered) { (void)camera; (void)previewDelivered; }
    // Turns the closed file into the take's result; nothing when it failed (the failure is shown).
    virtual QCoro::Task<std::optional<QString>> finish(QString file, TakeFolder folder, bool byRemote) = 0;
    virtual void forgetTake() { }

    CameraOnlyTakeHost& host_;
    // What finish() found worth saying beside the finished file (a short that holds less than the take).
    QString finishNote_;

private:
    QCoro::Task<> film(Attempt attempt);
    void failDuringTake(const CameraOnlyRecorder::Failure& failure);
    // A start that failed after the camera was set up: the failure shows and what it made goes.
    void abandonStart(const ErrorInfo& error);
    // Forgets the take's folder, removing it when the take made it and nothing with content is in it.
    void discardEmptyFolder();

    // What the start chose, for the preparation.
    struct Devices {
        CaptureDeviceInfo camera;
        CameraOnlyRecorder::Microphone microphone;
        bool mirrored = true;
    };
    std::optional<Devices> devices_;
    std::shared_ptr<RecordingClock> clock_;
    std::optional<TakeFolder> folder_;
    QElapsedTimer filming_;
    bool running_ = false;
    bool starting_ = false;
};
