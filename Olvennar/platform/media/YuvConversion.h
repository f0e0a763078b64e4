#pragma once

#include "platform/media/PixelBuffer.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

// Raw camera and encoder pictures ↔ BGRA PixelBuffers through swscale (BT.601 for SD sizes, BT.709 from
// 720 lines up, limited range unless asked).
//
// Threading: a converter caches its swscale context; use one per thread.
class YuvConversion {
public:
    enum class Format { yuyv422, uyvy422, nv12, i420 };

    // One picture in memory: up to three planes with their strides.
    struct Planes {
        Format format = Format::i420;
        int width = 0;
        int height = 0;
        const uint8_t* data[3] = {};
        int stride[3] = {};
        bool fullRange = false;
    };

    YuvConversion();
    ~YuvConversion();
    YuvConversion(const YuvConversion&) = delete;
    YuvConversion& operator=(const YuvConversion&) = delete;

    // Into `destination` (any size: the picture is scaled). False when the format cannot be converted.
    bool toBgra(const Planes& source, PixelBuffer& destination);

    // BGRA → tightly packed I420 (Y, then U, then V); even sizes only.
    static std::optional<std::vector<uint8_t>> toI420(const PixelBuffer& source);

private:
    struct Private;
    std::unique_ptr<Private> d;
};
