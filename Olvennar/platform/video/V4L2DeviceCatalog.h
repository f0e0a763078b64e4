#pragma once

#include "platform/video/VideoDeviceCatalog.h"

#include <QString>

#include <optional>

// The video4linux nodes udev knows, opened briefly (never streamed) to read their capabilities and formats.
// Nodes that cannot capture video (metadata, output, codecs) are left out.
class V4L2DeviceCatalog final : public VideoDeviceCatalog {
public:
    std::vector<VideoDeviceInfo> devices() override;
    // Reads one node; nothing when it cannot be opened or does not capture video.
    static std::optional<VideoDeviceInfo> probe(const QString& node);
};
