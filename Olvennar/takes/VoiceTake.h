#pragma once

#include "platform/system/ErrorInfo.h"
#include "takedata/CaptureDeviceInfo.h"
#include "takedata/NextTake.h"
#include "takes/Take.h"
#include "takes/TakeHost.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QString>

#include <memory>
#include <optional>

class AudioOnlyRecorder;
class CameraOnlyPreview;
class RecordingClock;
class TakeServices;

// A "Voice only" take: the microphone alone into "voice" + suffix + ".m4a" in the project folder, beside
// the folder's video takes and numbered with them, and a JSON sidecar of the same stem written at stop.
// No pause, no finish job: the stop trims a remote stop's tail, writes the sidecar and shows the audio file
// at once. The recorder comes from the take services and is reused for every voice take.
//
// The same take records a short's voice track when the short's handoff asks for one: "voice.m4a" and
// "voice.json" in a new short folder, and the desk camera filmed beside it into "desk-camera.mov" by the
// camera-only recorder (its own microphone stream; only the voice recorder feeds voice follow).
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

    // `desk` reaches the camera-only recorder that films the desk camera during a voice track.
    VoiceTake(TakeHost& host, CameraOnlyPreview* desk, TakeServices* services);
    ~VoiceTake() override;

    // The microphone; a short's voice track also asks for the desk camera, which it may do without.
    TakeAccess access(const TakeStart& start) const override;
    // Picks the microphone; a voice track warms the desk camera up when it is allowed and present.
    QCoro::Task<std::optional<QString>> choose(const TakeStart& start) override;
    QCoro::Task<std::optional<QString>> record(const TakeStart& start, const TakeFolder& folder) override;
    // Stops the desk camera when it films; a second call does nothing.
    QCoro::Task<> stopDeskCameraIfRunning();
    bool deskCameraActive() const { return deskCameraActive_; }
    // The microphone opens while the countdown runs and flows when it ends.
    QCoro::Task<std::optional<QString>> prepareDevices() override;
    void releaseDevices() override;
    QCoro::Task<> stop(bool byRemote) override;
    QCoro::Task<> discard() override;
    void pause() override {}
    void resume() override {}
    bool isRunning() const override { return running_.has_value(); }
    double elapsedSeconds() const override;
    const std::optional<TakeFolder>& folder() const override { return folder_; }
    const std::optional<Running>& running() const { return running_; }

    // The recorder failed mid-take: it is stopped, what it wrote stays, and the failure is shown.
    QCoro::Task<> failDuringTake(ErrorInfo error);

private:
    // Starts the voice recorder into the folder's audio file; the sentence when it failed.
    std::optional<QString> startRecorder(const TakeStart& settings, bool longForm, const QString& context);
    // Films the desk camera beside a voice track; a failure only logs. Arms nothing once `attempt` ended.
    QCoro::Task<> startDeskCamera(Attempt attempt, CaptureDeviceInfo camera, CaptureDeviceInfo microphone, bool mirrored);
    AudioOnlyRecorder* recorder();
    // The recorder's stop, off the main thread; the file or nothing.
    QCoro::Task<std::optional<QString>> stopRecorder();
    // Hands the sound file's finish (a remote stop's cut, its length, the sidecar) to the finish queue and
    // awaits it; the length it measured.
    QCoro::Task<std::optional<double>> finishSound(Running take, QString audio, bool byRemote);

    TakeHost& host_;
    CameraOnlyPreview* desk_;
    TakeServices* services_;
    std::unique_ptr<AudioOnlyRecorder> recorder_;
    std::optional<TakeFolder> folder_;
    std::optional<Running> running_;
    // The microphone of the take being started, and whether that take is a short's voice track.
    CaptureDeviceInfo microphone_;
    bool voiceTrack_ = false;
    // The desk camera a voice track films beside it.
    std::optional<CaptureDeviceInfo> deskCamera_;
    // A voice track's own take clock, which the desk camera records on.
    std::shared_ptr<RecordingClock> clock_;
    bool deskCameraActive_ = false;
    QElapsedTimer sinceStart_;
};
