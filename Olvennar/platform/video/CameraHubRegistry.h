#pragma once

#include "platform/video/CameraHub.h"

#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

// One hub per camera for the whole process: every consumer asking for a device gets the same stream.
// A hub that was released or whose camera went away is opened afresh on the next request.
class CameraHubRegistry {
public:
    struct Result {
        std::shared_ptr<CameraHub> hub;
        std::optional<CameraHub::Error> error;
    };
    using Opener = std::function<Result(const QString& uniqueID)>;

    // The V4L2 opener (unique ID = device node path) unless a test hands in another.
    explicit CameraHubRegistry(Opener opener = {});

    Result hub(const QString& uniqueID);

private:
    Opener opener_;
    std::mutex lock_;
    std::map<QString, std::weak_ptr<CameraHub>> hubs_;
};
