#include "platform/x11/X11Compositor.h"

#include "platform/x11/XcbConnection.h"

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#include <cstring>

namespace X11Compositor {

bool ownsScreen()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return false;
    // The GUI opens the display's default screen; a one-screen display (every desktop today) is screen 0.
    const char* name = "_NET_WM_CM_S0";
    const auto atomCookie = xcb_intern_atom(connection, 1, static_cast<uint16_t>(std::strlen(name)), name);
    XcbReply<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(connection, atomCookie, nullptr));
    if (!atom || atom->atom == XCB_ATOM_NONE)
        return false;
    XcbReply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom->atom), nullptr));
    return owner && owner->owner != XCB_WINDOW_NONE;
}

} // namespace X11Compositor
