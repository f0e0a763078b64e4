#pragma once

#include "compositing/CompositorSettings.h"
#include "platform/system/MediaTime.h"

#include <cstdint>
#include <memory>
#include <vector>

// The one instruction of an overlay export: which span it covers, which source tracks each frame needs and
// the settings every frame is drawn from. Immutable once made.
class FestrinInstruction {
public:
    struct TimeRange {
        MediaTime start;
        MediaTime duration;
    };

    // The settings' track IDs are read now: screen, then camera and phone when they are not 0.
    FestrinInstruction(TimeRange timeRange, std::shared_ptr<const CompositorSettings> settings);

    const TimeRange& timeRange() const { return timeRange_; }
    bool enablePostProcessing() const { return false; }
    bool containsTweening() const { return true; }
    const std::vector<int32_t>& requiredSourceTrackIDs() const { return requiredSourceTrackIDs_; }
    // No track is passed through untouched: every frame is drawn.
    int32_t passthroughTrackID() const { return 0; }
    const CompositorSettings& settings() const { return *settings_; }

private:
    TimeRange timeRange_;
    std::vector<int32_t> requiredSourceTrackIDs_;
    std::shared_ptr<const CompositorSettings> settings_;
};
