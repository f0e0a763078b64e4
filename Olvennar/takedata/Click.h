#pragma once

// One mouse click of a screen take: take seconds, and the pointer position as fractions of the capture
// rectangle measured from its bottom-left corner.
struct Click {
    double time = 0;
    double x = 0;
    double y = 0;
    friend bool operator==(const Click&, const Click&) = default;
};
