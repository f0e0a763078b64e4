#pragma once

#include "platform/media/PixelBuffer.h"
#include "platform/video/CameraHub.h"

#include <cstddef>
#include <cstdint>
#include <memory>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

// Turns one camera buffer (Motion-JPEG, YUYV 4:2:2 or NV12 4:2:0) into an opaque BGRA picture.
// One decoder per stream; not thread-safe. Broken or short buffers give nothing, never a crash: a camera
// that hiccups loses a frame, not the take.
class V4l2FrameDecoder {
public:
    V4l2FrameDecoder();
    ~V4l2FrameDecoder();
    V4l2FrameDecoder(const V4l2FrameDecoder&) = delete;
    V4l2FrameDecoder& operator=(const V4l2FrameDecoder&) = delete;

    // `bytesPerLine` 0 means tightly packed rows.
    std::shared_ptr<PixelBuffer> decode(CameraHub::PixelFormat format, const uint8_t* data, size_t size, int width, int height,
        size_t bytesPerLine = 0);

private:
    std::shared_ptr<PixelBuffer> decodeJpeg(const uint8_t* data, size_t size, int width, int height);
    // Converts planes of the given libav pixel format into a new BGRA buffer.
    std::shared_ptr<PixelBuffer> convert(int sourceFormat, bool fullRange, const uint8_t* const planes[], const int strides[], int width,
        int height);

    struct CodecDeleter {
        void operator()(AVCodecContext* context) const;
    };
    struct FrameDeleter {
        void operator()(AVFrame* frame) const;
    };
    struct PacketDeleter {
        void operator()(AVPacket* packet) const;
    };
    struct ScaleDeleter {
        void operator()(SwsContext* context) const;
    };
    std::unique_ptr<AVCodecContext, CodecDeleter> jpeg_;
    std::unique_ptr<AVFrame, FrameDeleter> frame_;
    std::unique_ptr<AVPacket, PacketDeleter> packet_;
    std::unique_ptr<SwsContext, ScaleDeleter> scale_;
    int scaleKey_[4] = {-1, -1, -1, -1};
};
