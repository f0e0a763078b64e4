#pragma once

#include "platform/audio/AudioCapture.h"
#include "platform/system/DispatchQueue.h"
#include "platform/system/ErrorInfo.h"

#include <QFuture>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class MovieWriter;
class MovieWriterInput;
class SpeechAudioSink;

// Records one microphone into a mono AAC .m4a (48 kHz, 128 kbit/s) for voice takes, and hands the same
// blocks to voice follow while it records. No take clock, no pause: the file runs from the first block to
// the stop. One recorder is reused for every voice take.
//
// Threading: start and stop from the GUI thread; blocks are fed and written on the "voice-track.audio"
// queue. `onFailure` is called on that queue. The stop runs on the take's pool and needs only that pool
// and the queue, so the owner may let go of the recorder at any moment, on any thread but the queue and the
// sound server's: destroying it waits for a stop under way to finish the file (a stop no pool thread took
// yet runs on the destroying thread), and stops and finishes a take that was started but never stopped.
class AudioOnlyRecorder {
public:
    class RecorderError {
    public:
        static RecorderError cannotUse(QString text) { return RecorderError(std::move(text)); }
        const QString& errorDescription() const { return text_; }
        ErrorInfo info() const { return {QStringLiteral("AudioOnlyRecorder.RecorderError"), 0, text_}; }

    private:
        explicit RecorderError(QString text) : text_(std::move(text)) {}
        QString text_;
    };

    // The microphone to use: a source name (nothing: the default input) and the name people see.
    struct Microphone {
        std::optional<QString> uniqueID;
        QString localizedName;
    };

    AudioOnlyRecorder(std::unique_ptr<AudioCapture> capture, SpeechAudioSink* speech);
    ~AudioOnlyRecorder();
    AudioOnlyRecorder(const AudioOnlyRecorder&) = delete;
    AudioOnlyRecorder& operator=(const AudioOnlyRecorder&) = delete;

    // Opens the microphone and returns once it delivers (or failed). Blocks for as long as the device needs:
    // call it off the main thread, before start(), which then keeps it. What it delivers before start() goes
    // only to voice follow; a microphone that stops before start() (the sound server went away) is
    // reported through onFailure and makes start() fail with its reason.
    std::optional<RecorderError> openMicrophone(const Microphone& microphone);
    // Closes a microphone opened for a take that did not start.
    void closeMicrophone();
    // Writes from the next block on; opens the microphone itself when openMicrophone() was not called. A
    // stop still under way ends first.
    std::optional<RecorderError> start(const Microphone& microphone, const QString& path);
    // The file where it lies now (a folder renamed while it recorded takes it along), or nothing when no
    // usable file exists. A failure after sound was written keeps the file and is reported through onFailure.
    QFuture<std::optional<QString>> stop();

    bool isRecording() const { return recording_.load(); }
    const QString& microphoneName() const { return microphoneName_; }
    std::function<void(const ErrorInfo&)> onFailure;

private:
    void handle(const MediaSample& block);
    // The stop's work, on the calling thread.
    std::optional<QString> stopAndFinish();
    std::optional<QString> finishOnQueue();
    void fail(const ErrorInfo& error);
    std::optional<RecorderError> openCapture(const Microphone& microphone, const QString& name);
    // The error of a microphone opened ahead that stopped since (it is closed then); nothing while it runs.
    std::optional<RecorderError> stoppedAhead(const QString& name);
    // The part of a block from `start` on; nothing when the whole block lies before it.
    static std::optional<MediaSample> partFrom(const MediaSample& block, const MediaTime& start);

    std::unique_ptr<AudioCapture> capture_;
    SpeechAudioSink* speech_;
    DispatchQueue queue_{"voice-track.audio"};

    // Queue only.
    std::unique_ptr<MovieWriter> writer_;
    MovieWriterInput* input_ = nullptr;
    bool sessionOpen_ = false;
    bool blocksWritten_ = false;
    bool failureReported_ = false;
    // When the microphone was opened ahead of the take: the take's start on the host clock.
    std::optional<MediaTime> startAnchor_;

    std::atomic<bool> recording_{false};
    // The capture runs (opened ahead of a take or by start()); GUI thread, or the worker of openMicrophone().
    bool captureOpen_ = false;
    QString url_;
    QString microphoneName_;
    // Why the open capture stopped, set on the sound server's thread.
    std::mutex lostLock_;
    std::optional<QString> lost_;
    QFuture<std::optional<QString>> stopping_; // the newest stop of a take; GUI thread
};
