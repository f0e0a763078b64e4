#pragma once

#include "platform/media/MediaError.h"
#include "platform/media/PixelBuffer.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <variant>
#include <vector>

class MovieReader;
class MovieReaderOutput;

// Decodes a movie from a start time on a thread of its own into two short queues: BGRA pictures and 48 kHz
// stereo sound. It decodes whichever queue lags in time and waits while both are full, so memory stays at a
// few frames however long the movie is. Destruction stops and joins the thread.
//
// Threading: the picture side (nextFrameTime, takeFrameDue) belongs to one consumer thread, the sound side
// (pullSound) to another; each queue is guarded by `lock_`.
class MovieDecodeRun {
public:
    static constexpr int sampleRate = 48000;
    static constexpr int channels = 2;
    static constexpr size_t maxFrames = 8;
    static constexpr int64_t maxSoundFrames = sampleRate / 2;

    struct Frame {
        std::shared_ptr<const PixelBuffer> pixels;
        double time = 0; // seconds from the movie's start
    };

    // withSound false leaves the sound track undecoded (a still for a paused seek, or a benchmark).
    static std::variant<std::unique_ptr<MovieDecodeRun>, MediaError> start(const QString& path, double startSeconds, bool withSound);
    ~MovieDecodeRun();
    MovieDecodeRun(const MovieDecodeRun&) = delete;
    MovieDecodeRun& operator=(const MovieDecodeRun&) = delete;

    bool hasSound() const { return soundOutput_ != nullptr; }
    double duration() const { return duration_; }
    double frameDuration() const { return frameDuration_; }

    // Picture side. The time of the oldest queued frame; none while the queue is empty.
    std::optional<double> nextFrameTime();
    // The newest queued frame at or before the clock, dropping the older ones; none when none is due yet.
    std::optional<Frame> takeFrameDue(double clock);
    // Waits for the next frame in order (benchmarks and stills); none at the end.
    std::optional<Frame> waitForFrame();
    // Every picture was decoded and taken.
    bool picturesEnded();
    // Sound side: fills up to `frames` frames; 0 when none is queued.
    int64_t pullSound(float* out, int64_t frames);
    bool soundEnded();
    // Frames the run decoded and skipped because they were late.
    int64_t droppedFrames() const { return dropped_.load(); }

private:
    MovieDecodeRun() = default;
    void decodeLoop();

    std::unique_ptr<MovieReader> reader_;
    MovieReaderOutput* videoOutput_ = nullptr;
    MovieReaderOutput* soundOutput_ = nullptr;
    double duration_ = 0;
    double frameDuration_ = 1.0 / 30;
    std::atomic<int64_t> dropped_{0};

    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<Frame> frames_;
    std::deque<std::vector<float>> sound_;
    size_t soundOffset_ = 0; // samples of sound_.front() already pulled
    int64_t queuedSoundFrames_ = 0;
    bool videoDone_ = false;
    bool soundDone_ = false;
    bool stopping_ = false;
    std::thread thread_; // last: joined first
};
