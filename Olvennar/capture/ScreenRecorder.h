#pragma once

#include "capture/PendingAudioQueue.h"
#include "platform/audio/AudioCapture.h"
#include "platform/media/MediaSample.h"
#include "platform/system/DispatchQueue.h"
#include "platform/system/ErrorInfo.h"
#include "platform/x11/ScreenCapture.h"
#include "platform/x11/ScreenFrameRate.h"

#include <QFuture>
#include <QRect>
#include <QSize>
#include <QString>

#include <array>
#include <atomic>
#include <condition_variable>
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
// frame starts the clock; pauses are cut by the clock; every sample is retimed to take time before it is
// appended. Microphone blocks also go to voice follow as they are read, whatever the writer's state.
// One recorder per take: one start, one stop.
//
// Sound never waits for the picture: it is encoded and muxed on its own queue as it arrives, so the file's
// sound keeps pace with the clock however far the picture encoder falls behind. When the machine cannot keep
// up, waiting pictures are dropped; sound is not.
//
// Threading: frames arrive on the grabber thread and sound on the sound server's threads. Pictures are
// converted, encoded and appended on the writer queue, sound on the sound queue; the writer muxes both
// under its own lock. `onFailure` is called on either queue (a source that stops is reported on the sound
// queue, whatever the picture's backlog); the caller hops to its own thread. The stop
// runs on the take's pool and needs only that pool and the recorder's own queues, so the owner may let go
// of the recorder at any moment, on any thread but the recorder's queues and its sources' threads:
// destroying it waits for a stop under way to finish the movie (a stop no pool thread took yet runs on the
// destroying thread), and stops and finishes a take that was started but never stopped.
class ScreenRecorder {
public:
    struct Options {
        ScreenDisplay display;
        bool captureMicrophone = true;
        bool captureSystemAudio = true;
        std::optional<QString> microphoneDeviceID; // nothing: the default input
        std::optional<int> targetHeight;
        int frameRate = ScreenFrameRate::perSecond;
        bool showsCursor = true;
    };

    class RecorderError {
    public:
        // `sourceStopped`: the screen or a sound source ended during the take; its reason is the sentence.
        // `movieLost`: the movie was written whole, but its folder was moved away or deleted meanwhile and the
        // movie can no longer be found.
        enum class Kind { writerFailed, captureFailed, screenPermissionStale, diskFull, sourceStopped, movieLost };
        static RecorderError writerFailed(QString detail) { return {Kind::writerFailed, std::move(detail)}; }
        // `kept`: "mm:ss in <file name>", what the movie holds up to the failure.
        static RecorderError diskFull(QString kept) { return {Kind::diskFull, std::move(kept)}; }
        static RecorderError captureFailed(QString detail) { return {Kind::captureFailed, std::move(detail)}; }
        static RecorderError screenPermissionStale() { return {Kind::screenPermissionStale, {}}; }
        static RecorderError sourceStopped(QString reason) { return {Kind::sourceStopped, std::move(reason)}; }
        // `movie`: the movie's file name.
        static RecorderError movieLost(QString movie) { return {Kind::movieLost, std::move(movie)}; }

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
    // were written: the file keeps everything up to the last good sample), and the failure if any. The movie
    // is where it lies now: a folder renamed or moved while the take recorded takes it along.
    struct StopResult {
        std::optional<QString> url;
        std::optional<RecorderError> error;
    };

    struct Sources {
        std::unique_ptr<ScreenCapture> screen;
        std::unique_ptr<AudioCapture> microphone;
        std::unique_ptr<AudioCapture> systemAudio;
        SpeechAudioSink* speech = nullptr;
        // Runs on the writer queue before each picture is encoded; tests make a slow encoder with it.
        std::function<void()> beforePictureEncode;
    };

    // Frames of the take's own time: what the grabber caught or missed while the take's clock was paused is
    // no part of the take and counts nowhere.
    struct Statistics {
        int64_t framesWritten = 0;
        int64_t framesDropped = 0; // the writer fell behind: the oldest waiting frames went
        // The grabber was still busy when its tick came. The ticks missed before a grab count with it; those
        // after the last grab are added at the stop.
        int64_t framesMissed = 0;
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
    // they deliver before start() goes only to voice follow; a source that stops before start() (the sound
    // server went away) makes start() fail with its reason.
    std::optional<RecorderError> openSound(const Options& options);
    // openSound(), then opens the encoders for the options' display, so start() only names the file and
    // starts the picture. Blocks: call it off the main thread, while the countdown runs.
    std::optional<RecorderError> prepare(const Options& options);
    // Starts the picture now; this moment is the take's start: sound from before it is left out. Opens the
    // sound sources and the encoders itself when they were not opened ahead.
    std::optional<RecorderError> start(const Options& options, const QString& rawPath);
    // Stops the sources, then finishes the movie behind every sample already delivered. A second call
    // returns the first one's future.
    QFuture<StopResult> stop();

    QSize pixelSize() const { return pixelSize_; }
    // The root pixels the grabber was started on, filmed as long as their display stays as it was.
    QRect sourceRect() const { return sourceRect_; }
    Statistics statistics() const;
    std::function<void(const RecorderError&)> onFailure;

private:
    // Sound of each track kept while the first frame is on its way (the encoder is open by then, so it
    // comes within a frame or two; a grab on a busy machine may take longer).
    static constexpr double soundHeldBeforeFirstFrameSeconds = 4.0;
    // Sound a track may have waiting to be written before the picture waits for it.
    static constexpr int64_t soundWaitingBoundMicroseconds = 1'000'000;

