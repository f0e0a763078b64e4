#pragma once

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

// One xcb connection, owned. Capture threads and trackers each open their own (xcb connections are
// thread-safe, but a grabber must not share its request stream with the GUI's connection).
class XcbConnection {
public:
    // Connects to $DISPLAY (or the given display name); nothing when the server cannot be reached.
    static std::unique_ptr<XcbConnection> open(const char* displayName = nullptr);
    ~XcbConnection();
    XcbConnection(const XcbConnection&) = delete;
    XcbConnection& operator=(const XcbConnection&) = delete;

    xcb_connection_t* get() const { return connection_; }
    xcb_screen_t* screen() const { return screen_; }
    xcb_window_t root() const { return screen_ ? screen_->root : static_cast<xcb_window_t>(XCB_WINDOW_NONE); }
    bool hasError() const { return xcb_connection_has_error(connection_) != 0; }
    // Interned atom, cached per connection by the caller if needed; XCB_ATOM_NONE on failure.
    xcb_atom_t atom(const char* name, bool onlyIfExists = false) const;

private:
    XcbConnection(xcb_connection_t* connection, xcb_screen_t* screen) : connection_(connection), screen_(screen) {}

    xcb_connection_t* connection_;
    xcb_screen_t* screen_;
};

// Frees xcb replies: std::unique_ptr<xcb_get_geometry_reply_t, XcbFree>.
struct XcbFree {
    void operator()(void* reply) const { std::free(reply); }
};
template <typename Reply>
using XcbReply = std::unique_ptr<Reply, XcbFree>;
