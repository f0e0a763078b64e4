#pragma once

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <functional>
#include <random>
#include <vector>

// A sound card as a record stream of the sound server shows it: a steady 440 Hz tone captured at the card's
// own rate (which may drift from the host clock), read in 10 ms blocks a real 10 ms after capture (plus
// scheduling jitter), with the latency the server reports beside each read (which may be wrong for a while
// after the stream opened, as real servers' are).
class SimulatedSoundCard {
public:
    static constexpr int64_t second = 1'000'000'000;
    static constexpr int64_t millisecond = 1'000'000;
    static constexpr int sampleRate = 48000;
    static constexpr int channels = 2;

    struct Read {
        int64_t now = 0;
        int64_t reportedLatency = 0;
        std::vector<float> samples;
        int64_t frames = 0;
    };

    int64_t start = 1000 * second; // host time of the first frame
    int64_t trueLatency = 10 * millisecond;
    double driftPartsPerMillion = 0; // the card's clock runs this much fast
    int64_t jitter = 0; // reads come up to this much late
    // Reads of the sound captured at a time come this much late besides (a busy machine's scheduling).
    std::function<int64_t(double elapsedSeconds)> delay;
    std::function<int64_t(double elapsedSeconds)> reportedLatency = [](double) { return 10 * millisecond; };
    float amplitude = 0.4f;
    double frequency = 440;
    int framesPerRead = 480;

    // The reported latency sticks at `from` for `stuckSeconds`, then falls straight to `to` at `settledAt`.
    static std::function<int64_t(double)> settling(int64_t from, int64_t to, double stuckSeconds, double settledAt)
    {
        return [=](double t) {
            if (t <= stuckSeconds)
                return from;
            if (t >= settledAt)
                return to;
            return from + static_cast<int64_t>((to - from) * (t - stuckSeconds) / (settledAt - stuckSeconds));
        };
    }

    // Host time card frame `frame` was captured.
    int64_t frameAt(int64_t frame) const
    {
        return start + static_cast<int64_t>(std::llround(static_cast<double>(frame) * second / (sampleRate * (1 + driftPartsPerMillion * 1e-6))));
    }
    // The card frame captured at host time `time`.
    int64_t frameOf(int64_t time) const
    {
        return std::llround(static_cast<double>(time - start) * sampleRate * (1 + driftPartsPerMillion * 1e-6) / second);
    }
    int64_t firstFrameAt() const { return start; }
    int64_t nextFrameAt() const { return frameAt(frame_); }
    double elapsedSeconds() const { return static_cast<double>(nextFrameAt() - start) / second; }

    Read next()
    {
        Read read;
        read.frames = framesPerRead;
        read.samples.resize(static_cast<size_t>(framesPerRead * channels));
        for (int i = 0; i < framesPerRead; ++i) {
            const double phase = 2 * M_PI * frequency * static_cast<double>(frame_ + i) / sampleRate;
            const float value = amplitude * static_cast<float>(std::sin(phase));
            for (int c = 0; c < channels; ++c)
                read.samples[static_cast<size_t>(i * channels + c)] = value;
        }
        frame_ += framesPerRead;
        int64_t late = jitter > 0 ? std::uniform_int_distribution<int64_t>(0, jitter)(random_) : 0;
        if (delay)
            late += delay(elapsedSeconds());
        const int64_t due = frameAt(frame_) + trueLatency;
        read.now = std::max(due + late, readableAt_);
        read.reportedLatency = reportedLatency(static_cast<double>(read.now - start) / second);
        if (read.now > due + late) {
            // Still reading what waited through a hold-up, one block right after the other.
            readableAt_ = read.now + readCost;
            if (waitCounts_)
                read.reportedLatency += read.now - due;
        }
        if (frame_ >= lostFrom_) {
            frame_ = std::max(frame_, lostTo_);
            lostFrom_ = lostTo_ = INT64_MAX;
        }
        return read;
    }
    // Frames captured and never delivered.
    void skip(int64_t frames) { frame_ += frames; }

    // The reading thread stops for `nanoseconds` after the last read (which may be inside the burst of an
    // earlier hold-up): the sound waits in the server and comes in a burst after it. `waitCounts`: the
    // reported latency grows by what waits (a microphone's counts what the server holds; the system sound's
    // counts only what reached the client). `keptSeconds`: the server holds at most this much unread sound,
    // and what was captured after that until the reads go on is lost.
    void holdUp(int64_t nanoseconds, bool waitCounts, double keptSeconds = 1e9)
    {
        const int64_t lastRead = std::max(frameAt(frame_) + trueLatency, readableAt_ - readCost);
        readableAt_ = lastRead + nanoseconds;
        waitCounts_ = waitCounts;
        // In frames, as a double: a server that keeps everything (1e9 s) would overflow in nanoseconds.
        const double kept = keptSeconds * sampleRate;
        const int64_t capturedUntil = frameOf(readableAt_ - trueLatency);
        if (static_cast<double>(capturedUntil - frame_) > kept) {
            lostFrom_ = frame_ + static_cast<int64_t>(kept);
            lostTo_ = capturedUntil;
        }
    }
    // Host time a read of a burst takes.
    int64_t readCost = 20'000;

private:
    int64_t frame_ = 0;
    int64_t readableAt_ = 0;
    bool waitCounts_ = false;
    int64_t lostFrom_ = INT64_MAX;
    int64_t lostTo_ = INT64_MAX;
    std::mt19937 random_{11};
};
