#pragma once

#include "platform/video/VideoDeviceCatalog.h"

// Lists the devices the test sets, in that order.
class FakeVideoDeviceCatalog final : public VideoDeviceCatalog {
public:
    std::vector<VideoDeviceInfo> list;

    std::vector<VideoDeviceInfo> devices() override { return list; }

    static VideoDeviceInfo device(const QString& uniqueID, const QString& name)
    {
        VideoDeviceInfo info;
        info.uniqueID = uniqueID;
        info.name = name;
        info.node = QStringLiteral("/dev/video-") + uniqueID;
        return info;
    }
};
