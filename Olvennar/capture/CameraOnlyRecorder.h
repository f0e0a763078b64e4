#pragma once

#include "platform/audio/AudioCapture.h"
#include "platform/system/DispatchQueue.h"
#include "platform/system/ErrorInfo.h"
#include "platform/video/CameraHub.h"

#include <QFuture>
#include <QSize>
#include <QString>

#include <qcorotask.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <variant>
#include <vector>

class CameraFrameTap;
class MovieWriter;
class MovieWriterInput;
class RecordingClock;
class SpeechAudioSink;

// Films the takes without a screen ("Just me", shorts): one camera through its hub and, during a take only,
// one mono 48 kHz microphone, into a fragmented QuickTime movie (H.264 High, AAC). Between takes the same
// camera subscription runs as the live preview (no microphone). The file opens only when the start gate
// accepts a steady frame that agrees with the microphone; that frame is take time 0.
//
// Threading: configuration, mirroring and preview calls come from the main thread (or one worker the main
// thread awaits); the fields under "configuring thread" are touched by those calls alone. What the main
// thread reads while a worker configures (running, delivering, mirroring, microphone present) is atomic.
// The profile fields are written by the main thread only while no configuration runs. Frames hop from the
// hub's capture thread to the video queue, microphone blocks from the sound backend to the audio queue;
// there they only feed the tap or the speech sink and post to the writer queue. Every field under "writer
// queue only" is touched there alone; the failure reaction is set and called there.
//
// Running means the stream was started and has neither failed to start nor lost its camera; delivering
// means frames of that stream have arrived. A lost stream is reported through `onStreamLost`.
class CameraOnlyRecorder {
public:
    struct RecorderError {
        // `microphoneStopped`: the microphone opened for the take stopped before it began; its reason is the detail.
        enum class Kind { writerFailed = 1, cannotAddInput, cannotAddOutput, microphoneStopped };
        Kind kind = Kind::writerFailed;
        QString detail;
        QString description() const;
        ErrorInfo info() const;
    };

    // A take that ended on its own: what was kept of it, if anything.
    struct Failure {
        RecorderError error;
        std::optional<QString> keptFile;
        double keptSeconds = 0;
    };

    struct Sources {
        // The hub of a camera by unique ID; the hub's error when it cannot be opened.
        std::function<std::variant<std::shared_ptr<CameraHub>, CameraHub::Error>(const QString& uniqueID)> openCamera;
        std::function<std::unique_ptr<AudioCapture>()> makeMicrophone;
        SpeechAudioSink* speech = nullptr;
    };

    struct Microphone {
        QString uniqueID;
        QString localizedName;
    };

    // How the camera format was chosen for a profile.
    enum class FormatRule { shortFormat, cappedFormat, tallFormat, highPreset };
    struct FormatChoice {
        FormatRule rule = FormatRule::highPreset;
        std::optional<size_t> index; // nothing: the format stays as it is
    };
    static FormatChoice chooseFormat(const std::vector<CameraHub::Format>& formats, bool shortProfile, std::optional<int> maxHeight);
    // "<unique ID>|<true|false>|<cap or 0>".
    static QString setupKey(const QString& cameraID, bool shortProfile, std::optional<int> maxHeight);
    // "no writer error", or the error's sentence with its domain and code.
    static QString describe(const std::optional<ErrorInfo>& error);
    // Four characters of a pixel format code, most significant byte first; the number when not printable.
    static QString fourCC(uint32_t code);

    explicit CameraOnlyRecorder(Sources sources);
    ~CameraOnlyRecorder();
    CameraOnlyRecorder(const CameraOnlyRecorder&) = delete;
    CameraOnlyRecorder& operator=(const CameraOnlyRecorder&) = delete;

