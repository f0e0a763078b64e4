#include "support/X11TestWindow.h"

#include "platform/x11/XcbConnection.h"

#include <cstdlib>

X11TestWindow::X11TestWindow(XcbConnection& connection, const QRect& frame, uint32_t rgb, const Identity& identity)
    : connection_(connection), window_(xcb_generate_id(connection.get()))
{
    xcb_connection_t* c = connection.get();
    // Override-redirect keeps any window manager from moving it; the server paints the background pixel.
    const uint32_t values[] = {rgb, 1};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window_, connection.root(), static_cast<int16_t>(frame.x()), static_cast<int16_t>(frame.y()),
        static_cast<uint16_t>(frame.width()), static_cast<uint16_t>(frame.height()), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
        connection.screen()->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    if (!identity.wmInstance.isEmpty() || !identity.wmClass.isEmpty()) {
        const QByteArray wmClass = identity.wmInstance.toUtf8() + '\0' + identity.wmClass.toUtf8() + '\0';
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window_, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, static_cast<uint32_t>(wmClass.size()), wmClass.constData());
    }
    if (!identity.title.isEmpty()) {
        const QByteArray title = identity.title.toUtf8();
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window_, connection.atom("_NET_WM_NAME"), connection.atom("UTF8_STRING"), 8,
            static_cast<uint32_t>(title.size()), title.constData());
    }
    if (identity.pid != 0) {
        const uint32_t pid = static_cast<uint32_t>(identity.pid);
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window_, connection.atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &pid);
    }
    xcb_flush(c);
}

void X11TestWindow::sync()
{
    // A round trip: everything sent before it has been processed by the server.
    free(xcb_get_input_focus_reply(connection_.get(), xcb_get_input_focus(connection_.get()), nullptr));
}

X11TestWindow::~X11TestWindow()
{
    xcb_destroy_window(connection_.get(), window_);
    xcb_flush(connection_.get());
}

void X11TestWindow::map()
{
    xcb_map_window(connection_.get(), window_);
    sync();
}

void X11TestWindow::unmap()
{
    xcb_unmap_window(connection_.get(), window_);
    sync();
}

