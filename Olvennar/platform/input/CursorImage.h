#pragma once

#include <QString>

// The system cursor showing right now: its image size and hot spot in pixels (hot spot measured from the
// image's top-left corner) and the theme name it was loaded by, empty when it carries none.
struct CursorImage {
    int width = 0;
    int height = 0;
    int hotX = 0;
    int hotY = 0;
    QString name;
};
