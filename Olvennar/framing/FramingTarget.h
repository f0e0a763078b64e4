#pragma once

// A closed range lower...upper.
struct FramingBand {
    double lowerBound = 0;
    double upperBound = 0;

    bool operator==(const FramingBand&) const = default;
};

// Where a face should sit inside a crop. Fractions of the crop's height, except centreTolerance (of its width).
struct FramingTarget {
    FramingBand eyeBand;
    FramingBand faceHeight;
    double centreTolerance = 0;
    FramingBand headTop; // head room; informative only, the rules do not judge it

    bool operator==(const FramingTarget&) const = default;
};
