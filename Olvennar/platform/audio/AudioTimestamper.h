#pragma once

#include "platform/media/MediaSample.h"
#include "platform/media/SoundStretcher.h"

#include <QString>

#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

// Host-clock time of captured sound, as one continuous timeline. Each block is measured when it is read
// (now − latency − its duration); scheduling only ever delays a reading, so the earliest measurement of a
// stretch of sound is the truest one.
//
// Settling: a stream that just opened reports a latency that is wrong for a few seconds (stuck high, then
// falling to the real one) while its samples flow in real time. Until the measurements agree with each
// other and the latency is plausible (or `settleLimit` passed) the blocks are held; then every held block is
// placed by sample count back from the settled measurement and released, so start-up latency never reaches
// a take as a gap.
//
// Settled: blocks follow each other by sample count; the sound card's clock drifting from the host's is
// followed by stretching the sound (at most 0.1 %) with a small controller on the earliest measurement of
// each second, never by inserting silence or dropping sound. A hole the server reports or an overflow steps
// the timeline; a stream moved to another source (or whose source woke) settles again as it did at the start.
//
// A block measured far after its place is either read late (the reading thread or the whole machine was
// held up: the sound waited in the server and arrives in a burst) or follows sound that never came (a
// source that stopped, a server that kept only part of a long hold-up). Only the blocks that follow tell:
// they are held in place by count until one measures near its place again (a late read: nothing moves) or
// the reads come in real time again still late, the lateness level (lost sound: the timeline steps by what
// was lost, the gap where the burst ended). Lateness that rises while a backlog drains is a later hold-up,
// not a loss, and the time limit never turns sound still read late into a step. A step forward leaves a gap
// the writers fill with silence, so later sound stays where it was heard; a step is said in `Fed::note`.
//
// One thread at a time (the capture's reading thread).
class AudioTimestamper {
public:
    struct Fed {
        // Stamped (and stretched) blocks ready to deliver, oldest first.
        std::vector<MediaSample> blocks;
        // Something worth a log line (settling done, a step); empty otherwise.
        QString note;
    };
    static constexpr int64_t settleLimit = 4'000'000'000; // nanoseconds after the first block
    static constexpr double largestStretch = 0.001;
    // A block measured this much after its place on the timeline was read late or follows a break in the
    // sound, far beyond what scheduling or a wrong latency report moves a measurement.
    static constexpr int64_t breakLimit = 200'000'000;
    // Late blocks are held all together no longer than this while the reads catch up; after it, those that
    // can no longer be where lost sound came again go out by count, and at most this much sound stays held.
    static constexpr int64_t checkLimit = 3'000'000'000;

    AudioTimestamper(int sampleRate, int channels);

    // A block of `frames` interleaved frames read at `nowNanoseconds`, `latencyNanoseconds` after its end.
    Fed feed(int64_t nowNanoseconds, int64_t latencyNanoseconds, const float* samples, int64_t frames);
    // A hole of `frames` the server reported: nothing was recorded there and the timeline steps over it.
    void skip(int64_t frames);
    // The server threw sound away: the next block starts where it is measured.
    void resynchronize() { resynchronize_ = true; }
    // The stream reads another source now (or its source was suspended or woke): what it hears from here is
    // held while the latency settles again, then the timeline goes on from that measurement. `reason` ends
    // the note ("after …").
    void resettle(const QString& reason);
    // Releases what is held as if it had settled now (the stream is closing).
    Fed flush();
    bool settled() const { return settled_; }
    // Output frames per input frame now applied.
    double stretchRatio() const { return ratio_; }

private:
    struct Held {
        std::vector<float> samples;
        int64_t outputFrame = 0; // frames (and holes) before it
    };
    struct Window {
        int64_t earliest = 0; // earliest (measured start − counted start) of a tenth of a second
        int64_t latency = 0; // its largest reported latency
    };
    // A block placed by count while a late block is checked, and how late it was measured there.
    struct Checked {
        std::vector<float> samples;
        int64_t start = 0;
        int64_t lateness = 0;
    };
    Fed feedBlock(int64_t nowNanoseconds, int64_t latencyNanoseconds, const float* samples, int64_t frames);
    bool steady() const;
    Fed check(int64_t nowNanoseconds, int64_t lateness, const float* samples, int64_t frames);
    bool caughtUp() const;
    // Ends a check with a step of `lost` where the sound came again, said in the note.
    void stepChecked(int64_t lost, Fed& fed);
    // Past the time limit: gives out by count what can no longer be where lost sound came again.
    void releaseBeforeLeast(Fed& fed);
    // Ends a check: the held blocks go out, those from the first measured `lost` late on moved by it.
    void releaseChecked(int64_t lost, Fed& fed);
    void hold(int64_t measuredStart, int64_t latency, const float* samples, int64_t frames);
    Fed settle(int64_t nowNanoseconds, int64_t latency, bool forced);
    // The stretch and what the follower learnt start again (a new place on the timeline, or a new clock).
    void followAfresh();
    MediaSample place(std::vector<float> samples, int64_t startNanoseconds) const;
    // The duration of `frames` frames, carrying the sub-nanosecond rest so the stamps never drift by rounding.
    int64_t advance(int64_t frames);
    void follow(int64_t errorNanoseconds, int64_t frames);

    int sampleRate_;
    int channels_;
    SoundStretcher stretcher_;

    // Settling.
    bool settled_ = false;
    int64_t firstReadAt_ = -1;
    std::deque<Held> held_;
    int64_t outputFrames_ = 0; // frames since the first block, holes included
    int64_t windowFrames_ = 0;
    int64_t windowEarliest_ = 0; // earliest (measured start − counted start) of the window
    int64_t windowLatency_ = 0; // largest latency of the window
    std::deque<Window> windows_; // the last second's windows
    // Settling again: where the timeline stood before, and why.
    std::optional<int64_t> resettledFrom_;
    QString resettleReason_;

    // Settled.
    int64_t next_ = 0; // where the next output frame starts
    int64_t remainder_ = 0;
    bool resynchronize_ = false;
    double ratio_ = 1.0;
    double integral_ = 0; // seconds × seconds of error
    int64_t errorFrames_ = 0;
    int64_t errorEarliest_ = 0;

    // Checking a late block: what was read since, by count, and the earliest lateness of each tenth of a
    // second of it. Blocks released outside a feed (a resettle during a check) wait in `ready_`.
    std::vector<Checked> checked_;
    int64_t checkStartedAt_ = 0;
    int64_t checkLatest_ = 0; // the most a block of the check measured late
    int64_t checkWindowFrames_ = 0;
    int64_t checkWindowEarliest_ = 0;
    std::deque<int64_t> checkWindows_;
    std::vector<MediaSample> ready_;
};
