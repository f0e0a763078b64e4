#pragma once

#include "platform/video/VideoDeviceInfo.h"

#include <vector>

// Lists the video capture devices in a stable order.
class VideoDeviceCatalog {
public:
    virtual ~VideoDeviceCatalog() = default;
    virtual std::vector<VideoDeviceInfo> devices() = 0;
};
