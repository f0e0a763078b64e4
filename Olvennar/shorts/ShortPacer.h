#pragma once

#include <cstdint>
#include <optional>

// Resamples raw camera frames to a constant frame rate: output frame n (at start + n/fps) shows the newest
// raw frame that begins at most half an output frame after it, so a faster camera drops frames and a slower
// or paused one repeats them. The output ends a quarter frame before the range's end, or before the end of
// the last raw frame's own span when the frames run out first.
//
// Pure: the caller reads frames when told and keeps the pictures; the pacer sees only their timing. It looks
// at most one frame ahead, so the caller never holds more than two.
class ShortPacer {
public:
    struct Timing {
        double presentation = 0; // seconds
        double duration = 0; // seconds; not finite or not above 0 counts as one output frame
    };
    enum class Decision {
        readFrame, // read the next raw frame and hand it (or its absence) to frameRead()
        showHeld, // write output frame framesWritten() from the held raw frame, then call frameShown()
        end, // the output is complete
    };

    // Seconds of the range; frames per second above 0.
    ShortPacer(double start, double end, int framesPerSecond);

    Decision next();
    // The answer to readFrame: the frame's timing, or nothing when the source has no further frame.
    void frameRead(std::optional<Timing> timing);
    void frameShown() { ++framesWritten_; }

    int64_t framesWritten() const { return framesWritten_; }
    // Which raw frame is held, counted from 0 over the frames read; -1 before the first. Frames before it are
    // no longer needed.
    int64_t heldFrame() const { return heldIndex_; }

private:
    enum class Slot { held, upcoming };

    double start_;
    double end_;
    double frameDuration_;
    int64_t framesWritten_ = 0;
    std::optional<Timing> held_;
    std::optional<Timing> upcoming_;
    int64_t heldIndex_ = -1;
    int64_t readCount_ = 0;
    bool sourceEnded_ = false;
    bool ended_ = false;
    Slot filling_ = Slot::held;
};
