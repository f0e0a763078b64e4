#pragma once

#include "platform/input/PointerState.h"

#include <memory>

class XcbConnection;

// The pointer position from the core protocol and the cursor image and name from XFixes, on its own
// X connection.
class X11PointerState final : public PointerState {
public:
    // Nothing when the display cannot be reached; the cursor stays unknown without XFixes 2.
    static std::unique_ptr<X11PointerState> open(const char* displayName = nullptr);
    ~X11PointerState() override;

    std::optional<QPointF> location() override;
    std::optional<CursorImage> currentCursor() override;

private:
    X11PointerState(std::unique_ptr<XcbConnection> connection, bool hasCursorNames);

    std::unique_ptr<XcbConnection> connection_;
    bool hasCursorNames_;
};
