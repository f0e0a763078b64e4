#include "compositing/FestrinInstruction.h"

#include <utility>

FestrinInstruction::FestrinInstruction(TimeRange timeRange, std::shared_ptr<const CompositorSettings> settings)
    : timeRange_(timeRange)
    , settings_(settings ? std::move(settings) : std::make_shared<const CompositorSettings>())
{
    requiredSourceTrackIDs_.push_back(settings_->screenTrackID);
    if (settings_->cameraTrackID != 0)
        requiredSourceTrackIDs_.push_back(settings_->cameraTrackID);
    if (settings_->phoneTrackID != 0)
        requiredSourceTrackIDs_.push_back(settings_->phoneTrackID);
}
