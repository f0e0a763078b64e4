#include "platform/media/VideoEncoder.h"

#include "platform/media/EncoderThreadPriority.h"
#include "platform/media/PixelBuffer.h"
#include "platform/media/PlanarPicture.h"
#include "platform/media/X265Threading.h"
#include "platform/system/Diagnostics.h"

#include <QFile>

#include <algorithm>
#include <limits>

extern "C" {
#include <libavutil/cpu.h>
#include <libavutil/hwcontext.h>
#include <libavutil/opt.h>
}

namespace {


// The first render node that opens as a VAAPI device, or nothing (no GPU, or no driver, as in CI).
AVBufferRef* openVaapiDevice()
{
    for (int node = 128; node < 136; ++node) {
        const QByteArray path = "/dev/dri/renderD" + QByteArray::number(node);
        if (!QFile::exists(QString::fromLatin1(path)))
            continue;
        AVBufferRef* device = nullptr;
        if (av_hwdevice_ctx_create(&device, AV_HWDEVICE_TYPE_VAAPI, path.constData(), nullptr, 0) == 0)
            return device;
    }
    return nullptr;
}

void applyCommon(AVCodecContext* c, const VideoSettings& s, bool globalHeader)
{
    c->width = s.width;
    c->height = s.height;
    c->time_base = VideoEncoder::timeBase;
    c->framerate = AVRational {s.expectedFrameRate > 0 ? s.expectedFrameRate : 30, 1};
    c->sample_aspect_ratio = AVRational {1, 1};
    if (s.averageBitRate > 0)
        c->bit_rate = s.averageBitRate;
    if (s.maxKeyFrameInterval > 0)
        c->gop_size = s.maxKeyFrameInterval;
    c->max_b_frames = s.allowFrameReordering ? -1 : 0;
    if (!s.allowFrameReordering)
        c->has_b_frames = 0;
    // HD pictures are tagged and converted as BT.709, limited range.
    c->color_primaries = AVCOL_PRI_BT709;
    c->color_trc = AVCOL_TRC_BT709;
    c->colorspace = AVCOL_SPC_BT709;
    c->color_range = AVCOL_RANGE_MPEG;
    c->thread_count = 0;
    if (globalHeader)
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
}

std::optional<MediaError> openSoftware(Libav::CodecContext& out, std::string& name, const VideoSettings& s, bool globalHeader)
{
    const bool hevc = s.codec == VideoSettings::Codec::hevc;
    name = hevc ? "libx265" : "libx264";
    const AVCodec* codec = avcodec_find_encoder_by_name(name.c_str());
    if (!codec)
        return MediaError {QString::fromStdString(name) + QStringLiteral(" is not available"), 0};
    Libav::CodecContext c(avcodec_alloc_context3(codec));
    applyCommon(c.get(), s, globalHeader);
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    if (hevc && s.averageBitRate > 0) {
        // x265's one-pass average runs a third over on flashing pictures: a ceiling at the average over one
        // second's buffer holds it. Easy pictures still come in under.
        c->rc_max_rate = s.averageBitRate;
        c->rc_buffer_size = static_cast<int>(std::min<int64_t>(s.averageBitRate, std::numeric_limits<int>::max()));
    }
    if (s.encoderThreads > 0)
        c->thread_count = s.encoderThreads;
    AVDictionary* options = nullptr;
    if (!s.preset.empty())
        av_dict_set(&options, "preset", s.preset.c_str(), 0);
    if (!s.tune.empty())
        av_dict_set(&options, "tune", s.tune.c_str(), 0);
    if (hevc) {
        // 64-pixel blocks, as every preset from veryfast up: on screen pictures the fastest preset encodes no
        // slower with them, and libx265 3.5 leaks a buffer per block row at each open when SAO is off, so a
        // take leaves half as much behind.
        std::string params = "log-level=error:ctu=" + std::to_string(X265Threading::blockPixels);
        if (!s.allowFrameReordering)
            params += ":bframes=0";
        if (s.maxKeyFrameInterval > 0)
            params += ":keyint=" + std::to_string(s.maxKeyFrameInterval);
        if (s.takeThreading) {
            const int cores = av_cpu_count();
            const X265Threading threading = X265Threading::forTake(cores, s.height, EncoderThreadPriority::poolKeepsPriority());
            params += ":" + threading.params();
            Diagnostics::log(QStringLiteral("x265 for the take: %1 on %2 cores").arg(QString::fromStdString(threading.params())).arg(cores));
        }
        av_dict_set(&options, "x265-params", params.c_str(), 0);
        c->codec_tag = MKTAG('h', 'v', 'c', '1');
    } else {
        av_dict_set(&options, "profile", "high", 0);
        // Fast presets drop every High-profile tool and the stream falls back to Baseline; the 8x8
        // transform keeps it High, as the settings ask, at almost no cost.
        // x264's one-pass average at its default tolerance runs a tenth over on a short busy take, by how much
        // following the thread count, that is the machine's cores; a tight tolerance holds it on every machine.
        // (A ceiling would not: with many threads it starves a short take instead.)
        av_dict_set(&options, "x264-params", s.averageBitRate > 0 ? "8x8dct=1:ratetol=0.1" : "8x8dct=1", 0);
        if (!s.allowFrameReordering)
            av_dict_set(&options, "bf", "0", 0);
    }
    const int rc = avcodec_open2(c.get(), codec, &options);
    av_dict_free(&options);
    if (rc < 0)
        return Libav::failure(QStringLiteral("could not open ") + QString::fromStdString(name), rc);
    out = std::move(c);
    return std::nullopt;
}

bool openHardware(Libav::CodecContext& out, std::string& name, AVBufferRef*& device, const VideoSettings& s, bool globalHeader)
{
    name = std::string(s.codec == VideoSettings::Codec::hevc ? "hevc" : "h264") + "_vaapi";
    const AVCodec* codec = avcodec_find_encoder_by_name(name.c_str());
    if (!codec)
        return false;
    device = openVaapiDevice();
    if (!device)
        return false;
    Libav::CodecContext c(avcodec_alloc_context3(codec));
    applyCommon(c.get(), s, globalHeader);
    c->pix_fmt = AV_PIX_FMT_VAAPI;
    if (s.codec == VideoSettings::Codec::h264)
        c->profile = FF_PROFILE_H264_HIGH;
    AVBufferRef* frames = av_hwframe_ctx_alloc(device);
    if (!frames)
        return false;
    auto* framesContext = reinterpret_cast<AVHWFramesContext*>(frames->data);
    framesContext->format = AV_PIX_FMT_VAAPI;
    framesContext->sw_format = AV_PIX_FMT_NV12;
    framesContext->width = s.width;
    framesContext->height = s.height;
    framesContext->initial_pool_size = 8;
    if (av_hwframe_ctx_init(frames) < 0) {
        av_buffer_unref(&frames);
        return false;
    }
    c->hw_frames_ctx = frames;
    if (avcodec_open2(c.get(), codec, nullptr) < 0)
        return false;
    out = std::move(c);
    return true;
}

} // namespace

