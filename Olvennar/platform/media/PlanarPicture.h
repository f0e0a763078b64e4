#pragma once

#include "platform/media/PlanarCanvas.h"

#include <cstdint>
#include <memory>

struct AVFrame;

// A picture in the software encoders' input format: 8-bit 4:2:0 planes (Y, Cb, Cr), BT.709 limited range.
// Drawing threads make them (PlanarPictureConverter) so an encoder's thread only encodes; a video writer
// input takes them as they are, without converting again. A movie reader hands out decoded pictures of that
// format the same way, sharing the decoder's planes.
//
// Threading: immutable once shared (its maker may draw into canvas() first); may be read and freed on any thread.
class PlanarPicture {
public:
    int width() const;
    int height() const;
    // Plane 0 is luma; 1 and 2 are chroma at half the width and height (rounded up).
    const uint8_t* plane(int index) const;
    int stride(int index) const;
    // The planes to draw into, for the thread that made the picture, before it shares it.
    PlanarCanvas canvas();
    PlanarView view() const;
    // A picture sharing a decoded frame's planes (internal to the media layer); nothing without a frame.
    static std::shared_ptr<const PlanarPicture> referencing(const AVFrame* frame);
    // The frame the encoder is handed (internal to the media layer).
    const AVFrame* frame() const { return frame_.get(); }

private:
    friend class PlanarPictureConverter;
    struct FrameFree {
        void operator()(AVFrame* frame) const;
    };
    std::unique_ptr<AVFrame, FrameFree> frame_;
};
