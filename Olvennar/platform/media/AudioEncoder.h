#pragma once

#include "platform/media/LibavHandles.h"
#include "platform/media/MediaError.h"
#include "platform/media/VideoSettings.h"
#include "platform/system/MediaTime.h"

#include <functional>
#include <memory>
#include <optional>
#include <variant>

struct AudioBlock;

// Internal: interleaved float blocks → swresample → AVAudioFifo → AAC packets. One thread at a time.
// Blocks are placed by their times: a gap longer than 10 ms is filled with silence and an overlap is cut,
// so the sound stays on the take timeline when the source skips or repeats.
class AudioEncoder {
public:
    using PacketSink = std::function<std::optional<MediaError>(AVPacket*)>;

    static std::variant<std::unique_ptr<AudioEncoder>, MediaError> open(const AudioSettings& settings, bool globalHeader);

    AVCodecContext* context() const { return codec_.get(); }
    // `start` on the session timeline (may be negative: the part before 0 is cut).
    std::optional<MediaError> encode(const AudioBlock& block, const MediaTime& start, const PacketSink& sink);
    std::optional<MediaError> flush(const PacketSink& sink);

private:
    AudioEncoder() = default;
    std::optional<MediaError> configureResampler(const AudioBlock& block);
    std::optional<MediaError> pushConverted(const float* samples, int frames);
    std::optional<MediaError> encodeFifo(bool final, const PacketSink& sink);
    std::optional<MediaError> drain(const PacketSink& sink);

    Libav::CodecContext codec_;
    Libav::Swr swr_;
    Libav::AudioFifo fifo_;
    Libav::Frame frame_;
    Libav::Packet packet_;
    int inputRate_ = 0;
    int inputChannels_ = 0;
    bool started_ = false;
    int64_t nextPosition_ = 0; // output-rate sample index (session timeline) the FIFO's end stands for
    int64_t encodedPosition_ = 0; // output-rate sample index of the FIFO's head
};
