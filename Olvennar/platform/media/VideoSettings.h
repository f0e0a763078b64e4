#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

// What a video writer input encodes to.
struct VideoSettings {
    enum class Codec { hevc, h264 };
    // How a picture of another size than the track's is scaled on its way into the encoder, in the same
    // pass that converts it to the encoder's YUV.
    enum class Scaling { bicubic, lanczos };

    Codec codec = Codec::h264;
    int width = 0;
    int height = 0;
    int64_t averageBitRate = 0; // bits per second; 0 leaves the encoder's quality default
    int maxKeyFrameInterval = 0; // frames; 0 leaves the encoder default
    bool allowFrameReordering = false; // false: no B-frames, frames leave the encoder in presentation order
    int expectedFrameRate = 30; // rate-control hint; timestamps still come from the samples
    std::string preset; // x264/x265 preset, e.g. "ultrafast"; empty = encoder default
    std::string tune; // e.g. "zerolatency"; empty = none
    // Try hevc_vaapi / h264_vaapi first; falls back to x265/x264 when no VAAPI device encodes.
    bool preferHardware = false;
    Scaling scaling = Scaling::bicubic;
    // Software encoder threads; 0 leaves the encoder's choice (x264: one and a half per core, each holding
    // its own frames).
    int encoderThreads = 0;
    // x265 only. True for a take's encoder: a worker pool of one thread per core this process may use and a
    // few frames side by side (X265Threading), every thread at the priority of the thread that opens the
    // encoder. False leaves x265's own choice.
    bool takeThreading = false;
    // Display matrix (16.16 / 2.30 fixed point, as stored in the file); nothing = identity.
    std::optional<std::array<int32_t, 9>> displayMatrix;
};

// What an audio writer input encodes to (AAC).
struct AudioSettings {
    int sampleRate = 48000;
    int channels = 2;
    int64_t bitRate = 192000;
};
