#include "platform/media/MovieReader.h"

#include "platform/media/LibavHandles.h"
#include "platform/media/PixelBufferPool.h"
#include "platform/media/YuvConversion.h"

#include "platform/system/Diagnostics.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <deque>
#include <map>
#include <mutex>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

struct MovieReader::Private {
    mutable std::mutex lock;
    Status status = Status::unknown;
    std::optional<MediaError> error;
    Libav::InputFormat context;
    std::optional<MovieAsset> asset;
    MediaTime start = MediaTime::zero();
    MediaTime end = MediaTime::positiveInfinity();
    std::map<int, std::deque<Libav::Packet>> queues; // by stream, for streams with an output
    bool endOfFile = false;
    int64_t packetsRead = 0;
    QString fileName; // for the log
    std::vector<std::unique_ptr<MovieReaderOutput>> outputs;
    int outputsDone = 0;
    int damagedPictures = 0;

    // 1 with a packet of `stream`, 0 at the end, -1 after an error (status failed).
    int nextPacket(int stream, Libav::Packet& out)
    {
        std::lock_guard guard(lock);
        auto& queue = queues[stream];
        for (;;) {
            if (status != Status::reading)
                return -1;
            if (!queue.empty()) {
                out = std::move(queue.front());
                queue.pop_front();
                return 1;
            }
            if (endOfFile)
                return 0;
            Libav::Packet packet = Libav::makePacket();
            const int rc = av_read_frame(context.get(), packet.get());
            if (rc == AVERROR_EOF) {
                endOfFile = true;
                continue;
            }
            if (rc < 0 && packetsRead > 0) {
                // A capture file cut short (a full disk, a crash) ends in a torn fragment: what came before
                // it is good, so the movie ends there.
                Diagnostics::log(QStringLiteral("%1: stopped reading after %2 packets, at a damaged end (%3)")
                                     .arg(fileName).arg(packetsRead).arg(Libav::errorText(rc)));
                endOfFile = true;
                continue;
            }
            if (rc < 0) {
                status = Status::failed;
                error = MediaError {QStringLiteral("could not read the movie: ") + Libav::errorText(rc), rc};
                return -1;
            }
            ++packetsRead;
            if (packet->flags & AV_PKT_FLAG_CORRUPT) {
                // The last sample of a torn file may be cut off: only whole samples are decoded.
                Diagnostics::log(QStringLiteral("%1: left out a cut-off sample of stream %2").arg(fileName).arg(packet->stream_index));
                continue;
            }
            auto it = queues.find(packet->stream_index);
            if (it != queues.end())
                it->second.push_back(std::move(packet));
        }
    }

    void addDamagedPictures(int count)
    {
        std::lock_guard guard(lock);
        damagedPictures += count;
    }

    void outputEnded()
    {
        std::lock_guard guard(lock);
        if (++outputsDone >= static_cast<int>(outputs.size()) && status == Status::reading)
            status = Status::completed;
    }

    void fail(MediaError e)
    {
        std::lock_guard guard(lock);
        if (status != Status::reading)
            return;
        status = Status::failed;
        error = std::move(e);
    }
};

namespace {

bool isPlanarEightBit(AVPixelFormat format)
{
    switch (format) {
    case AV_PIX_FMT_YUV420P:
    case AV_PIX_FMT_YUVJ420P:
    case AV_PIX_FMT_YUV422P:
    case AV_PIX_FMT_YUVJ422P:
    case AV_PIX_FMT_YUV444P:
    case AV_PIX_FMT_YUVJ444P: return true;
    default: return false;
    }
}

class OutputBase : public MovieReaderOutput {
public:
    OutputBase(MovieReader::Private& reader, AVStream* stream) : reader_(reader), stream_(stream) {}
    int trackIndex() const override { return stream_->index; }
    std::optional<MediaSample> copyNextSample() override
    {
        if (ended_)
            return std::nullopt;
        std::optional<MediaSample> sample = produce();
        if (!sample) {
            ended_ = true;
            reader_.outputEnded();
        }
        return sample;
    }

protected:
    virtual std::optional<MediaSample> produce() = 0;
    MediaTime startTime() const { return reader_.start; }
    MediaTime endTime() const { return reader_.end; }

