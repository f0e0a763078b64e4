#pragma once

#include "platform/x11/ScreenLayoutSource.h"

#include <QRect>

// The screen as a list of displays says it is laid out, its root just holding them.
class FakeScreenLayout final : public ScreenLayoutSource {
public:
    explicit FakeScreenLayout(const std::optional<std::vector<ScreenDisplay>>& displays) : displays_(displays) {}

    std::optional<Layout> layout() override
    {
        if (!displays_)
            return std::nullopt;
        QRect root;
        for (const ScreenDisplay& display : *displays_)
            root |= display.frame;
        return Layout{*displays_, QSize(root.x() + root.width(), root.y() + root.height())};
    }

private:
    const std::optional<std::vector<ScreenDisplay>>& displays_;
};
