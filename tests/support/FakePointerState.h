#pragma once

#include "platform/input/PointerState.h"

// A pointer and cursor that stay where the test puts them.
class FakePointerState final : public PointerState {
public:
    std::optional<QPointF> pointer = QPointF(0, 0);
    std::optional<CursorImage> cursor;
    int cursorReads = 0;

    std::optional<QPointF> location() override { return pointer; }
    std::optional<CursorImage> currentCursor() override
    {
        ++cursorReads;
        return cursor;
    }
};