    MovieReader::Private& reader_;
    AVStream* stream_;
    bool ended_ = false;
};

class PacketOutput final : public OutputBase {
public:
    using OutputBase::OutputBase;

protected:
    std::optional<MediaSample> produce() override
    {
        for (;;) {
            if (!held_.empty() && releasing_) {
                MediaSample sample = std::move(held_.front());
                held_.pop_front();
                return sample;
            }
            Libav::Packet packet;
            if (reader_.nextPacket(stream_->index, packet) != 1) {
                // A range whose start lies past the last packet still gets the GOP that shows there.
                if (!held_.empty()) {
                    releasing_ = true;
                    continue;
                }
                return std::nullopt;
            }
            const int64_t pts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
            MediaSample sample = toSample(packet.get());
            if (sample.presentationTime() >= endTime())
                return std::nullopt;
            if (!started_) {
                // Keep the packets since the last key frame before the start: a copy cannot begin between key frames.
                if (packet->flags & AV_PKT_FLAG_KEY)
                    held_.clear();
                held_.push_back(std::move(sample));
                if (Libav::timeOf(pts, stream_->time_base) >= startTime()) {
                    started_ = true;
                    releasing_ = true;
                }
                continue;
            }
            return sample;
        }
    }

private:
    MediaSample toSample(const AVPacket* packet) const
    {
        auto payload = std::make_shared<EncodedPacket>();
        payload->data.assign(packet->data, packet->data + packet->size);
        payload->keyFrame = packet->flags & AV_PKT_FLAG_KEY;
        MediaSample sample;
        sample.kind = MediaSample::Kind::packet;
        const int64_t pts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
        sample.timing = {{packet->duration > 0 ? Libav::timeOf(packet->duration, stream_->time_base) : MediaTime::invalid(),
            Libav::timeOf(pts, stream_->time_base),
            packet->dts != AV_NOPTS_VALUE ? Libav::timeOf(packet->dts, stream_->time_base) : MediaTime::invalid()}};
        sample.packet = std::move(payload);
        return sample;
    }

    std::deque<MediaSample> held_;
    bool started_ = false;
    bool releasing_ = false;
};

class DecodingOutput : public OutputBase {
public:
    DecodingOutput(MovieReader::Private& reader, AVStream* stream) : OutputBase(reader, stream) {}

    std::optional<MediaError> openDecoder(int threads = 0)
    {
        const AVCodec* codec = avcodec_find_decoder(stream_->codecpar->codec_id);
        if (!codec)
            return MediaError {QStringLiteral("no decoder for ") + QString::fromLatin1(avcodec_get_name(stream_->codecpar->codec_id)), 0};
        decoder_.reset(avcodec_alloc_context3(codec));
        avcodec_parameters_to_context(decoder_.get(), stream_->codecpar);
        decoder_->pkt_timebase = stream_->time_base;
        decoder_->thread_count = std::max(threads, 0);
        const int rc = avcodec_open2(decoder_.get(), codec, nullptr);
        if (rc < 0)
            return MediaError {QStringLiteral("could not open the decoder: ") + Libav::errorText(rc), rc};
        frame_ = Libav::makeFrame();
        return std::nullopt;
    }

protected:
    // The next decoded frame in frame_, or false at the end (or after an error, which the reader records).
    bool decodeNext()
    {
        for (;;) {
            int rc = avcodec_receive_frame(decoder_.get(), frame_.get());
            if (rc == 0) {
                errorsInARow_ = 0;
                return true;
            }
            if (rc == AVERROR_EOF)
                return false;
            if (rc == AVERROR_INVALIDDATA && ++errorsInARow_ < maximumErrorsInARow) {
                // Damaged data inside the file: what decodes after it is still the take.
                if (lastSent_ != AV_NOPTS_VALUE && (!damagedFrom_ || lastSent_ < *damagedFrom_))
                    damagedFrom_ = lastSent_;
                continue;
            }
            if (rc != AVERROR(EAGAIN)) {
                reader_.fail(MediaError {QStringLiteral("could not decode: ") + Libav::errorText(rc), rc});
                return false;
            }
            if (draining_)
                return false;
            Libav::Packet packet;
            const int got = reader_.nextPacket(stream_->index, packet);
            if (got < 0)
                return false;
            if (got == 1)
                lastSent_ = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
            rc = avcodec_send_packet(decoder_.get(), got == 1 ? packet.get() : nullptr);
            if (got == 0)
                draining_ = true;
            if (rc < 0 && rc != AVERROR(EAGAIN) && rc != AVERROR_EOF) {
                // A damaged packet (the torn tail of a killed capture) is skipped, not fatal; what is decoded
                // from it on may be damaged too. A refused drain has no packet: the decoder just ends.
                if (got == 1 && lastSent_ != AV_NOPTS_VALUE && (!damagedFrom_ || lastSent_ < *damagedFrom_))
                    damagedFrom_ = lastSent_;
                continue;
            }
        }
    }

