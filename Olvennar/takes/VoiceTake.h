#pragma once

#include "platform/system/ErrorInfo.h"
#include "takedata/CaptureDeviceInfo.h"
#include "takedata/NextTake.h"
#include "takes/Take.h"
#include "takes/VoiceTakeHost.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QString>

#include <memory>
#include <optional>

class AudioOnlyRecorder;
class CameraOnlyTakeHost;
class RecordingClock;
class TakeServices;
class VoiceTakeHost;

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
    VoiceTake(VoiceTakeHost& host, CameraOnlyTakeHost* desk, TakeServices* services);
    ~VoiceTake() override;

    // The long-form take.
    QCoro::Task<> start() override;
    // A short's voice track, with the desk camera when it is allowed and present.
    QCoro::Task<> startTrack();
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
    bool canPause() const override { return false; }
    bool isRunning() const override { return running_.has_value(); }
    double elapsedSeconds() const override;
    const std::optional<TakeFolder>& folder() const override { return folder_; }
    const std::optional<Running>& running() const { return running_; }

    // The recorder failed mid-take: it is stopped, what it wrote stays, and the failure is shown.
    QCoro::Task<> failDuringTake(ErrorInfo error);

private:
    // Asks for the microphone and picks it; nothing when refused or none is listed (shown).
    QCoro::Task<std::optional<VoiceTakeSettings>> openMicrophoneStep(QString refusedSentence, QString area);
    // Starts the voice recorder into the folder's audio file; false when it failed (shown).
    bool startRecorder(const VoiceTakeSettings& settings, const std::optional<NextTake>& script, bool longForm, const QString& context);
    // Films the desk camera beside a voice track; a failure only logs. Arms nothing once `attempt` ended.
    QCoro::Task<> startDeskCamera(Attempt attempt, CaptureDeviceInfo camera, CaptureDeviceInfo microphone, bool mirrored);
    AudioOnlyRecorder* recorder();
    // Ends a start that failed: the failure shows and a folder the take made goes when empty.
    void abandon(const QString& sentence);
    void discardEmptyFolder();
    // The recorder's stop, off the main thread; the file or nothing.
    QCoro::Task<std::optional<QString>> stopRecorder();

    VoiceTakeHost& host_;
    CameraOnlyTakeHost* desk_;
    TakeServices* services_;
    std::unique_ptr<AudioOnlyRecorder> recorder_;
    std::optional<TakeFolder> folder_;
    std::optional<Running> running_;
    // The microphone of the take being started.
    CaptureDeviceInfo microphone_;
    // A voice track's own take clock, which the desk camera records on.
    std::shared_ptr<RecordingClock> clock_;
    bool deskCameraActive_ = false;
    QElapsedTimer sinceStart_;
};
