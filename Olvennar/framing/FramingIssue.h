#pragma once

#include <array>
#include <optional>

// What can be wrong with a framing. The raw order is the order of importance: lists are shown sorted by it.
enum class FramingIssueKind {
    noFace = 0,
    headCut = 1,
    chinCut = 2,
    outOfCrop = 3,
    tooDark = 4,
    backlit = 5,
    washedOut = 6,
    tooClose = 7,
    tooFar = 8,
    eyesLow = 9,
    eyesHigh = 10,
    offLeft = 11,
    offRight = 12,
    tilted = 13,
};

namespace FramingIssueKinds {
inline constexpr int caseCount = 14;
inline constexpr int rawValue(FramingIssueKind kind) { return static_cast<int>(kind); }
inline constexpr std::optional<FramingIssueKind> fromRawValue(int raw)
{
    if (raw < 0 || raw >= caseCount)
        return std::nullopt;
    return static_cast<FramingIssueKind>(raw);
}
// The kind that a framing can not be at the same time (too close / too far and so on); none for the rest.
inline constexpr std::optional<FramingIssueKind> opposite(FramingIssueKind kind)
{
    switch (kind) {
    case FramingIssueKind::tooClose: return FramingIssueKind::tooFar;
    case FramingIssueKind::tooFar: return FramingIssueKind::tooClose;
    case FramingIssueKind::eyesLow: return FramingIssueKind::eyesHigh;
    case FramingIssueKind::eyesHigh: return FramingIssueKind::eyesLow;
    case FramingIssueKind::offLeft: return FramingIssueKind::offRight;
    case FramingIssueKind::offRight: return FramingIssueKind::offLeft;
    default: return std::nullopt;
    }
}
} // namespace FramingIssueKinds

struct FramingIssue {
    FramingIssueKind kind = FramingIssueKind::noFace;
    double excess = 0; // how far past the threshold, in the rule's own unit; larger is worse
    bool major = false;

    bool operator==(const FramingIssue&) const = default;
};