    MediaTime frameTime() const
    {
        const int64_t pts = frame_->best_effort_timestamp != AV_NOPTS_VALUE ? frame_->best_effort_timestamp : frame_->pts;
        return pts == AV_NOPTS_VALUE ? MediaTime::invalid() : Libav::timeOf(pts, stream_->time_base);
    }

    Libav::CodecContext decoder_;
    Libav::Frame frame_;
    bool draining_ = false;
    // The stream time of the first damaged packet not yet followed by a clean key frame.
    std::optional<int64_t> damagedFrom_;
    int64_t lastSent_ = AV_NOPTS_VALUE;
    // A decoder that reports nothing but damage this many times running is given up on.
    static constexpr int maximumErrorsInARow = 64;
    int errorsInARow_ = 0;
};

class VideoOutput final : public DecodingOutput {
public:
    VideoOutput(MovieReader::Private& reader, AVStream* stream, VideoOutputSettings settings)
        : DecodingOutput(reader, stream)
        , settings_(settings)
    {
        const double rate = av_q2d(stream->avg_frame_rate);
        if (rate > 0)
            frameDuration_ = MediaTime::fromSeconds(1.0 / rate, 90000);
    }

protected:
    std::optional<MediaSample> produce() override
    {
        if (pending_) {
            MediaSample sample = std::move(*pending_);
            pending_.reset();
            return sample;
        }
        while (decodeNext()) {
            const MediaTime time = frameTime();
            if (!time.isValid())
                continue;
            if (isDamaged()) {
                // Left out: whoever shows pictures keeps showing the one before, never the decoder's grey.
                // Counted at once, so a reader stopped before its end still knows what it left out.
                if (time >= startTime() && time < endTime()) {
                    ++damaged_;
                    reader_.addDamagedPictures(1);
                }
                continue;
            }
            if (time >= endTime())
                return std::nullopt;
            if (time < startTime()) {
                // Remember the picture that is showing when the range starts (converted only if it is needed).
                beforeStart_.reset(av_frame_clone(frame_.get()));
                beforeStartTime_ = time;
                continue;
            }
            if (beforeStart_ && time > startTime()) {
                std::optional<MediaSample> earlier = convert(beforeStart_.get(), beforeStartTime_);
                beforeStart_.reset();
                pending_ = convert(frame_.get(), time);
                return earlier;
            }
            beforeStart_.reset();
            return convert(frame_.get(), time);
        }
        if (beforeStart_) {
            std::optional<MediaSample> last = convert(beforeStart_.get(), beforeStartTime_);
            beforeStart_.reset();
            return last;
        }
        reportDamage();
        return std::nullopt;
    }

private:
    // A picture the decoder flags, or one after a damaged packet up to the next clean key frame.
    bool isDamaged()
    {
        const bool flagged = (frame_->flags & AV_FRAME_FLAG_CORRUPT) || frame_->decode_error_flags != 0;
        const int64_t pts = frame_->best_effort_timestamp != AV_NOPTS_VALUE ? frame_->best_effort_timestamp : frame_->pts;
        if (flagged) {
            if (!damagedFrom_ || pts < *damagedFrom_)
                damagedFrom_ = pts;
            return true;
        }
        if (!damagedFrom_ || pts < *damagedFrom_)
            return false;
        if (frame_->key_frame && pts > *damagedFrom_) {
            damagedFrom_.reset();
            return false;
        }
        return true;
    }

