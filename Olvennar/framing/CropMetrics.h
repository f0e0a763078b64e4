#pragma once

// One face measured against one crop: geometry local to the crop (0 at its left/top edge, 1 at its right/bottom),
// light over the whole picture.
struct CropMetrics {
    double faceHeight = 0;
    double faceWidth = 0;
    double eyeY = 0;
    double centreX = 0;
    double headTop = 0;
    double chin = 0;
    double roll = 0;
    float faceLuma = 0;
    float backgroundLuma = 0;
    float backgroundBright = 0;

    bool operator==(const CropMetrics&) const = default;
};
