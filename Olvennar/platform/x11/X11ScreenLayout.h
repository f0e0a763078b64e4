#pragma once

#include "platform/x11/ScreenLayoutSource.h"

#include <memory>

class XcbConnection;

// The screen's layout on its own X connection, read again only once a RandR notice says it changed, so a tracker
// may ask at every tick without a round trip. One thread at a time (the main thread's trackers).
class X11ScreenLayout final : public ScreenLayoutSource {
public:
    // Nothing when the display cannot be reached.
    static std::unique_ptr<X11ScreenLayout> open(const char* displayName = nullptr);
    ~X11ScreenLayout() override;

    std::optional<Layout> layout() override;

private:
    explicit X11ScreenLayout(std::unique_ptr<XcbConnection> connection);

    std::unique_ptr<XcbConnection> connection_;
    std::optional<Layout> layout_;
};
