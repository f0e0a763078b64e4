#pragma once

#include <QSize>

#include <xcb/randr.h>

#include <optional>

class XcbConnection;

// Resizes the test server's one display through RandR, as a display settings tool does when a projector or a
// dock changes the resolution. Xvfb forgets a mode made here, and goes back to its first size, once the
// connection that made it closes.
class DisplayModes {
public:
    explicit DisplayModes(XcbConnection& connection) : connection_(connection) {}

    bool resize(QSize size);
    // The display off, as when it is unplugged: RandR lists no monitor for it any more.
    bool turnOff();

private:
    bool setScreenSize(QSize size);
    bool setCrtc(const xcb_randr_get_screen_resources_reply_t* resources, xcb_randr_mode_t mode, std::optional<xcb_randr_output_t> output);
    XcbConnection& connection_;
};
