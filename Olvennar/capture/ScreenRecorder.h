#pragma once

#include "capture/PendingAudioQueue.h"
#include "platform/audio/AudioCapture.h"
#include "platform/media/MediaSample.h"
#include "platform/system/DispatchQueue.h"
#include "platform/system/ErrorInfo.h"
#include "platform/x11/ScreenCapture.h"

#include <QFuture>
#include <QSize>
#include <QString>

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class MovieWriter;
class MovieWriterInput;
class RecordingClock;
class SpeechAudioSink;

// Writes the raw movie of a screen take: one display as HEVC, and when asked the microphone and the system
// audio as two AAC tracks (track order: video, microphone, system), all on the take clock. The first screen
// frame opens the file and starts the clock; pauses are cut by the clock; every sample is retimed to take
// time before it is appended. Microphone blocks also go to voice follow, whatever the writer's state.
// One recorder per take: one start, one stop.
//
// Threading: frames arrive on the grabber thread and sound on the sound server's threads; everything that
// touches the writer runs on the serial writer queue. `onFailure` is called on the writer queue; the caller
// hops to its own thread.
class ScreenRecorder {
public:
    struct Options {
        ScreenDisplay display;
        bool captureMicrophone = true;
        bool captureSystemAudio = true;
        std::optional<QString> microphoneDeviceID; // nothing: the default input
        std::optional<int> targetHeight;
        int frameRate = 60;
        bool showsCursor = true;
    };

    class RecorderError {
    public:
        enum class Kind { writerFailed, captureFailed, screenPermissionStale, diskFull };
        static RecorderError writerFailed(QString detail) { return {Kind::writerFailed, std::move(detail)}; }
        // `kept`: "mm:ss in <file name>", what the movie holds up to the failure.
        static RecorderError diskFull(QString kept) { return {Kind::diskFull, std::move(kept)}; }
        static RecorderError captureFailed(QString detail) { return {Kind::captureFailed, std::move(detail)}; }
        static RecorderError screenPermissionStale() { return {Kind::screenPermissionStale, {}}; }

        Kind kind() const { return kind_; }
        const QString& detail() const { return detail_; }
        QString errorDescription() const;
        ErrorInfo info() const;

    private:
        RecorderError(Kind kind, QString detail) : kind_(kind), detail_(std::move(detail)) {}
        Kind kind_;
        QString detail_;
    };

    // What a stop leaves: the movie when one exists (also when the stop reports a failure after frames
    // were written: the file keeps everything up to the last good sample), and the failure if any.
    struct StopResult {
        std::optional<QString> url;
        std::optional<RecorderError> error;
    };

    struct Sources {
        std::unique_ptr<ScreenCapture> screen;
        std::unique_ptr<AudioCapture> microphone;
        std::unique_ptr<AudioCapture> systemAudio;
        SpeechAudioSink* speech = nullptr;
    };

    struct Statistics {
        int64_t framesWritten = 0;
        int64_t framesDropped = 0; // the writer fell behind: the oldest waiting frames went
        int64_t framesMissed = 0; // the grabber was still busy when its tick came
    };

    enum class Kind { screen = 0, systemAudio = 1, microphone = 2 };
    static QString kindName(int kind);

    ScreenRecorder(RecordingClock& clock, Sources sources);
    ~ScreenRecorder();
    ScreenRecorder(const ScreenRecorder&) = delete;
    ScreenRecorder& operator=(const ScreenRecorder&) = delete;

    // The displays the controller lists; nothing when the screen cannot be reached.
    static std::optional<std::vector<ScreenDisplay>> availableDisplays(ScreenCapture& screen);

    // Opens the sound sources the options ask for and returns once they deliver (or one failed). Blocks for
    // as long as the devices need: call it off the main thread, before start(), which then keeps them. What
    // they deliver before start() goes only to voice follow.
    std::optional<RecorderError> openSound(const Options& options);
    // Starts the picture now; this moment is the take's start: sound from before it is left out. Opens the
    // sound sources itself when openSound() was not called.
    std::optional<RecorderError> start(const Options& options, const QString& rawPath);
    // Stops the sources, then finishes the movie behind every sample already delivered. The recorder must
    // outlive the future.
    QFuture<StopResult> stop();

    QSize pixelSize() const { return pixelSize_; }
    Statistics statistics() const;
    std::function<void(const ErrorInfo&)> onFailure;

private:
    std::optional<RecorderError> setUpWriter(const QString& path, int width, int height, const Options& options);
    void deliverFrame(const MediaSample& sample);
    void deliverAudio(const MediaSample& sample, Kind kind);
    void handle(const MediaSample& sample, Kind kind);
    bool appendNow(MovieWriterInput& input, const MediaSample& sample, Kind kind, const MediaTime& takeTime);
    void reportWriteFailure(int kind, const MediaTime& at);
    void reportFailure(const ErrorInfo& error);
    StopResult finishOnWriterQueue();
    void logFrameAccounting() const;
    void stopSources();
    RecorderError failStart(const QString& reason);
    void cancelWriter();

    RecordingClock& clock_;
    Sources sources_;

    // Writer queue only.
    std::unique_ptr<MovieWriter> writer_;
    MovieWriterInput* videoInput_ = nullptr;
    MovieWriterInput* micInput_ = nullptr;
    MovieWriterInput* systemInput_ = nullptr;
    bool sessionOpen_ = false;
    // Host time start() was called, for the log of when the first picture came.
    MediaTime anchor_;
    std::map<int, MediaTime> lastWritten_;
    double longestFrameGap_ = 0; // seconds between two written pictures
    int64_t frameGapsOver50ms_ = 0;
    int frameRate_ = 60;
    std::deque<std::pair<Kind, MediaSample>> soundBeforeFirstFrame_;
    bool failureReported_ = false;
    bool stopRequested_ = false;
    PendingAudioQueue pendingMicrophone_{QStringLiteral("microphone")};
    PendingAudioQueue pendingSystem_{QStringLiteral("system audio")};

    QString rawPath_;
    QSize pixelSize_;
    // Grabber thread and writer queue: frames waiting for the writer, oldest first.
    std::mutex framesLock_;
    std::deque<MediaSample> framesWaiting_;
    std::atomic<int64_t> framesWritten_{0};
    std::atomic<int64_t> framesDropped_{0};
    bool started_ = false;
    bool soundOpen_ = false;

    // Declared last so they are destroyed first, the microphone queue before the writer queue it feeds: what
    // is still queued runs while the fields above are alive (the destructor drains both before that).
    DispatchQueue writerQueue_{"com.quorrel.festrin.writer"};
    DispatchQueue micQueue_{"com.quorrel.festrin.mic"};
};
