#pragma once

#include <vector>

// A span of take time in which a camera or iPhone recording really has frames. Lists of them are kept
// in the order the recorder produced them (ascending time); nothing here sorts.
struct ClipSegment {
    double start = 0;
    double end = 0;

    // Opacity of the overlay showing this recording at take time `at`, fading over `fade` seconds at
    // span edges. A list without spans shows the overlay throughout.
    static double overlayAlpha(const std::vector<ClipSegment>& segments, double at, double fade);
    // A first span that starts late by at most `grace` seconds is stretched back to 0.
    static std::vector<ClipSegment> coveringLateStart(const std::vector<ClipSegment>& segments, double grace);

    friend bool operator==(const ClipSegment&, const ClipSegment&) = default;
};
