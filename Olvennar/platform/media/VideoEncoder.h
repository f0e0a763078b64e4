#pragma once

#include "platform/media/LibavHandles.h"
#include "platform/media/MediaError.h"
#include "platform/media/PictureConversion.h"
#include "platform/media/VideoSettings.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>

class PixelBuffer;
class PlanarPicture;

// Internal: BGRA pictures → YUV (PictureConversion) → x265/x264 (or VAAPI) packets. One thread at a time.
class VideoEncoder {
public:
    using PacketSink = std::function<std::optional<MediaError>(AVPacket*)>;
    static constexpr AVRational timeBase {1, 90000};

    static std::variant<std::unique_ptr<VideoEncoder>, MediaError> open(const VideoSettings& settings, bool globalHeader);
    ~VideoEncoder();

    AVCodecContext* context() const { return codec_.get(); }
    const std::string& encoderName() const { return name_; }
    // `pts` in `timeBase`. Pictures of another size are scaled to the encoder's size.
    std::optional<MediaError> encode(const PixelBuffer& picture, int64_t pts, const PacketSink& sink);
    // A picture already converted to the encoder's own format and size is sent as it is.
    std::optional<MediaError> encode(const PlanarPicture& picture, int64_t pts, const PacketSink& sink);
    std::optional<MediaError> flush(const PacketSink& sink);

private:
    VideoEncoder() = default;
    std::optional<MediaError> drain(const PacketSink& sink);

    Libav::CodecContext codec_;
    std::unique_ptr<PictureConversion> conversion_;
    Libav::Frame frame_;
    Libav::Packet packet_;
    Libav::Frame hardwareFrame_;
    Libav::Frame planarFrame_;
    AVBufferRef* hardwareDevice_ = nullptr;
    std::string name_;
};