    void reportDamage()
    {
        if (damaged_ == 0 || damageReported_)
            return;
        damageReported_ = true;
        Diagnostics::log(QStringLiteral("%1: left out %2 damaged picture(s) of stream %3; the picture before shows instead")
                             .arg(reader_.fileName).arg(damaged_).arg(stream_->index));
    }

    // Whether the picture is already in the encoders' format, read the way the BGRA conversion reads it
    // (an untagged picture of 720 rows or more is BT.709).
    static bool isEncoderPlanes(const AVFrame* f)
    {
        const bool bt709 = f->colorspace == AVCOL_SPC_BT709 || (f->colorspace == AVCOL_SPC_UNSPECIFIED && f->height >= 720);
        return f->format == AV_PIX_FMT_YUV420P && bt709 && f->color_range != AVCOL_RANGE_JPEG && f->width > 0 && f->height > 0;
    }

    std::optional<MediaSample> convert(const AVFrame* f, const MediaTime& time)
    {
        if (settings_.encoderPlanesAsDecoded && !settings_.crop && (settings_.width <= 0 || settings_.width == f->width)
            && (settings_.height <= 0 || settings_.height == f->height) && isEncoderPlanes(f)) {
            if (std::shared_ptr<const PlanarPicture> planes = PlanarPicture::referencing(f))
                return MediaSample::video(std::move(planes), time, frameDuration_);
            reader_.fail(MediaError {QStringLiteral("out of memory for a video frame"), 0});
            return std::nullopt;
        }
        const auto format = static_cast<AVPixelFormat>(f->format);
        const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
        if (!descriptor) {
            reader_.fail(MediaError {QStringLiteral("unknown picture format"), 0});
            return std::nullopt;
        }
        VideoOutputSettings::Rect crop {0, 0, f->width, f->height};
        if (settings_.crop) {
            crop = *settings_.crop;
            const int alignX = 1 << descriptor->log2_chroma_w;
            const int alignY = 1 << descriptor->log2_chroma_h;
            crop.x = std::clamp(crop.x / alignX * alignX, 0, f->width - 1);
            crop.y = std::clamp(crop.y / alignY * alignY, 0, f->height - 1);
            crop.width = std::clamp(crop.width, 1, f->width - crop.x);
            crop.height = std::clamp(crop.height, 1, f->height - crop.y);
        }
        const int outWidth = settings_.width > 0 ? settings_.width : crop.width;
        const int outHeight = settings_.height > 0 ? settings_.height : crop.height;
        if (!sws_ || format != swsFormat_ || crop.width != swsCrop_.width || crop.height != swsCrop_.height) {
            int flags = SWS_BILINEAR;
            switch (settings_.scaling) {
            case VideoOutputSettings::Scaling::bilinear: flags = SWS_BILINEAR; break;
            case VideoOutputSettings::Scaling::bicubic: flags = SWS_BICUBIC; break;
            case VideoOutputSettings::Scaling::area: flags = SWS_AREA; break;
            case VideoOutputSettings::Scaling::lanczos: flags = SWS_LANCZOS; break;
            }
            sws_.reset(sws_getContext(crop.width, crop.height, format, outWidth, outHeight, AV_PIX_FMT_BGRA,
                flags | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr));
            if (!sws_) {
                reader_.fail(MediaError {QStringLiteral("could not convert the pictures"), 0});
                return std::nullopt;
            }
            const int colorspace = f->colorspace == AVCOL_SPC_BT470BG || f->colorspace == AVCOL_SPC_SMPTE170M ? SWS_CS_ITU601
                : f->colorspace == AVCOL_SPC_UNSPECIFIED && f->height < 720                                    ? SWS_CS_ITU601
                                                                                                               : SWS_CS_ITU709;
            const int fullRange = f->color_range == AVCOL_RANGE_JPEG || format == AV_PIX_FMT_YUVJ420P || format == AV_PIX_FMT_YUVJ422P
                || format == AV_PIX_FMT_YUVJ444P;
            sws_setColorspaceDetails(sws_.get(), sws_getCoefficients(colorspace), fullRange, sws_getCoefficients(SWS_CS_DEFAULT), 1, 0,
                1 << 16, 1 << 16);
            // swscale's faster paths stray up to 3 levels from its accurate one; ours stays within 1, so
            // unscaled 8-bit planar pictures take it.
            conversion_.reset();
            if (isPlanarEightBit(format) && outWidth == crop.width && outHeight == crop.height)
                conversion_.emplace(colorspace == SWS_CS_ITU709, fullRange != 0);
            swsFormat_ = format;
            swsCrop_ = crop;
            pool_ = PixelBufferPool::make(outWidth, outHeight);
        }
        int steps[4] = {};
        av_image_fill_max_pixsteps(steps, nullptr, descriptor);
        const uint8_t* planes[4] = {};
        int strides[4] = {};
        for (int p = 0; p < 4 && f->data[p]; ++p) {
            const bool chroma = p == 1 || p == 2;
            const int x = chroma ? crop.x >> descriptor->log2_chroma_w : crop.x;
            const int y = chroma ? crop.y >> descriptor->log2_chroma_h : crop.y;
            planes[p] = f->data[p] + static_cast<ptrdiff_t>(y) * f->linesize[p] + static_cast<ptrdiff_t>(x) * steps[p];
            strides[p] = f->linesize[p];
        }
        std::shared_ptr<PixelBuffer> buffer = pool_->take();
        if (conversion_) {
            YuvConversion::Planes source;
            for (int p = 0; p < 3; ++p) {
                source.data[p] = planes[p];
                source.stride[p] = strides[p];
            }
            source.chromaShiftX = descriptor->log2_chroma_w;
            source.chromaShiftY = descriptor->log2_chroma_h;
            conversion_->toBgra(source, *buffer);
            return MediaSample::video(std::move(buffer), time, frameDuration_);
        }
        uint8_t* destination[4] = {buffer->data(), nullptr, nullptr, nullptr};
        const int destinationStride[4] = {static_cast<int>(buffer->bytesPerRow()), 0, 0, 0};
        sws_scale(sws_.get(), planes, strides, 0, crop.height, destination, destinationStride);
        if (!(descriptor->flags & AV_PIX_FMT_FLAG_ALPHA))
            buffer->markOpaque();
        return MediaSample::video(std::move(buffer), time, frameDuration_);
    }

