#include "platform/video/CameraHubRegistry.h"

#include "platform/video/V4l2CameraHub.h"

CameraHubRegistry::CameraHubRegistry(Opener opener)
    : opener_(std::move(opener))
{
    if (!opener_)
        opener_ = [](const QString& path) {
            V4l2CameraHub::OpenResult opened = V4l2CameraHub::open(path);
            return Result{std::move(opened.hub), std::move(opened.error)};
        };
}

CameraHubRegistry::Result CameraHubRegistry::hub(const QString& uniqueID)
{
    std::lock_guard guard(lock_);
    if (const auto found = hubs_.find(uniqueID); found != hubs_.end()) {
        if (std::shared_ptr<CameraHub> existing = found->second.lock(); existing && existing->isConnected())
            return {existing, std::nullopt};
        hubs_.erase(found);
    }
    Result opened = opener_(uniqueID);
    if (opened.hub)
        hubs_[uniqueID] = opened.hub;
    return opened;
}