std::variant<std::unique_ptr<VideoEncoder>, MediaError> VideoEncoder::open(const VideoSettings& settings, bool globalHeader)
{
    Libav::quietLogs();
    if (settings.width < 2 || settings.height < 2)
        return MediaError {QStringLiteral("invalid video size %1x%2").arg(settings.width).arg(settings.height), 0};
    std::unique_ptr<VideoEncoder> encoder(new VideoEncoder());
    bool hardware = false;
    if (settings.preferHardware) {
        hardware = openHardware(encoder->codec_, encoder->name_, encoder->hardwareDevice_, settings, globalHeader);
        if (!hardware) {
            encoder->codec_.reset();
            av_buffer_unref(&encoder->hardwareDevice_);
        }
    }
    if (!hardware) {
        if (auto failure = openSoftware(encoder->codec_, encoder->name_, settings, globalHeader))
            return *failure;
    }
    encoder->conversion_ = std::make_unique<PictureConversion>(settings.scaling);
    encoder->frame_ = Libav::makeFrame();
    encoder->frame_->format = hardware ? AV_PIX_FMT_NV12 : AV_PIX_FMT_YUV420P;
    encoder->frame_->width = settings.width;
    encoder->frame_->height = settings.height;
    if (av_frame_get_buffer(encoder->frame_.get(), 0) < 0)
        return MediaError {QStringLiteral("out of memory for a video frame"), 0};
    encoder->packet_ = Libav::makePacket();
    return encoder;
}

VideoEncoder::~VideoEncoder() { av_buffer_unref(&hardwareDevice_); }

std::optional<MediaError> VideoEncoder::encode(const PixelBuffer& picture, int64_t pts, const PacketSink& sink)
{
    if (picture.isEmpty())
        return MediaError {QStringLiteral("an empty picture"), 0};
    // The encoder may still hold the previous frame's buffer; get a writable one.
    int rc = av_frame_make_writable(frame_.get());
    if (rc < 0)
        return Libav::failure(QStringLiteral("no writable video frame"), rc);
    if (auto failure = conversion_->convert(picture, frame_.get()))
        return failure;
    frame_->pts = pts;
    AVFrame* toSend = frame_.get();
    if (codec_->hw_frames_ctx) {
        hardwareFrame_ = Libav::makeFrame();
        rc = av_hwframe_get_buffer(codec_->hw_frames_ctx, hardwareFrame_.get(), 0);
        if (rc >= 0)
            rc = av_hwframe_transfer_data(hardwareFrame_.get(), frame_.get(), 0);
        if (rc < 0)
            return Libav::failure(QStringLiteral("could not upload a frame"), rc);
        hardwareFrame_->pts = pts;
        toSend = hardwareFrame_.get();
    }
    rc = avcodec_send_frame(codec_.get(), toSend);
    if (rc < 0)
        return Libav::failure(QStringLiteral("the video encoder refused a frame"), rc);
    return drain(sink);
}

std::optional<MediaError> VideoEncoder::encode(const PlanarPicture& picture, int64_t pts, const PacketSink& sink)
{
    const AVFrame* planar = picture.frame();
    if (!planar || codec_->hw_frames_ctx || planar->format != frame_->format || planar->width != frame_->width || planar->height != frame_->height)
        return MediaError {QStringLiteral("a planar picture of another size or format than the track's"), 0};
    if (!planarFrame_)
        planarFrame_ = Libav::makeFrame();
    int rc = av_frame_ref(planarFrame_.get(), planar);
    if (rc < 0)
        return Libav::failure(QStringLiteral("no video frame"), rc);
    planarFrame_->pts = pts;
    rc = avcodec_send_frame(codec_.get(), planarFrame_.get());
    av_frame_unref(planarFrame_.get());
    if (rc < 0)
        return Libav::failure(QStringLiteral("the video encoder refused a frame"), rc);
    return drain(sink);
}

std::optional<MediaError> VideoEncoder::flush(const PacketSink& sink)
{
    const int rc = avcodec_send_frame(codec_.get(), nullptr);
    if (rc < 0 && rc != AVERROR_EOF)
        return Libav::failure(QStringLiteral("the video encoder could not flush"), rc);
    return drain(sink);
}

std::optional<MediaError> VideoEncoder::drain(const PacketSink& sink)
{
    return Libav::drainPackets(codec_.get(), packet_.get(), sink, QStringLiteral("the video encoder failed"));
}
