#include "platform/x11/ExclusionPlan.h"

ExclusionPlan ExclusionPlan::make(const std::vector<WindowInfo>& windows, const std::vector<bool>& excluded, const QRect& bounds)
{
    ExclusionPlan plan;
    for (size_t e = 0; e < windows.size() && e < excluded.size(); ++e) {
        if (!excluded[e])
            continue;
        const QRect area = windows[e].frame & bounds;
        if (area.isEmpty())
            continue;
        Region region{area, {}};
        for (size_t w = 0; w < windows.size(); ++w) {
            if (w < excluded.size() && excluded[w])
                continue;
            const QRect overlap = windows[w].frame & area;
            if (!overlap.isEmpty())
                region.patches.push_back({w, overlap});
        }
        plan.regions.push_back(std::move(region));
    }
    return plan;
}
