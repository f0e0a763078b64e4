#pragma once

#include "platform/system/ErrorInfo.h"
#include "shorts/NextTake.h"
#include "takedata/CaptureDeviceInfo.h"
#include "takes/Take.h"

#include <QDateTime>
#include <QElapsedTimer>

#include <memory>
#include <optional>

class AudioOnlyRecorder;
class TakeServices;
class VoiceTakeHost;

// A "Voice only" take: the microphone alone into "voice" + suffix + ".m4a" in the project folder, beside
// the folder's video takes and numbered with them, and a JSON sidecar of the same stem written at stop.
// No camera, no pause, no finish job: the stop trims a remote stop's tail, writes the sidecar and shows
// the audio file at once. The recorder comes from the take services and is reused for every voice take.
//
// Main thread only. The recorder reports a failure on its queue; the take hops here.
class VoiceTake final : public Take {
    Q_OBJECT

public:
    // What is recording: present from the recorder's start until the stop or a failure takes it.
    struct Running {
        TakeFolder folder;
        std::optional<NextTake> script;
        QDateTime startedAt;
        QString audio;
        QString sidecar;
        QString microphone;
        RecordingChannel channel = RecordingChannel::ai;
        bool longForm = true;
    };

    VoiceTake(VoiceTakeHost& host, TakeServices* services);
    ~VoiceTake() override;

    QCoro::Task<> start() override;
    // The microphone opens while the countdown runs and flows when it ends.
    QCoro::Task<std::optional<QString>> prepareDevices() override;
    void releaseDevices() override;
    QCoro::Task<> stop(bool byRemote) override;
    QCoro::Task<> discard() override;
    void pause() override {}
    void resume() override {}
    bool canPause() const override { return false; }
    bool isRunning() const override { return running_.has_value(); }
    double elapsedSeconds() const override;
    const std::optional<TakeFolder>& folder() const override { return folder_; }
    const std::optional<Running>& running() const { return running_; }

    // The recorder failed mid-take: it is stopped, what it wrote stays, and the failure is shown.
    QCoro::Task<> failDuringTake(ErrorInfo error);

private:
    AudioOnlyRecorder* recorder();
    // Ends a start that failed: the failure shows and a folder the take made goes when empty.
    void abandon(const QString& sentence);
    void discardEmptyFolder();
    // The recorder's stop, off the main thread; the file or nothing.
    QCoro::Task<std::optional<QString>> stopRecorder();

    VoiceTakeHost& host_;
    TakeServices* services_;
    std::unique_ptr<AudioOnlyRecorder> recorder_;
    std::optional<TakeFolder> folder_;
    std::optional<Running> running_;
    // The microphone of the take being started.
    CaptureDeviceInfo microphone_;
    QElapsedTimer sinceStart_;
};
