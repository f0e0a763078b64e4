#include "platform/media/AudioEncoder.h"

#include "platform/media/MediaSample.h"

#include <cmath>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace {


constexpr double gapToleranceSeconds = 0.010;

} // namespace

std::variant<std::unique_ptr<AudioEncoder>, MediaError> AudioEncoder::open(const AudioSettings& settings, bool globalHeader)
{
    Libav::quietLogs();
    if (settings.sampleRate <= 0 || settings.channels <= 0 || settings.channels > 8)
        return MediaError {QStringLiteral("invalid audio format %1 Hz, %2 channels").arg(settings.sampleRate).arg(settings.channels), 0};
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (!codec)
        return MediaError {QStringLiteral("no AAC encoder"), 0};
    std::unique_ptr<AudioEncoder> encoder(new AudioEncoder());
    encoder->codec_.reset(avcodec_alloc_context3(codec));
    AVCodecContext* c = encoder->codec_.get();
    c->sample_fmt = AV_SAMPLE_FMT_FLTP;
    c->sample_rate = settings.sampleRate;
    av_channel_layout_default(&c->ch_layout, settings.channels);
    c->bit_rate = settings.bitRate;
    c->time_base = AVRational {1, settings.sampleRate};
    if (globalHeader)
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    const int rc = avcodec_open2(c, codec, nullptr);
    if (rc < 0)
        return Libav::failure(QStringLiteral("could not open the AAC encoder"), rc);
    encoder->fifo_.reset(av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, settings.channels, c->frame_size * 4));
    encoder->frame_ = Libav::makeFrame();
    encoder->packet_ = Libav::makePacket();
    return encoder;
}

std::optional<MediaError> AudioEncoder::configureResampler(const AudioBlock& block)
{
    if (swr_ && block.sampleRate == inputRate_ && block.channels == inputChannels_)
        return std::nullopt;
    Libav::ChannelLayout inLayout(block.channels);
    SwrContext* raw = nullptr;
    int rc = swr_alloc_set_opts2(&raw, &codec_->ch_layout, AV_SAMPLE_FMT_FLTP, codec_->sample_rate, inLayout.get(),
        AV_SAMPLE_FMT_FLT, block.sampleRate, 0, nullptr);
    if (rc < 0 || !raw)
        return Libav::failure(QStringLiteral("could not set up audio conversion"), rc);
    Libav::Swr swr(raw);
    av_opt_set_double(swr.get(), "rematrix_maxval", 1.0, 0);
    rc = swr_init(swr.get());
    if (rc < 0)
        return Libav::failure(QStringLiteral("could not set up audio conversion"), rc);
    swr_ = std::move(swr);
    inputRate_ = block.sampleRate;
    inputChannels_ = block.channels;
    return std::nullopt;
}

std::optional<MediaError> AudioEncoder::pushConverted(const float* samples, int frames)
{
    const int capacity = swr_get_out_samples(swr_.get(), frames);
    if (capacity <= 0 && frames > 0)
        return std::nullopt;
    Libav::Frame scratch = Libav::makeFrame();
    scratch->format = AV_SAMPLE_FMT_FLTP;
    scratch->nb_samples = std::max(capacity, 1);
    av_channel_layout_copy(&scratch->ch_layout, &codec_->ch_layout);
    scratch->sample_rate = codec_->sample_rate;
    if (av_frame_get_buffer(scratch.get(), 0) < 0)
        return MediaError {QStringLiteral("out of memory for audio"), 0};
    const uint8_t* in[1] = {reinterpret_cast<const uint8_t*>(samples)};
    const int converted = swr_convert(swr_.get(), scratch->extended_data, scratch->nb_samples, samples ? in : nullptr, frames);
    if (converted < 0)
        return Libav::failure(QStringLiteral("audio conversion failed"), converted);
    if (converted == 0)
        return std::nullopt;
    if (av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(scratch->extended_data), converted) < converted)
        return MediaError {QStringLiteral("out of memory for audio"), 0};
    nextPosition_ += converted;
    return std::nullopt;
}

