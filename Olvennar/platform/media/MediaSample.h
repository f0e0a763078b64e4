#pragma once

#include "platform/media/PixelBuffer.h"
#include "platform/media/PlanarPicture.h"
#include "platform/system/MediaTime.h"

#include <cstdint>
#include <memory>
#include <vector>

// Interleaved float PCM.
struct AudioBlock {
    int sampleRate = 48000;
    int channels = 2;
    std::vector<float> samples; // frames × channels
    int64_t frameCount() const { return channels > 0 ? static_cast<int64_t>(samples.size()) / channels : 0; }
};

// One compressed access unit as a demuxer or encoder produced it.
struct EncodedPacket {
    std::vector<uint8_t> data;
    bool keyFrame = false;
};

struct SampleTiming {
    MediaTime duration;
    MediaTime presentationTime;
    MediaTime decodeTime;
};

// A timed sample: a picture (BGRA, or already in the encoders' planar format), a block of sound or an encoded
// packet. Copies share the payload; retiming
// copies only the timing entries.
struct MediaSample {
    enum class Kind { video, audio, packet };

    Kind kind = Kind::video;
    std::vector<SampleTiming> timing;
    std::shared_ptr<const PixelBuffer> pixels;
    std::shared_ptr<const PlanarPicture> planar; // a video sample has pixels or planar
    std::shared_ptr<const AudioBlock> audio;
    std::shared_ptr<const EncodedPacket> packet;

    MediaTime presentationTime() const { return timing.empty() ? MediaTime::invalid() : timing.front().presentationTime; }
    MediaTime duration() const { return timing.empty() ? MediaTime::invalid() : timing.front().duration; }

    static MediaSample video(std::shared_ptr<const PixelBuffer> pixels, MediaTime pts, MediaTime duration = MediaTime::invalid())
    {
        MediaSample s = timedPicture(pts, duration);
        s.pixels = std::move(pixels);
        return s;
    }
    static MediaSample video(std::shared_ptr<const PlanarPicture> planar, MediaTime pts, MediaTime duration = MediaTime::invalid())
    {
        MediaSample s = timedPicture(pts, duration);
        s.planar = std::move(planar);
        return s;
    }
    static MediaSample sound(std::shared_ptr<const AudioBlock> audio, MediaTime pts)
    {
        MediaSample s;
        s.kind = Kind::audio;
        const int rate = audio && audio->sampleRate > 0 ? audio->sampleRate : 1;
        s.timing = {{MediaTime(audio ? audio->frameCount() : 0, rate), pts, MediaTime::invalid()}};
        s.audio = std::move(audio);
        return s;
    }

private:
    static MediaSample timedPicture(MediaTime pts, MediaTime duration)
    {
        MediaSample s;
        s.kind = Kind::video;
        s.timing = {{duration, pts, MediaTime::invalid()}};
        return s;
    }
};
