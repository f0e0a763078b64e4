#pragma once

#include "platform/media/LibavHandles.h"
#include "platform/media/MediaError.h"
#include "platform/media/VideoSettings.h"

#include <optional>

class PixelBuffer;

// Internal: premultiplied BGRA pictures → the encoder's frame (4:2:0 or NV12, BT.709 limited range), scaled in
// the same pass when the sizes differ. Large pictures are converted in horizontal slices on swscale's own
// threads: each slice reads the whole picture, so the bytes are the same as one thread's.
//
// Threading: one thread at a time; the slice threads live and die with the converter.
class PictureConversion {
public:
    // `threads`: 0 picks by picture size and the cores this process may use.
    explicit PictureConversion(VideoSettings::Scaling scaling, int threads = 0) : scaling_(scaling), threads_(threads) {}

    // Into `frame`, which has its format, size and buffers. A picture of a new size rebuilds the converter.
    std::optional<MediaError> convert(const PixelBuffer& picture, AVFrame* frame);

    // The slice threads a picture of this many pixels gets on `cores` cores.
    static int threadsFor(int64_t pixels, int cores);

private:
    Libav::Sws context_;
    Libav::Frame source_ = Libav::makeFrame();
    VideoSettings::Scaling scaling_;
    int threads_;
    int sourceWidth_ = 0;
    int sourceHeight_ = 0;
    int targetWidth_ = 0;
    int targetHeight_ = 0;
    int targetFormat_ = -1;
};