    VideoOutputSettings settings_;
    int damaged_ = 0;
    bool damageReported_ = false;
    MediaTime frameDuration_ = MediaTime::invalid();
    Libav::Sws sws_;
    std::optional<YuvConversion> conversion_;
    AVPixelFormat swsFormat_ = AV_PIX_FMT_NONE;
    VideoOutputSettings::Rect swsCrop_;
    std::shared_ptr<PixelBufferPool> pool_;
    Libav::Frame beforeStart_;
    MediaTime beforeStartTime_;
    std::optional<MediaSample> pending_;
};

class AudioOutput final : public DecodingOutput {
public:
    AudioOutput(MovieReader::Private& reader, AVStream* stream, AudioOutputSettings settings)
        : DecodingOutput(reader, stream)
        , settings_(settings)
    {
    }

protected:
    std::optional<MediaSample> produce() override
    {
        const int rate = settings_.sampleRate;
        const int64_t startPosition = std::llround(startTime().seconds() * rate);
        // No end: nothing is cut from the back (an end of INT64_MAX would overflow the cut's arithmetic).
        const std::optional<int64_t> endPosition = endTime().isNumeric() ? std::optional(std::llround(endTime().seconds() * rate)) : std::nullopt;
        for (;;) {
            std::shared_ptr<AudioBlock> block;
            int64_t position = 0;
            if (!flushed_ && decodeNext()) {
                if (!configure())
                    return std::nullopt;
                const MediaTime time = frameTime();
                if (time.isValid()) {
                    const int64_t framePosition = std::llround(time.seconds() * rate);
                    if (!anchored_ || std::llabs(framePosition - nextPosition_) > rate / 100) {
                        anchored_ = true;
                        nextPosition_ = framePosition;
                    }
                }
                block = convert(const_cast<const uint8_t**>(frame_->extended_data), frame_->nb_samples);
            } else if (!flushed_ && swr_) {
                flushed_ = true;
                block = convert(nullptr, 0);
            } else {
                return std::nullopt;
            }
            if (!block)
                continue;
            position = nextPosition_;
            const int64_t frames = block->frameCount();
            nextPosition_ += frames;
            if (endPosition && position >= *endPosition)
                return std::nullopt;
            const int64_t cutFront = std::clamp<int64_t>(startPosition - position, 0, frames);
            const int64_t cutBack = endPosition ? std::clamp<int64_t>(position + frames - *endPosition, 0, frames - cutFront) : 0;
            if (cutFront + cutBack >= frames)
                continue;
            if (cutFront || cutBack) {
                block->samples.erase(block->samples.end() - cutBack * settings_.channels, block->samples.end());
                block->samples.erase(block->samples.begin(), block->samples.begin() + cutFront * settings_.channels);
                position += cutFront;
            }
            return MediaSample::sound(std::move(block), MediaTime(position, rate));
        }
    }

private:
    bool configure()
    {
        if (swr_)
            return true;
        Libav::ChannelLayout outLayout(settings_.channels);
        Libav::ChannelLayout inLayout(decoder_->ch_layout.nb_channels);
        int rc = frame_->ch_layout.nb_channels > 0 ? inLayout.copyFrom(frame_->ch_layout) : 0;
        SwrContext* raw = nullptr;
        if (rc >= 0)
            rc = swr_alloc_set_opts2(&raw, outLayout.get(), AV_SAMPLE_FMT_FLT, settings_.sampleRate, inLayout.get(),
                static_cast<AVSampleFormat>(frame_->format), frame_->sample_rate, 0, nullptr);
        // Downmixes average the channels instead of adding them at -3 dB, so they never clip.
        if (rc >= 0 && raw) {
            av_opt_set_double(raw, "rematrix_maxval", 1.0, 0);
            rc = swr_init(raw);
        }
        swr_.reset(raw);
        if (rc < 0 || !raw) {
            reader_.fail(MediaError {QStringLiteral("could not convert the sound: ") + Libav::errorText(rc), rc});
            return false;
        }
        return true;
    }