    // The camera alone, for the preview. Errors leave the recorder without a camera.
    std::optional<ErrorInfo> configurePreview(const QString& cameraID, bool mirrored);
    // Camera and microphone for a take; the running camera is kept when nothing about it changed.
    std::optional<ErrorInfo> configure(const QString& cameraID, const Microphone& microphone, bool mirrored);
    void setMirrored(bool mirrored);
    // Stream start and stop run off the caller's thread, in the order asked.
    void startPreview();
    // Empties the tap at once, detaches the microphone and stops the stream.
    void stopPreview();
    // Blocks until the microphone delivers (or its backend gave up); call off the main thread.
    void waitUntilFlowing();
    // The microphone's first stamped block has reached the recorder (a fresh source may hold its first
    // blocks while its timing settles).
    bool hasSoundArrived() const { return soundArrived_.load(); }

    // Arms a take into `path`; refuses (writerFailed) when a file is already there: nothing is ever removed;
    // refuses (microphoneStopped) when the microphone stopped since configure(). A microphone that stops
    // during the take ends it like a lost camera.
    std::optional<RecorderError> startRecording(const QString& path, std::shared_ptr<RecordingClock> clock);
    // The complete file, or nothing when the gate never opened (no file is left) or the take already failed.
    QCoro::Task<std::optional<QString>> stopRecording();
    // How the last take's writing failed and what it kept: also a failure met as it stopped (its disk
    // filling, say), which stopRecording() returns no file for. Nothing for a take that stopped whole.
    std::optional<Failure> takeFailure();

    // The delivery of both sources, on the video or audio queue: frames feed the tap, both go to the writer
    // queue (the speech sink hears the microphone as it is read, before this). Tests call it directly.
    void captureOutput(const MediaSample& sample);
    // Blocks until every sample delivered before the call has passed the writer step (tests).
    void drainForTesting();

    // The take's failure reaction, called on the writer queue once per take. Set there: when this returns, a
    // reaction replaced (or cleared) is never called again.
    void setOnFailure(std::function<void(const Failure&)> reaction);
    // The reaction to the microphone stopping before a take is armed (that start is then refused), with its
    // reason; called and set on the writer queue like the failure reaction.
    void setOnMicrophoneStoppedAhead(std::function<void(const QString&)> reaction);

    // Set before a configuration; they enter the setup key and the format choice.
    bool shortProfile = false;
    std::optional<int> maxHeight;
    std::optional<bool> fileMirrorOverride;
    // Called on a capture or pool thread when the stream would not start or its camera went away. Set once,
    // before the first configuration.
    std::function<void()> onStreamLost;
    // Microphone blocks go to voice follow; off while another recorder feeds it the same microphone.
    std::atomic<bool> feedsSpeech{true};

    const std::shared_ptr<CameraFrameTap>& frameTap() const { return frameTap_; }
    // The stream was started and has neither failed nor lost its camera.
    bool isRunning() const { return running_.load() && !lost_.load(); }
    // Frames of the running stream have arrived.
    bool isDelivering() const { return isRunning() && delivering_.load(); }
    bool hasMicrophone() const { return hasMicrophone_.load(); }
    QString cameraID() const { return camera_ ? camera_->uniqueID() : QString(); }
    std::shared_ptr<CameraHub> camera() const { return camera_; }
    QSize frameSize() const;
    QSize formatSize() const { return frameSize(); }
    // Linux cameras have no orientation source: frames are never turned.
    double rotationAngle() const { return 0; }
    bool fileMirrored() const { return fileMirrored_.load(); }
    bool previewMirrored() const { return previewMirrored_.load(); }
    // What a preview of the tap shows mirrored (the short viewer may show the file's side instead).
    void setPreviewDisplayMirrored(bool mirrored) { previewDisplayMirrored_ = mirrored; }
    // The tap carries the file's picture; a preview flips it when it should look the other way.
    bool previewFlipsTap() const { return previewDisplayMirrored_.load() != fileMirrored_.load(); }
    // Frames dropped because the writer queue lagged, this take.
    int64_t droppedFrames() const { return droppedFrames_.load(); }

