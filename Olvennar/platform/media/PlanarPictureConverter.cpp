#include "platform/media/PlanarPictureConverter.h"

#include "platform/media/PictureConversion.h"
#include "platform/media/PixelBuffer.h"

extern "C" {
#include <libavutil/buffer.h>
}

namespace {

constexpr int rowAlignment = 64;

int aligned(int bytes) { return (bytes + rowAlignment - 1) / rowAlignment * rowAlignment; }

struct BufferPoolFree {
    void operator()(AVBufferPool* pool) const { av_buffer_pool_uninit(&pool); }
};

} // namespace

struct PlanarPictureConverter::State {
    State(int w, int h, int threads)
        : width(w)
        , height(h)
        , lumaStride(aligned(w))
        , chromaStride(aligned((w + 1) / 2))
        , conversion(VideoSettings::Scaling::bicubic, threads)
    {
        const size_t bytes = static_cast<size_t>(lumaStride) * static_cast<size_t>(h)
            + 2 * static_cast<size_t>(chromaStride) * static_cast<size_t>((h + 1) / 2) + rowAlignment;
        // Uninit only marks the pool: it goes when the last picture made from it is freed.
        if (w > 0 && h > 0)
            pool.reset(av_buffer_pool_init(bytes, av_buffer_alloc));
    }

    int width;
    int height;
    int lumaStride;
    int chromaStride;
    PictureConversion conversion;
    std::unique_ptr<AVBufferPool, BufferPoolFree> pool;
};

PlanarPictureConverter::PlanarPictureConverter(int width, int height, int threads)
    : state_(std::make_unique<State>(width, height, threads))
{
}

PlanarPictureConverter::~PlanarPictureConverter() = default;

std::variant<std::shared_ptr<const PlanarPicture>, MediaError> PlanarPictureConverter::convert(const PixelBuffer& picture)
{
    if (picture.isEmpty())
        return MediaError {QStringLiteral("an empty picture"), 0};
    auto made = blank();
    if (auto* failure = std::get_if<MediaError>(&made))
        return *failure;
    std::shared_ptr<PlanarPicture> planes = std::get<0>(std::move(made));
    if (auto failure = state_->conversion.convert(picture, planes->frame_.get()))
        return *failure;
    return std::shared_ptr<const PlanarPicture>(std::move(planes));
}

std::variant<std::shared_ptr<PlanarPicture>, MediaError> PlanarPictureConverter::blank()
{
    if (!state_->pool)
        return MediaError {QStringLiteral("invalid video size %1x%2").arg(state_->width).arg(state_->height), 0};
    auto made = std::make_shared<PlanarPicture>();
    made->frame_.reset(av_frame_alloc());
    AVFrame* frame = made->frame_.get();
    if (!frame)
        return MediaError {QStringLiteral("out of memory for a video frame"), 0};
    frame->buf[0] = av_buffer_pool_get(state_->pool.get());
    if (!frame->buf[0])
        return MediaError {QStringLiteral("out of memory for a video frame"), 0};
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = state_->width;
    frame->height = state_->height;
    // The buffer's start is at least 16-byte aligned; its planes start on 64-byte rows from there.
    uint8_t* base = frame->buf[0]->data;
    base += (rowAlignment - reinterpret_cast<uintptr_t>(base) % rowAlignment) % rowAlignment;
    const size_t lumaBytes = static_cast<size_t>(state_->lumaStride) * static_cast<size_t>(state_->height);
    const size_t chromaBytes = static_cast<size_t>(state_->chromaStride) * static_cast<size_t>((state_->height + 1) / 2);
    frame->data[0] = base;
    frame->data[1] = base + lumaBytes;
    frame->data[2] = base + lumaBytes + chromaBytes;
    frame->linesize[0] = state_->lumaStride;
    frame->linesize[1] = state_->chromaStride;
    frame->linesize[2] = state_->chromaStride;
    frame->color_primaries = AVCOL_PRI_BT709;
    frame->color_trc = AVCOL_TRC_BT709;
    frame->colorspace = AVCOL_SPC_BT709;
    frame->color_range = AVCOL_RANGE_MPEG;
    return made;
}