std::optional<MediaError> AudioEncoder::encode(const AudioBlock& block, const MediaTime& start, const PacketSink& sink)
{
    if (block.channels <= 0 || block.sampleRate <= 0 || block.frameCount() == 0)
        return std::nullopt;
    if (auto failure = configureResampler(block))
        return failure;
    const int rate = codec_->sample_rate;
    const double startSeconds = start.seconds();
    int64_t position = std::llround(startSeconds * rate);
    int64_t skipInputFrames = 0;
    if (!started_) {
        // Sound before file time 0 is cut; the track starts where its first kept sample lands.
        if (position < 0) {
            skipInputFrames = std::llround(-startSeconds * block.sampleRate);
            position = 0;
        }
        if (skipInputFrames >= block.frameCount())
            return std::nullopt;
        started_ = true;
        nextPosition_ = encodedPosition_ = position;
    } else {
        const int64_t gap = position - nextPosition_;
        if (gap > std::llround(gapToleranceSeconds * rate)) {
            std::vector<float> silence(static_cast<size_t>(gap) * static_cast<size_t>(codec_->ch_layout.nb_channels), 0.0f);
            std::vector<uint8_t*> planes(static_cast<size_t>(codec_->ch_layout.nb_channels));
            for (size_t i = 0; i < planes.size(); ++i)
                planes[i] = reinterpret_cast<uint8_t*>(silence.data() + i * static_cast<size_t>(gap));
            av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(planes.data()), static_cast<int>(gap));
            nextPosition_ += gap;
        } else if (-gap > std::llround(gapToleranceSeconds * rate)) {
            skipInputFrames = std::llround(static_cast<double>(-gap) * block.sampleRate / rate);
            if (skipInputFrames >= block.frameCount())
                return std::nullopt;
        }
    }
    const float* samples = block.samples.data() + skipInputFrames * block.channels;
    if (auto failure = pushConverted(samples, static_cast<int>(block.frameCount() - skipInputFrames)))
        return failure;
    return encodeFifo(false, sink);
}

std::optional<MediaError> AudioEncoder::encodeFifo(bool final, const PacketSink& sink)
{
    const int frameSize = codec_->frame_size > 0 ? codec_->frame_size : 1024;
    while (av_audio_fifo_size(fifo_.get()) >= frameSize || (final && av_audio_fifo_size(fifo_.get()) > 0)) {
        const int count = std::min(frameSize, av_audio_fifo_size(fifo_.get()));
        av_frame_unref(frame_.get());
        frame_->format = AV_SAMPLE_FMT_FLTP;
        frame_->nb_samples = count;
        frame_->sample_rate = codec_->sample_rate;
        av_channel_layout_copy(&frame_->ch_layout, &codec_->ch_layout);
        if (av_frame_get_buffer(frame_.get(), 0) < 0)
            return MediaError {QStringLiteral("out of memory for audio"), 0};
        av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(frame_->extended_data), count);
        frame_->pts = encodedPosition_;
        encodedPosition_ += count;
        const int rc = avcodec_send_frame(codec_.get(), frame_.get());
        if (rc < 0)
            return Libav::failure(QStringLiteral("the AAC encoder refused audio"), rc);
        if (auto failure = drain(sink))
            return failure;
    }
    return std::nullopt;
}

std::optional<MediaError> AudioEncoder::flush(const PacketSink& sink)
{
    if (swr_) {
        if (auto failure = pushConverted(nullptr, 0))
            return failure;
    }
    if (auto failure = encodeFifo(true, sink))
        return failure;
    const int rc = avcodec_send_frame(codec_.get(), nullptr);
    if (rc < 0 && rc != AVERROR_EOF)
        return Libav::failure(QStringLiteral("the AAC encoder could not flush"), rc);
    return drain(sink);
}

std::optional<MediaError> AudioEncoder::drain(const PacketSink& sink)
{
    return Libav::drainPackets(codec_.get(), packet_.get(), sink, QStringLiteral("the AAC encoder failed"));
}