    // A frame arriving while this many wait for the writer is dropped (about a quarter second at 30 fps).
    static constexpr int writerBacklogFrames = 8;

private:
    void deliver(const MediaSample& sample, bool counted);
    void applyFormatProfile(CameraHub& camera);
    std::optional<ErrorInfo> attachCamera(const QString& cameraID);
    void detachMicrophone();
    void dropSubscription();
    void setFrameSize(QSize size);
    // Writer queue.
    void write(const MediaSample& sample, bool video);
    bool runGate(const MediaTime& pts);
    void skipLeadingFrame(const MediaTime& pts, const QString& reason);
    bool openGate(const MediaSample& sample, const MediaTime& pts);
    std::optional<ErrorInfo> openWriter(const PixelBuffer& firstFrame);
    void failTake(const QString& reason);
    void cameraDisconnected();
    // Capture or pool thread: the stream stopped delivering for good.
    void streamLost(const QString& why);
    // The sound backend's thread: the microphone stopped for good (the sound server went away).
    void microphoneStopped(const QString& reason);
    void closeWriter();

    Sources sources_;
    std::shared_ptr<CameraFrameTap> frameTap_;

    // Configuring thread.
    std::shared_ptr<CameraHub> camera_;
    std::shared_ptr<CameraHub::Subscription> subscription_;
    std::unique_ptr<AudioCapture> microphone_;
    QFuture<void> streamTask_;
    std::optional<QString> cameraSetupKey_;

    // Written by the configuring thread (running, mirroring, microphone) or the stream's threads (lost,
    // delivering); read anywhere.
    std::atomic<bool> running_{false};
    std::atomic<bool> lost_{false};
    std::atomic<bool> delivering_{false};
    // Which subscription's frames count as delivering; a late frame of an earlier one does not.
    std::atomic<uint64_t> subscriptionNumber_{0};
    std::atomic<bool> hasMicrophone_{false};
    std::atomic<bool> fileMirrored_{false};
    std::atomic<bool> previewMirrored_{false};
    std::atomic<bool> previewDisplayMirrored_{false};

    mutable std::mutex sizeLock_;
    QSize frameSize_;

    std::atomic<int> pendingFrames_{0};
    std::atomic<bool> soundArrived_{false};
    std::atomic<int64_t> droppedFrames_{0};
    // Why the microphone of the last configure() stopped, set on the sound backend's thread.
    mutable std::mutex microphoneLostLock_;
    std::optional<QString> microphoneLost_;

    // Writer queue only.
    std::function<void(const Failure&)> onFailure_;
    std::function<void(const QString&)> onMicrophoneStoppedAhead_;
    std::unique_ptr<MovieWriter> writer_;
    MovieWriterInput* videoInput_ = nullptr;
    MovieWriterInput* audioInput_ = nullptr;
    std::shared_ptr<RecordingClock> clock_;
    bool sessionOpen_ = false;
    bool recording_ = false;
    MediaTime lastVideoWritten_;
    MediaTime lastAudioWritten_;
    MediaTime latestAudioPTS_;
    MediaTime gateCandidatePTS_;
    MediaTime gateFirstPTS_;
    MediaTime anchorPTS_; // capture time of the frame that opened the gate: take time 0
    int gateSkipped_ = 0;
    double armedAt_ = 0;
    bool failureReported_ = false;
    std::optional<Failure> takeFailure_;
    QSize pendingSize_;
    QSize writtenSize_;
    QString outputURL_;

    // Declared last so they are destroyed first (the delivery queues before the writer queue they post to):
    // what is still queued runs while the fields above are alive.
    DispatchQueue writerQueue_{"com.quorrel.festrin.cameraonly.writer"};
    DispatchQueue videoQueue_{"com.quorrel.festrin.cameraonly.video"};
    DispatchQueue audioQueue_{"com.quorrel.festrin.cameraonly.audio"};
};