    std::optional<RecorderError> openWriter(const Options& options, const QSize& size);
    void deliverFrame(const MediaSample& sample);
    void deliverAudio(const MediaSample& sample, Kind kind);
    void writeWaitingFrames();
    void handleFrame(const MediaSample& sample);
    void handleSound(const MediaSample& sample, Kind kind);
    void writeHeldSound();
    void writeSound(const MediaSample& sample, Kind kind);
    void appendSound(MovieWriterInput& input, const MediaSample& retimed, Kind kind, const MediaTime& takeTime);
    bool writerStopped(Kind kind, const MediaSample& sample);
    void countSoundWaiting(Kind kind, const MediaSample& sample, int sign);
    void waitForSound();
    void reportWriteFailure(int kind, const MediaTime& at);
    // The writer's failure as the take tells it: a full disk with what the movie holds up to its newest
    // picture, else `reason`.
    RecorderError writerFailure(const QString& reason) const;
    void reportFailure(const RecorderError& error);
    // A sound source stopped (any thread): remembered for the start, reported to the take.
    void soundSourceLost(const QString& reason);
    std::optional<QString> soundLost() const;
    // The stop's work, on the calling thread.
    StopResult stopAndFinish();
    StopResult finishWriting();
    // Adds the grabber's ticks missed since the last count up to `until`, a grab or the stop, as far as the
    // take's clock ran meanwhile.
    void countMissedTicks(const MediaTime& until);
    void logFrameAccounting() const;
    void stopSources();
    RecorderError failStart(const QString& reason);
    void cancelWriter();

    RecordingClock& clock_;
    Sources sources_;

    // Made by prepare() or start() before any sample is accepted, only read afterwards (the writer itself is
    // thread-safe); start() and stop() come from one thread at a time.
    std::unique_ptr<MovieWriter> writer_;
    MovieWriterInput* videoInput_ = nullptr;
    MovieWriterInput* micInput_ = nullptr;
    MovieWriterInput* systemInput_ = nullptr;
    QSize writerSize_; // the picture size the encoder was opened for
    QString rawPath_;
    QSize pixelSize_;
    QRect sourceRect_;
    bool started_ = false;
    bool soundOpen_ = false;
    std::optional<QFuture<StopResult>> stopping_; // the stop asked for; the owner's thread

    // Any thread.
    std::atomic<bool> accepting_{false}; // start() named the file: samples now belong to the take
    std::atomic<bool> sessionOpen_{false}; // the first picture started the clock and the session
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> failureReported_{false};
    std::atomic<double> lastFrameSeconds_{-1}; // take time of the newest written picture, for the disk-full text
    std::atomic<int64_t> framesWritten_{0};
    std::atomic<int64_t> framesDropped_{0};
    std::atomic<int64_t> framesMissed_{0};
    std::atomic<int64_t> framesWhilePaused_{0}; // grabbed while paused and left out at once
    // Frames and sound that came after the writer failed: said in one line at the stop.
    std::atomic<int64_t> framesAfterFailure_{0};
    std::atomic<int64_t> soundAfterFailureMicroseconds_[2]{}; // microphone, system audio
    // The reason of the first sound source that stopped, set on its backend's thread.
    mutable std::mutex soundLostLock_;
    std::optional<QString> soundLost_;

    // Sound delivered but not yet written, per track (microphone, system audio), in microseconds. While
    // either holds more than a second the picture waits: sound never falls behind for the picture's sake.
    std::array<std::atomic<int64_t>, 2> soundWaitingMicroseconds_{};
    std::mutex soundWaitingLock_;
    std::condition_variable soundCaughtUp_;

    // Writer queue only.
    MediaTime anchor_; // host time start() was called, for the log of when the first picture came
    std::optional<MediaTime> lastFrameWritten_;
    double longestFrameGap_ = 0; // seconds between two written pictures
    int64_t frameGapsOver50ms_ = 0;
    double waitedForSoundSeconds_ = 0;
    int frameRate_ = ScreenFrameRate::perSecond;

    // Sound queue only: per track, the newest written block and what waits for the first picture.
    std::map<int, MediaTime> lastSoundWritten_;
    PendingAudioQueue beforeFirstFrameMicrophone_{QStringLiteral("microphone"), soundHeldBeforeFirstFrameSeconds};
    PendingAudioQueue beforeFirstFrameSystem_{QStringLiteral("system audio"), soundHeldBeforeFirstFrameSeconds};

    // Grabber thread; the stop's once the screen stopped: the grabber's missed ticks counted so far, and the
    // host time up to which they were.
    int64_t missedSeen_ = 0;
    MediaTime lastGrab_;

    // Grabber thread and writer queue: frames waiting for the writer, oldest first, and whether a writer
    // queue item is on its way to take them.
    std::mutex framesLock_;
    std::deque<MediaSample> framesWaiting_;
    size_t framesWaitingBytes_ = 0;
    bool framesScheduled_ = false;

    // Declared last so they are destroyed first, the microphone queue before the sound queue it feeds: what
    // is still queued runs while the fields above are alive (the destructor drains them before that).
    DispatchQueue writerQueue_{"com.quorrel.festrin.writer"};
    DispatchQueue soundQueue_{"com.quorrel.festrin.sound"};
    DispatchQueue micQueue_{"com.quorrel.festrin.mic"};
};
