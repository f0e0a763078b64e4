#include "platform/video/V4l2FrameDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <climits>

namespace {

// The JPEG ("J") pixel formats are the plain ones at full range; swscale wants the range given separately.
AVPixelFormat withoutJpegRange(AVPixelFormat format, bool& fullRange)
{
    fullRange = true;
    switch (format) {
    case AV_PIX_FMT_YUVJ420P:
        return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P:
        return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P:
        return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P:
        return AV_PIX_FMT_YUV440P;
    case AV_PIX_FMT_YUVJ411P:
        return AV_PIX_FMT_YUV411P;
    default:
        return format;
    }
}

} // namespace

void V4l2FrameDecoder::CodecDeleter::operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
void V4l2FrameDecoder::FrameDeleter::operator()(AVFrame* frame) const { av_frame_free(&frame); }
void V4l2FrameDecoder::PacketDeleter::operator()(AVPacket* packet) const { av_packet_free(&packet); }
void V4l2FrameDecoder::ScaleDeleter::operator()(SwsContext* context) const { sws_freeContext(context); }

V4l2FrameDecoder::V4l2FrameDecoder()
    : frame_(av_frame_alloc())
    , packet_(av_packet_alloc())
{
}

V4l2FrameDecoder::~V4l2FrameDecoder() = default;

std::shared_ptr<PixelBuffer> V4l2FrameDecoder::decode(CameraHub::PixelFormat format, const uint8_t* data, size_t size, int width,
    int height, size_t bytesPerLine)
{
    if (!data || size == 0 || width <= 0 || height <= 0 || width > 16384 || height > 16384)
        return nullptr;
    switch (format) {
    case CameraHub::PixelFormat::mjpeg:
        return decodeJpeg(data, size, width, height);
    case CameraHub::PixelFormat::yuyv: {
        const size_t line = bytesPerLine ? bytesPerLine : static_cast<size_t>(width) * 2;
        if (line < static_cast<size_t>(width) * 2 || line > INT_MAX || size < line * static_cast<size_t>(height))
            return nullptr;
        const uint8_t* planes[4] = {data, nullptr, nullptr, nullptr};
        const int strides[4] = {static_cast<int>(line), 0, 0, 0};
        return convert(AV_PIX_FMT_YUYV422, false, planes, strides, width, height);
    }
    case CameraHub::PixelFormat::nv12: {
        const size_t line = bytesPerLine ? bytesPerLine : static_cast<size_t>(width);
        const size_t lumaBytes = line * static_cast<size_t>(height);
        const size_t chromaBytes = line * static_cast<size_t>((height + 1) / 2);
        if (line < static_cast<size_t>(width) || line > INT_MAX || size < lumaBytes + chromaBytes)
            return nullptr;
        const uint8_t* planes[4] = {data, data + lumaBytes, nullptr, nullptr};
        const int strides[4] = {static_cast<int>(line), static_cast<int>(line), 0, 0};
        return convert(AV_PIX_FMT_NV12, false, planes, strides, width, height);
    }
    }
    return nullptr;
}

std::shared_ptr<PixelBuffer> V4l2FrameDecoder::decodeJpeg(const uint8_t* data, size_t size, int width, int height)
{
    if (!frame_ || !packet_ || size > INT_MAX)
        return nullptr;
    if (!jpeg_) {
        const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MJPEG);
        if (!codec)
            return nullptr;
        std::unique_ptr<AVCodecContext, CodecDeleter> context(avcodec_alloc_context3(codec));
        if (!context)
            return nullptr;
        context->width = width;
        context->height = height;
        if (avcodec_open2(context.get(), codec, nullptr) < 0)
            return nullptr;
        jpeg_ = std::move(context);
    }
    // The camera's buffer stays ours; libavcodec only reads it during the call.
    av_packet_unref(packet_.get());
    packet_->data = const_cast<uint8_t*>(data);
    packet_->size = static_cast<int>(size);
    const int sent = avcodec_send_packet(jpeg_.get(), packet_.get());
    packet_->data = nullptr;
    packet_->size = 0;
    if (sent < 0)
        return nullptr;
    av_frame_unref(frame_.get());
    if (avcodec_receive_frame(jpeg_.get(), frame_.get()) < 0)
        return nullptr;
    if (frame_->width <= 0 || frame_->height <= 0)
        return nullptr;
    bool fullRange = frame_->color_range == AVCOL_RANGE_JPEG;
    bool jpegRange = false;
    const AVPixelFormat plain = withoutJpegRange(static_cast<AVPixelFormat>(frame_->format), jpegRange);
    if (plain != frame_->format)
        fullRange = jpegRange;
    const uint8_t* planes[4] = {frame_->data[0], frame_->data[1], frame_->data[2], frame_->data[3]};
    const int strides[4] = {frame_->linesize[0], frame_->linesize[1], frame_->linesize[2], frame_->linesize[3]};
    auto pixels = convert(plain, fullRange, planes, strides, frame_->width, frame_->height);
    av_frame_unref(frame_.get());
    return pixels;
}

std::shared_ptr<PixelBuffer> V4l2FrameDecoder::convert(int sourceFormat, bool fullRange, const uint8_t* const planes[], const int strides[],
    int width, int height)
{
    const int key[4] = {sourceFormat, fullRange ? 1 : 0, width, height};
    if (!scale_ || !std::equal(key, key + 4, scaleKey_)) {
        scale_.reset(sws_getContext(width, height, static_cast<AVPixelFormat>(sourceFormat), width, height, AV_PIX_FMT_BGRA,
            SWS_BILINEAR, nullptr, nullptr, nullptr));
        if (!scale_)
            return nullptr;
        // Webcams speak BT.601; MJPEG is full range, raw YUV usually limited.
        const int* coefficients = sws_getCoefficients(SWS_CS_ITU601);
        sws_setColorspaceDetails(scale_.get(), coefficients, fullRange ? 1 : 0, coefficients, 1, 0, 1 << 16, 1 << 16);
        std::copy(key, key + 4, scaleKey_);
    }
    auto pixels = std::make_shared<PixelBuffer>(width, height);
    uint8_t* destination[4] = {pixels->data(), nullptr, nullptr, nullptr};
    const int destinationStrides[4] = {static_cast<int>(pixels->bytesPerRow()), 0, 0, 0};
    if (sws_scale(scale_.get(), planes, strides, 0, height, destination, destinationStrides) != height)
        return nullptr;
    // Camera pictures come as YUV, without alpha: every pixel is opaque.
    pixels->markOpaque();
    return pixels;
}
