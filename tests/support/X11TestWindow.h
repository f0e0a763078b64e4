#pragma once

#include <QRect>
#include <QString>

#include <xcb/xcb.h>

#include <cstdint>

class XcbConnection;

// A plain top-level window of one colour (the server paints it), with the identity properties the capture
// reads. Destroyed with the object.
class X11TestWindow {
public:
    struct Identity {
        QString wmInstance;
        QString wmClass;
        QString title;
        int64_t pid = 0; // 0: no _NET_WM_PID
    };
    X11TestWindow(XcbConnection& connection, const QRect& frame, uint32_t rgb, const Identity& identity);
    ~X11TestWindow();
    X11TestWindow(const X11TestWindow&) = delete;
    X11TestWindow& operator=(const X11TestWindow&) = delete;

    xcb_window_t id() const { return window_; }
    void map();
    void unmap();

private:
    void sync();
    XcbConnection& connection_;
    xcb_window_t window_;
};
