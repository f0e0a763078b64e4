#include "platform/media/PlanarPicture.h"

extern "C" {
#include <libavutil/frame.h>
}

void PlanarPicture::FrameFree::operator()(AVFrame* frame) const { av_frame_free(&frame); }

int PlanarPicture::width() const { return frame_ ? frame_->width : 0; }

int PlanarPicture::height() const { return frame_ ? frame_->height : 0; }

const uint8_t* PlanarPicture::plane(int index) const { return frame_ && index >= 0 && index < 3 ? frame_->data[index] : nullptr; }

int PlanarPicture::stride(int index) const { return frame_ && index >= 0 && index < 3 ? frame_->linesize[index] : 0; }

PlanarCanvas PlanarPicture::canvas()
{
    PlanarCanvas canvas;
    if (!frame_)
        return canvas;
    for (int i = 0; i < 3; ++i) {
        canvas.data[i] = frame_->data[i];
        canvas.stride[i] = frame_->linesize[i];
    }
    canvas.width = frame_->width;
    canvas.height = frame_->height;
    return canvas;
}

PlanarView PlanarPicture::view() const
{
    PlanarView view;
    if (!frame_)
        return view;
    for (int i = 0; i < 3; ++i) {
        view.data[i] = frame_->data[i];
        view.stride[i] = frame_->linesize[i];
    }
    view.width = frame_->width;
    view.height = frame_->height;
    return view;
}

std::shared_ptr<const PlanarPicture> PlanarPicture::referencing(const AVFrame* frame)
{
    if (!frame)
        return nullptr;
    auto picture = std::make_shared<PlanarPicture>();
    picture->frame_.reset(av_frame_clone(frame));
    if (!picture->frame_)
        return nullptr;
    return picture;
}
