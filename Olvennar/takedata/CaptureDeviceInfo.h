#pragma once

#include <QString>

#include <vector>

// What the controller knows of one listed capture device (microphone, camera or phone screen): enough to
// select it by its unique ID, show its name, rank microphones and offer camera qualities.
struct CaptureDeviceInfo {
    struct FrameRateRange {
        double minimum = 0;
        double maximum = 0;
    };
    struct Format {
        int width = 0;
        int height = 0;
        std::vector<FrameRateRange> frameRateRanges; // in the device's order
    };

    QString uniqueID;
    QString localizedName;
    int rank = 0; // microphones: higher is better (filled by device discovery)
    std::vector<Format> formats; // cameras
};

// One screen that can be recorded. `screenName` is the desktop's name of the matching screen, empty when
// no screen matches the display.
struct DisplayInfo {
    quint32 displayID = 0;
    int width = 0;
    int height = 0;
    QString screenName;
};
