#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

// What the layout signals read of a screen recording: the compressed screen frames as stored (never
// decoded) and the first sound track as mono 8000 Hz float.
class LayoutSignalsMovieSource {
public:
    struct Packet {
        double time = 0; // presentation time in seconds; NaN when the packet has none
        int64_t size = 0; // bytes
        bool sync = true; // false for a frame predicted from earlier frames
    };

    virtual ~LayoutSignalsMovieSource() = default;

    // The movie's duration in seconds, when known.
    virtual std::optional<double> duration() = 0;
    // Hands every packet of the first video track to `sink` in file order. False when there is no video
    // track or reading did not run to the end.
    virtual bool readVideoPackets(const std::function<void(const Packet&)>& sink) = 0;
    // Hands the first audio track, decoded to mono 8000 Hz float, to `sink` in pieces. False when there is
    // no audio track or reading could not start.
    virtual bool readSpeechAudio(const std::function<void(const float* samples, size_t count)>& sink) = 0;
};