    std::shared_ptr<AudioBlock> convert(const uint8_t** input, int frames)
    {
        const int capacity = swr_get_out_samples(swr_.get(), frames);
        if (capacity <= 0)
            return nullptr;
        auto block = std::make_shared<AudioBlock>();
        block->sampleRate = settings_.sampleRate;
        block->channels = settings_.channels;
        block->samples.resize(static_cast<size_t>(capacity) * static_cast<size_t>(settings_.channels));
        uint8_t* out[1] = {reinterpret_cast<uint8_t*>(block->samples.data())};
        const int converted = swr_convert(swr_.get(), out, capacity, input, frames);
        if (converted <= 0)
            return nullptr;
        block->samples.resize(static_cast<size_t>(converted) * static_cast<size_t>(settings_.channels));
        return block;
    }

    AudioOutputSettings settings_;
    Libav::Swr swr_;
    bool anchored_ = false;
    bool flushed_ = false;
    int64_t nextPosition_ = 0;
};

} // namespace

MovieReader::MovieReader() : d(std::make_shared<Private>()) {}

MovieReader::~MovieReader() = default;

std::variant<std::unique_ptr<MovieReader>, MediaError> MovieReader::open(const QString& path)
{
    auto asset = MovieAsset::open(path);
    if (auto* failure = std::get_if<MediaError>(&asset))
        return *failure;
    AVFormatContext* raw = nullptr;
    const QByteArray name = QFile::encodeName(path);
    int rc = avformat_open_input(&raw, name.constData(), nullptr, nullptr);
    if (rc < 0)
        return MediaError {QStringLiteral("could not open ") + path + QStringLiteral(": ") + Libav::errorText(rc), rc};
    std::unique_ptr<MovieReader> reader(new MovieReader());
    reader->d->context.reset(raw);
    reader->d->fileName = QFileInfo(path).fileName();
    rc = avformat_find_stream_info(raw, nullptr);
    if (rc < 0)
        return MediaError {QStringLiteral("could not read ") + path + QStringLiteral(": ") + Libav::errorText(rc), rc};
    reader->d->asset = std::move(std::get<MovieAsset>(asset));
    return reader;
}

