#include "platform/input/X11PointerState.h"

#include "platform/input/RootCoordinates.h"
#include "platform/x11/XcbConnection.h"

#include <xcb/xfixes.h>

std::unique_ptr<X11PointerState> X11PointerState::open(const char* displayName)
{
    auto connection = XcbConnection::open(displayName);
    if (!connection)
        return nullptr;
    xcb_connection_t* c = connection->get();
    bool hasCursorNames = false;
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(c, &xcb_xfixes_id);
    if (extension && extension->present) {
        // XFixes answers nothing until the client has announced its version.
        XcbReply<xcb_xfixes_query_version_reply_t> version(
            xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 4, 0), nullptr));
        hasCursorNames = version && version->major_version >= 2;
    }
    return std::unique_ptr<X11PointerState>(new X11PointerState(std::move(connection), hasCursorNames));
}

X11PointerState::X11PointerState(std::unique_ptr<XcbConnection> connection, bool hasCursorNames)
    : connection_(std::move(connection)), hasCursorNames_(hasCursorNames)
{
}

X11PointerState::~X11PointerState() = default;

std::optional<QPointF> X11PointerState::location()
{
    xcb_connection_t* c = connection_->get();
    const xcb_window_t root = connection_->root();
    // The root's current height (RandR may have resized it since connecting); both requests in one trip.
    const auto geometryCookie = xcb_get_geometry(c, root);
    const auto pointerCookie = xcb_query_pointer(c, root);
    XcbReply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, geometryCookie, nullptr));
    XcbReply<xcb_query_pointer_reply_t> pointer(xcb_query_pointer_reply(c, pointerCookie, nullptr));
    if (!geometry || !pointer || !pointer->same_screen)
        return std::nullopt;
    return RootCoordinates::point(pointer->root_x, pointer->root_y, geometry->height);
}

std::optional<CursorImage> X11PointerState::currentCursor()
{
    if (!hasCursorNames_)
        return std::nullopt;
    xcb_connection_t* c = connection_->get();
    XcbReply<xcb_xfixes_get_cursor_image_and_name_reply_t> reply(
        xcb_xfixes_get_cursor_image_and_name_reply(c, xcb_xfixes_get_cursor_image_and_name(c), nullptr));
    if (!reply)
        return std::nullopt;
    CursorImage image;
    image.width = reply->width;
    image.height = reply->height;
    image.hotX = reply->xhot;
    image.hotY = reply->yhot;
    const int nameLength = xcb_xfixes_get_cursor_image_and_name_name_length(reply.get());
    if (nameLength > 0)
        image.name = QString::fromLatin1(xcb_xfixes_get_cursor_image_and_name_name(reply.get()), nameLength);
    return image;
}
