#pragma once

#include "platform/vision/FaceObservation.h"

#include <QRectF>

#include <cstddef>
#include <cstdint>
#include <vector>

// Finds faces and their landmarks in one greyscale picture. One caller at a time.
class FaceDetector {
public:
    struct GreyImage {
        const uint8_t* pixels = nullptr;
        int width = 0;
        int height = 0;
        size_t bytesPerRow = 0;
    };
    struct Detection {
        std::vector<FaceObservation> faces; // in the detector's own order
        bool available = true;              // false: the detector could not run at all (no faces were looked for)
    };

    virtual ~FaceDetector() = default;
    virtual Detection detect(const GreyImage& image) = 0;
    // Looks only inside `region` (image pixels) and reports the faces found there, normalised to the whole
    // image as detect() does. A detector without a cheaper way looks at the whole image.
    virtual Detection detectAround(const GreyImage& image, const QRectF& region)
    {
        static_cast<void>(region);
        return detect(image);
    }
};
