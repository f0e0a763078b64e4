#pragma once

#include "platform/audio/AudioCapture.h"
#include "platform/audio/AudioTimestamper.h"
#include "platform/audio/PulseRecordBlocks.h"
#include "platform/audio/PulseStreamHandle.h"

#include <pulse/stream.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class PulseConnection;

// One PulseAudio record stream on its own connection and mainloop thread; waitUntilFlowing() returns once
// the first block was read (or after three seconds without one, logged). Blocks of about 10 ms are stamped
// on the host clock as one continuous stream (see AudioTimestamper: held while the stream's latency settles,
// stretched to follow the host clock, flushed on stop); a monitor source (system audio) is
// stamped without the source latency: its samples reach the monitor as the output renders them, which is
// when the application meant them to sound. A stream the server moves to another source (its own was
// unplugged) or whose source is suspended settles again, and its sound keeps its place on the host clock.
// The request's read handler gets every block as it is read, whether or not the timestamper holds it.
class PulseAudioCapture final : public AudioCapture {
public:
    PulseAudioCapture();
    ~PulseAudioCapture() override;

    std::optional<QString> start(const Request& request, BlockHandler onBlock, FailureHandler onFailure = {}) override;
    void waitUntilFlowing() override;
    void stop() override;
    QString sourceDescription() const override { return description_; }
    QString sourceName() const { return sourceName_; }
    bool isMonitor() const { return monitor_; }

private:
    // A block read after a stall, waiting until it is known whether the server kept the stall's sound.
    struct AfterStall {
        int64_t readAt = 0;
        int64_t latency = 0;
        std::vector<float> samples; // none: a hole the server reported
        int64_t frames = 0;
    };
    // After reads stopped: the server kept the sound meanwhile when the reads run this close to the stall
    // ahead of the clock within `burstWithin` of going on again.
    static constexpr int64_t keptWithin = 50'000'000;
    static constexpr int64_t burstWithin = 300'000'000;

    void readAvailable();
    void stamp(int64_t readAt, int64_t latency, const float* samples, int64_t frames);
    // After reads stopped: once the burst tells whether the server kept the stall's sound, the blocks read
    // since are stamped, settling again first when it did not.
    void checkStall(int64_t readAt);
    void stampAfterStall();
    // A copy of a block as read, stamped where it was measured.
    MediaSample readBlock(const PulseRecordBlocks::Block& block, int64_t latency) const;
    void overflowed();
    void moved();
    void suspendedChanged();
    // Nanoseconds from the newest recorded frame to now, as the stream reports it; nothing when it can't.
    std::optional<int64_t> streamLatency() const;
    void deliver(AudioTimestamper::Fed& fed);
    void waitForFirstBlock();
    void streamStateChanged();

    std::mutex stopLock_; // one stop at a time
    std::unique_ptr<PulseConnection> connection_;
    // Set and released with the mainloop lock held. The stream's callbacks do nothing once it is released:
    // a notice may already be on its way while stop() lets go of the connection.
    PulseStream stream_;
    BlockHandler onBlock_;
    BlockHandler onRead_;
    FailureHandler onFailure_;
    std::unique_ptr<AudioTimestamper> timestamper_;
    int sampleRate_ = 48000;
    int channels_ = 2;
    bool monitor_ = false;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> running_{false};
    static constexpr pa_usec_t firstBlockTimeoutMicroseconds = 3'000'000;
    // Mainloop thread, or start()/waitUntilFlowing() with the mainloop lock held.
    bool firstBlockRead_ = false;
    // The stream moved, its source was suspended or the reads stopped for a while: libpulse's interpolated
    // latency is off for a long while.
    bool reportedTimingOnly_ = false;
    int64_t lastReadAt_ = 0; // host nanoseconds of the last block read
    // The reads stopped this long, and what was read since they went on (both nanoseconds); 0: no stall.
    int64_t stalledFor_ = 0;
    int64_t resumedAt_ = 0;
    int64_t readSinceResumed_ = 0;
    std::vector<AfterStall> afterStall_;
    QString description_;
    QString sourceName_;
};
