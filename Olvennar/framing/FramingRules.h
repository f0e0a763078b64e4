#pragma once

#include "framing/CropMetrics.h"
#include "framing/FaceMeasurement.h"
#include "framing/FrameReading.h"
#include "framing/FramingIssue.h"
#include "framing/ResolvedFramingCrop.h"

#include <QString>

#include <functional>
#include <optional>
#include <vector>

// Hint wording: (kind, major, mirrored, crop names or none) -> the text a person reads.
using FramingMessageProvider
    = std::function<QString(FramingIssueKind kind, bool major, bool mirrored, const std::optional<QString>& where)>;

// The pure judgement of one face against one crop, and the hint wordings.
namespace FramingRules {

struct Evaluation {
    std::vector<FramingIssue> issues; // in rule order; the coach sorts them
    CropMetrics metrics;
};

// `face` is the smoothed face; `wasActive` tells which kinds this crop reported at the previous step, whose
// thresholds are then relaxed so that a hint does not flicker at its edge.
Evaluation evaluate(const FrameReading& reading, const FaceMeasurement& face, const ResolvedFramingCrop& crop,
    const std::function<bool(FramingIssueKind)>& wasActive);

// Desk camera wording.
QString message(FramingIssueKind kind, bool major, bool mirrored, const std::optional<QString>& where);
// Desk wording when the whole camera frame is the only crop: too close asks for the hands and desk to show.
QString fullFrameMessage(FramingIssueKind kind, bool major, bool mirrored, const std::optional<QString>& where);
// A phone held in front of the speaker; crop names are never added.
QString phoneMessage(FramingIssueKind kind, bool major, bool mirrored, const std::optional<QString>& where);

} // namespace FramingRules
