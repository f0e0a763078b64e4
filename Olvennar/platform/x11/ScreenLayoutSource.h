#pragma once

#include "platform/x11/ScreenDisplay.h"

#include <QSize>

#include <optional>
#include <vector>

// The screen as it is laid out now: its displays and the root window's size.
class ScreenLayoutSource {
public:
    struct Layout {
        std::vector<ScreenDisplay> displays;
        QSize root;
    };

    virtual ~ScreenLayoutSource() = default;
    // Nothing when the screen cannot be read.
    virtual std::optional<Layout> layout() = 0;
};
