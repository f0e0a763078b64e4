#include "platform/media/YuvConversion.h"

#include "platform/media/LibavHandles.h"

namespace {

AVPixelFormat libavFormat(YuvConversion::Format format)
{
    switch (format) {
    case YuvConversion::Format::yuyv422: return AV_PIX_FMT_YUYV422;
    case YuvConversion::Format::uyvy422: return AV_PIX_FMT_UYVY422;
    case YuvConversion::Format::nv12: return AV_PIX_FMT_NV12;
    case YuvConversion::Format::i420: return AV_PIX_FMT_YUV420P;
    }
    return AV_PIX_FMT_NONE;
}

const int* coefficientsFor(int height) { return sws_getCoefficients(height >= 720 ? SWS_CS_ITU709 : SWS_CS_ITU601); }

} // namespace

struct YuvConversion::Private {
    SwsContext* context = nullptr; // sws_getCachedContext reuses it while nothing changes
    ~Private() { sws_freeContext(context); }
};

YuvConversion::YuvConversion() : d(std::make_unique<Private>()) {}

YuvConversion::~YuvConversion() = default;

bool YuvConversion::toBgra(const Planes& source, PixelBuffer& destination)
{
    if (source.width <= 0 || source.height <= 0 || destination.isEmpty() || !source.data[0])
        return false;
    d->context = sws_getCachedContext(d->context, source.width, source.height, libavFormat(source.format), destination.width(),
        destination.height(), AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!d->context)
        return false;
    sws_setColorspaceDetails(d->context, coefficientsFor(source.height), source.fullRange ? 1 : 0, sws_getCoefficients(SWS_CS_DEFAULT), 1,
        0, 1 << 16, 1 << 16);
    uint8_t* out[4] = {destination.data(), nullptr, nullptr, nullptr};
    const int outStride[4] = {static_cast<int>(destination.bytesPerRow()), 0, 0, 0};
    const uint8_t* in[4] = {source.data[0], source.data[1], source.data[2], nullptr};
    const int inStride[4] = {source.stride[0], source.stride[1], source.stride[2], 0};
    return sws_scale(d->context, in, inStride, 0, source.height, out, outStride) > 0;
}

std::optional<std::vector<uint8_t>> YuvConversion::toI420(const PixelBuffer& source)
{
    const int w = source.width();
    const int h = source.height();
    if (source.isEmpty() || w % 2 || h % 2)
        return std::nullopt;
    Libav::Sws context(sws_getContext(w, h, AV_PIX_FMT_BGRA, w, h, AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!context)
        return std::nullopt;
    sws_setColorspaceDetails(context.get(), sws_getCoefficients(SWS_CS_DEFAULT), 1, coefficientsFor(h), 0, 0, 1 << 16, 1 << 16);
    std::vector<uint8_t> planes(static_cast<size_t>(w) * h * 3 / 2);
    uint8_t* out[4] = {planes.data(), planes.data() + static_cast<size_t>(w) * h, planes.data() + static_cast<size_t>(w) * h * 5 / 4, nullptr};
    const int outStride[4] = {w, w / 2, w / 2, 0};
    const uint8_t* in[4] = {source.data(), nullptr, nullptr, nullptr};
    const int inStride[4] = {static_cast<int>(source.bytesPerRow()), 0, 0, 0};
    sws_scale(context.get(), in, inStride, 0, h, out, outStride);
    return planes;
}
