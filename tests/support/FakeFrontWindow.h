#pragma once

#include "platform/input/FrontWindowSource.h"

// The front window the test sets; nothing stands for this application being in front.
class FakeFrontWindow final : public FrontWindowSource {
public:
    std::optional<QRectF> bounds;
    int reads = 0;

    std::optional<QRectF> frontWindowBounds() override
    {
        ++reads;
        return bounds;
    }
};
