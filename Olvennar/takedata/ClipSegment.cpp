#include "takedata/ClipSegment.h"

double ClipSegment::overlayAlpha(const std::vector<ClipSegment>& segments, double at, double fade)
{
    if (segments.empty())
        return 1.0;
    // The first span that matches decides, so a short gap stays covered by the earlier span's fade-out.
    for (const ClipSegment& segment : segments) {
        if (segment.start <= at && at <= segment.end) {
            if (segment.start <= fade)
                return 1.0; // a span that opens the take gets no fade-in
            const double into = at - segment.start;
            return into < fade ? into / fade : 1.0;
        }
        if (segment.end < at && at - segment.end < fade)
            return 1.0 - (at - segment.end) / fade;
    }
    return 0.0;
}

std::vector<ClipSegment> ClipSegment::coveringLateStart(const std::vector<ClipSegment>& segments, double grace)
{
    std::vector<ClipSegment> result = segments;
    if (!result.empty() && result.front().start > 0 && result.front().start <= grace)
        result.front().start = 0;
    return result;
}