const MovieAsset& MovieReader::asset() const { return *d->asset; }

void MovieReader::setTimeRange(const MediaTime& start, const MediaTime& duration)
{
    std::lock_guard guard(d->lock);
    if (d->status != Status::unknown)
        return;
    d->start = start.isNumeric() ? start : MediaTime::zero();
    d->end = duration.isNumeric() ? d->start + duration : MediaTime::positiveInfinity();
}

MovieReaderOutput* MovieReader::addPacketOutput(int trackIndex)
{
    std::lock_guard guard(d->lock);
    if (d->status != Status::unknown || trackIndex < 0 || trackIndex >= static_cast<int>(d->context->nb_streams))
        return nullptr;
    d->queues[trackIndex];
    d->outputs.push_back(std::make_unique<PacketOutput>(*d, d->context->streams[trackIndex]));
    return d->outputs.back().get();
}

MovieReaderOutput* MovieReader::addVideoOutput(int trackIndex, const VideoOutputSettings& settings)
{
    std::lock_guard guard(d->lock);
    if (d->status != Status::unknown || trackIndex < 0 || trackIndex >= static_cast<int>(d->context->nb_streams)
        || d->context->streams[trackIndex]->codecpar->codec_type != AVMEDIA_TYPE_VIDEO)
        return nullptr;
    auto output = std::make_unique<VideoOutput>(*d, d->context->streams[trackIndex], settings);
    if (auto failure = output->openDecoder(settings.decoderThreads)) {
        d->error = failure;
        return nullptr;
    }
    d->queues[trackIndex];
    d->outputs.push_back(std::move(output));
    return d->outputs.back().get();
}

MovieReaderOutput* MovieReader::addAudioOutput(int trackIndex, const AudioOutputSettings& settings)
{
    std::lock_guard guard(d->lock);
    if (d->status != Status::unknown || trackIndex < 0 || trackIndex >= static_cast<int>(d->context->nb_streams)
        || d->context->streams[trackIndex]->codecpar->codec_type != AVMEDIA_TYPE_AUDIO || settings.sampleRate <= 0
        || settings.channels <= 0)
        return nullptr;
    auto output = std::make_unique<AudioOutput>(*d, d->context->streams[trackIndex], settings);
    if (auto failure = output->openDecoder()) {
        d->error = failure;
        return nullptr;
    }
    d->queues[trackIndex];
    d->outputs.push_back(std::move(output));
    return d->outputs.back().get();
}

bool MovieReader::startReading()
{
    std::lock_guard guard(d->lock);
    if (d->status != Status::unknown)
        return false;
    if (d->outputs.empty()) {
        d->status = Status::failed;
        d->error = MediaError {QStringLiteral("the reader has no outputs"), 0};
        return false;
    }
    if (d->start > MediaTime::zero()) {
        const int64_t target = Libav::ticksOf(d->start, AVRational {1, AV_TIME_BASE});
        // Every track lands on the key frame at or before the start; outputs drop what lies before it.
        if (avformat_seek_file(d->context.get(), -1, INT64_MIN, target, target, AVSEEK_FLAG_BACKWARD) < 0)
            av_seek_frame(d->context.get(), -1, target, AVSEEK_FLAG_BACKWARD);
    }
    d->status = Status::reading;
    return true;
}

void MovieReader::cancelReading()
{
    std::lock_guard guard(d->lock);
    if (d->status == Status::reading || d->status == Status::unknown)
        d->status = Status::cancelled;
}

MovieReader::Status MovieReader::status() const
{
    std::lock_guard guard(d->lock);
    return d->status;
}

int MovieReader::damagedPictures() const
{
    std::lock_guard guard(d->lock);
    return d->damagedPictures;
}

std::optional<MediaError> MovieReader::error() const
{
    std::lock_guard guard(d->lock);
    return d->error;
}
