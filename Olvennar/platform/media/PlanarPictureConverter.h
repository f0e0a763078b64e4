#pragma once

#include "platform/media/MediaError.h"
#include "platform/media/PlanarPicture.h"

#include <memory>
#include <variant>

class PixelBuffer;

// Converts BGRA pictures into PlanarPictures of one size, scaled when the picture's size differs, with the
// same arithmetic a video writer input uses for BGRA. Plane memory is recycled: a picture's planes return
// for reuse when its last reference goes.
//
// Threading: convert() and blank() from one thread at a time (each drawing thread has its own converter); the pictures
// may outlive the converter and be freed on any thread.
class PlanarPictureConverter {
public:
    // `threads`: swscale slice threads per picture; 1 where pictures are already converted side by side.
    PlanarPictureConverter(int width, int height, int threads = 1);
    ~PlanarPictureConverter();
    PlanarPictureConverter(const PlanarPictureConverter&) = delete;
    PlanarPictureConverter& operator=(const PlanarPictureConverter&) = delete;

    std::variant<std::shared_ptr<const PlanarPicture>, MediaError> convert(const PixelBuffer& picture);
    // A picture of the converter's size from the same recycled memory, its planes left as they come, for a
    // renderer that draws them itself.
    std::variant<std::shared_ptr<PlanarPicture>, MediaError> blank();

private:
    struct State;
    std::unique_ptr<State> state_;
};
