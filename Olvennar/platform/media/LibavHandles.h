#pragma once

// Owning handles for every libav* object the media layer uses. Internal to platform/media: public headers
// keep FFmpeg out, so only .cpp files include this.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include "platform/media/MediaError.h"
#include "platform/system/MediaTime.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace Libav {

struct InputFormatFree {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
// An output context owns its AVIOContext only while open; closeOutput() closes it explicitly.
struct OutputFormatFree {
    void operator()(AVFormatContext* c) const
    {
        if (c->pb && !(c->oformat->flags & AVFMT_NOFILE))
            avio_closep(&c->pb);
        avformat_free_context(c);
    }
};
struct CodecContextFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsFree {
    void operator()(SwsContext* c) const { sws_freeContext(c); }
};
struct SwrFree {
    void operator()(SwrContext* c) const { swr_free(&c); }
};
struct AudioFifoFree {
    void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }
};
struct CodecParametersFree {
    void operator()(AVCodecParameters* p) const { avcodec_parameters_free(&p); }
};

using InputFormat = std::unique_ptr<AVFormatContext, InputFormatFree>;
using OutputFormat = std::unique_ptr<AVFormatContext, OutputFormatFree>;
using CodecContext = std::unique_ptr<AVCodecContext, CodecContextFree>;
using Frame = std::unique_ptr<AVFrame, FrameFree>;
using Packet = std::unique_ptr<AVPacket, PacketFree>;
using Sws = std::unique_ptr<SwsContext, SwsFree>;
using Swr = std::unique_ptr<SwrContext, SwrFree>;
using AudioFifo = std::unique_ptr<AVAudioFifo, AudioFifoFree>;
using CodecParameters = std::unique_ptr<AVCodecParameters, CodecParametersFree>;

// A channel layout that always holds a defined value. libav's copy and uninit free what a custom layout points
// at, so one left unset on the stack frees whatever the stack held.
class ChannelLayout {
public:
    ChannelLayout() = default;
    // The default layout for `channels` (an unspecified order when libav names none).
    explicit ChannelLayout(int channels) { av_channel_layout_default(&layout_, channels); }
    ~ChannelLayout() { av_channel_layout_uninit(&layout_); }
    ChannelLayout(const ChannelLayout&) = delete;
    ChannelLayout& operator=(const ChannelLayout&) = delete;

    // A libav error code, or 0.
    int copyFrom(const AVChannelLayout& source) { return av_channel_layout_copy(&layout_, &source); }
    AVChannelLayout* get() { return &layout_; }
    const AVChannelLayout* get() const { return &layout_; }

private:
    AVChannelLayout layout_ {};
};

// Encoders and muxers chat at info level on stderr; keep only errors. Process-wide, set on first use.
void quietLogs();

inline Frame makeFrame() { return Frame(av_frame_alloc()); }
inline Packet makePacket() { return Packet(av_packet_alloc()); }

inline QString errorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

inline MediaError failure(const QString& what, int code) { return {what + QStringLiteral(": ") + errorText(code), code}; }

// Hands each packet the encoder has ready to `sink` until it wants more input or has ended; an encoder error
// reads `failed` and the libav reason. The packet is emptied after each hand-over.
std::optional<MediaError> drainPackets(AVCodecContext* codec, AVPacket* packet,
    const std::function<std::optional<MediaError>(AVPacket*)>& sink, const QString& failed);

// Stream ticks ↔ exact media time. Time bases 1/N map exactly; others go through a 90 kHz scale.
inline MediaTime timeOf(int64_t ticks, AVRational base)
{
    if (base.num == 1)
        return MediaTime(ticks, base.den);
    return MediaTime(av_rescale(ticks, static_cast<int64_t>(base.num) * 90000, base.den), 90000);
}

inline int64_t ticksOf(const MediaTime& time, AVRational base)
{
    return av_rescale_rnd(time.value(), base.den, static_cast<int64_t>(time.timescale()) * base.num,
        static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
}

} // namespace Libav
