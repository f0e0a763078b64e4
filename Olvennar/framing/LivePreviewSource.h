#pragma once

#include "takedata/CameraFrameTap.h"

#include <memory>

// A live camera picture that a view may show without opening the camera a second time: a running recorder's
// frame tap, and whether the view flips it. Passed on as one shared object; a host that is handed the same
// object again keeps what it shows.
struct LivePreviewSource {
    std::shared_ptr<CameraFrameTap> tap;
    bool mirrored = false;
};
