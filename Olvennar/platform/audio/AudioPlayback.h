#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

// One stream of interleaved float sound to the default output. The backend asks for sound on its own thread;
// the sound heard so far is the clock a player shows its pictures by. A stream that runs out keeps its clock
// going in silence, so the pictures after the end of the sound still come on time.
class AudioPlayback {
public:
    // Fills out with up to `frames` frames and returns how many it filled; 0 when nothing is ready yet.
    using Pull = std::function<int64_t(float* out, int64_t frames)>;

    virtual ~AudioPlayback() = default;
    // Opens the stream and starts playing; the error sentence when the sound server refuses.
    virtual std::optional<QString> start(int sampleRate, int channels, Pull pull) = 0;
    // Seconds of the stream heard so far (the output's latency taken off); 0 before it starts.
    virtual double playedSeconds() const = 0;
    // Ends the stream at once: the sound stops and the server forgets it. The destructor does the same.
    virtual void stop() = 0;
};
