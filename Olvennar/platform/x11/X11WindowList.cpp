#include "platform/x11/X11WindowList.h"

#include "platform/x11/XcbConnection.h"

#include <cstring>

namespace {

struct Atoms {
    xcb_atom_t wmState;
    xcb_atom_t netWmName;
    xcb_atom_t netWmPid;
    xcb_atom_t utf8String;
};

XcbReply<xcb_get_property_reply_t> property(xcb_connection_t* c, xcb_window_t window, xcb_atom_t name, xcb_atom_t type, uint32_t maxWords = 1024)
{
    return XcbReply<xcb_get_property_reply_t>(
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, name, type, 0, maxWords), nullptr));
}

bool hasProperty(xcb_connection_t* c, xcb_window_t window, xcb_atom_t name)
{
    auto reply = property(c, window, name, XCB_GET_PROPERTY_TYPE_ANY, 0);
    return reply && reply->type != XCB_ATOM_NONE;
}

// Depth-first search for the managed client below a frame; a few levels cover every common window manager.
xcb_window_t findClient(xcb_connection_t* c, xcb_window_t window, xcb_atom_t wmState, int depth)
{
    if (hasProperty(c, window, wmState))
        return window;
    if (depth == 0)
        return XCB_WINDOW_NONE;
    XcbReply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr));
    if (!tree)
        return XCB_WINDOW_NONE;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    for (int i = xcb_query_tree_children_length(tree.get()) - 1; i >= 0; --i) {
        if (xcb_window_t found = findClient(c, children[i], wmState, depth - 1); found != XCB_WINDOW_NONE)
            return found;
    }
    return XCB_WINDOW_NONE;
}

QString textProperty(xcb_connection_t* c, xcb_window_t window, xcb_atom_t name, xcb_atom_t type)
{
    auto reply = property(c, window, name, type);
    if (!reply || reply->format != 8)
        return {};
    return QString::fromUtf8(static_cast<const char*>(xcb_get_property_value(reply.get())), xcb_get_property_value_length(reply.get()));
}

void readIdentity(xcb_connection_t* c, xcb_window_t client, const Atoms& atoms, WindowInfo& info)
{
    if (auto wmClass = property(c, client, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING); wmClass && wmClass->format == 8) {
        // Two NUL-terminated strings: instance, then class.
        const char* data = static_cast<const char*>(xcb_get_property_value(wmClass.get()));
        const int length = xcb_get_property_value_length(wmClass.get());
        const int first = static_cast<int>(strnlen(data, static_cast<size_t>(length)));
        info.wmInstance = QString::fromUtf8(data, first);
        if (first + 1 < length)
            info.wmClass = QString::fromUtf8(data + first + 1, static_cast<int>(strnlen(data + first + 1, static_cast<size_t>(length - first - 1))));
    }
    info.title = textProperty(c, client, atoms.netWmName, atoms.utf8String);
    if (info.title.isEmpty())
        info.title = textProperty(c, client, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY);
    if (auto pid = property(c, client, atoms.netWmPid, XCB_ATOM_CARDINAL); pid && pid->format == 32 && xcb_get_property_value_length(pid.get()) >= 4)
        info.pid = *static_cast<const uint32_t*>(xcb_get_property_value(pid.get()));
}

} // namespace

namespace X11WindowList {

std::vector<WindowInfo> stackingOrder(XcbConnection& connection)
{
    std::vector<WindowInfo> windows;
    xcb_connection_t* c = connection.get();
    const Atoms atoms{connection.atom("WM_STATE"), connection.atom("_NET_WM_NAME"), connection.atom("_NET_WM_PID"), connection.atom("UTF8_STRING")};
    XcbReply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, connection.root()), nullptr));
    if (!tree)
        return windows;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    const int count = xcb_query_tree_children_length(tree.get());

    // Pipeline the attribute and geometry requests of every child before reading any reply.
    std::vector<xcb_get_window_attributes_cookie_t> attributeCookies(static_cast<size_t>(count));
    std::vector<xcb_get_geometry_cookie_t> geometryCookies(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        attributeCookies[static_cast<size_t>(i)] = xcb_get_window_attributes(c, children[i]);
        geometryCookies[static_cast<size_t>(i)] = xcb_get_geometry(c, children[i]);
    }
    for (int i = 0; i < count; ++i) {
        XcbReply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(c, attributeCookies[static_cast<size_t>(i)], nullptr));
        XcbReply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, geometryCookies[static_cast<size_t>(i)], nullptr));
        if (!attributes || !geometry || attributes->map_state != XCB_MAP_STATE_VIEWABLE
            || attributes->_class != XCB_WINDOW_CLASS_INPUT_OUTPUT)
            continue;
        WindowInfo info;
        info.id = children[i];
        info.frame = QRect(geometry->x, geometry->y, geometry->width + 2 * geometry->border_width, geometry->height + 2 * geometry->border_width);
        xcb_window_t client = findClient(c, children[i], atoms.wmState, 3);
        readIdentity(c, client != XCB_WINDOW_NONE ? client : children[i], atoms, info);
        windows.push_back(info);
    }
    return windows;
}

} // namespace X11WindowList
