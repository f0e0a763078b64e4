#include "platform/media/PictureConversion.h"

#include "platform/media/PixelBuffer.h"

extern "C" {
#include <libavutil/cpu.h>
#include <libavutil/opt.h>
}

#include <algorithm>

namespace {

// Below this, handing slices to other threads costs more than it saves.
constexpr int64_t slicedFrom = 1280 * 720;

// The caller keeps the picture alive for the conversion: the frame only borrows its bytes.
void keepBorrowed(void*, uint8_t*) {}

} // namespace

int PictureConversion::threadsFor(int64_t pixels, int cores)
{
    if (pixels < slicedFrom)
        return 1;
    // Half the cores at most: the encoder's own threads want the rest, and four slices already hide the
    // conversion behind the encoder.
    return std::clamp(cores / 2, 1, 4);
}

std::optional<MediaError> PictureConversion::convert(const PixelBuffer& picture, AVFrame* frame)
{
    if (!context_ || picture.width() != sourceWidth_ || picture.height() != sourceHeight_ || frame->width != targetWidth_
        || frame->height != targetHeight_ || frame->format != targetFormat_) {
        context_.reset();
        sourceWidth_ = picture.width();
        sourceHeight_ = picture.height();
        targetWidth_ = frame->width;
        targetHeight_ = frame->height;
        targetFormat_ = frame->format;
        const int threads = threads_ > 0 ? threads_ : threadsFor(static_cast<int64_t>(targetWidth_) * targetHeight_, av_cpu_count());
        Libav::Sws context(sws_alloc_context());
        if (!context)
            return MediaError {QStringLiteral("out of memory for a picture converter"), 0};
        const int flags = scaling_ == VideoSettings::Scaling::lanczos ? SWS_LANCZOS : SWS_BICUBIC;
        av_opt_set_int(context.get(), "srcw", sourceWidth_, 0);
        av_opt_set_int(context.get(), "srch", sourceHeight_, 0);
        av_opt_set_int(context.get(), "src_format", AV_PIX_FMT_BGRA, 0);
        av_opt_set_int(context.get(), "dstw", targetWidth_, 0);
        av_opt_set_int(context.get(), "dsth", targetHeight_, 0);
        av_opt_set_int(context.get(), "dst_format", targetFormat_, 0);
        av_opt_set_int(context.get(), "sws_flags", flags, 0);
        av_opt_set_int(context.get(), "threads", threads, 0);
        if (sws_init_context(context.get(), nullptr, nullptr) < 0)
            return MediaError {QStringLiteral("could not convert %1x%2 pictures").arg(sourceWidth_).arg(sourceHeight_), 0};
        const int* rgb = sws_getCoefficients(SWS_CS_DEFAULT);
        const int* yuv = sws_getCoefficients(SWS_CS_ITU709);
        sws_setColorspaceDetails(context.get(), rgb, 1, yuv, 0, 0, 1 << 16, 1 << 16);
        context_ = std::move(context);
    }
    // The source frame borrows the picture's bytes through a buffer that frees nothing: swscale takes a
    // reference to its source, which would copy the picture if the frame owned no buffer.
    av_frame_unref(source_.get());
    source_->format = AV_PIX_FMT_BGRA;
    source_->width = picture.width();
    source_->height = picture.height();
    source_->data[0] = const_cast<uint8_t*>(picture.data());
    source_->linesize[0] = static_cast<int>(picture.bytesPerRow());
    source_->buf[0] = av_buffer_create(source_->data[0], picture.byteCount(), keepBorrowed, nullptr, AV_BUFFER_FLAG_READONLY);
    if (!source_->buf[0])
        return MediaError {QStringLiteral("out of memory for a picture converter"), 0};
    const int rc = sws_scale_frame(context_.get(), frame, source_.get());
    av_frame_unref(source_.get());
    if (rc < 0)
        return Libav::failure(QStringLiteral("could not convert a picture"), rc);
    return std::nullopt;
}
