#pragma once

#include "platform/system/MediaTime.h"

#include <QString>

#include <cstdint>
#include <vector>

// A capture-capable video node with what it can deliver. Frame intervals are frame durations
// (1/30 s for 30 fps).
struct VideoDeviceInfo {
    struct FrameSize {
        int width = 0;
        int height = 0;
        std::vector<MediaTime> intervals;
    };
    struct Format {
        uint32_t fourcc = 0;
        QString description;
        std::vector<FrameSize> sizes;
    };

    QString uniqueID;
    QString name;
    QString node;
    QString driver;
    QString busInfo;
    std::vector<Format> formats;
};
