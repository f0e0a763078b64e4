#include "platform/x11/X11Displays.h"

#include "platform/x11/XcbConnection.h"

#include <xcb/randr.h>

namespace {

QString atomName(XcbConnection& connection, xcb_atom_t atom)
{
    XcbReply<xcb_get_atom_name_reply_t> reply(xcb_get_atom_name_reply(connection.get(), xcb_get_atom_name(connection.get(), atom), nullptr));
    if (!reply)
        return {};
    return QString::fromUtf8(xcb_get_atom_name_name(reply.get()), xcb_get_atom_name_name_length(reply.get()));
}

} // namespace

namespace X11Displays {

std::vector<ScreenDisplay> list(XcbConnection& connection)
{
    std::vector<ScreenDisplay> displays;
    xcb_screen_t* screen = connection.screen();
    if (!screen)
        return displays;
    xcb_connection_t* c = connection.get();
    // Monitors need RandR 1.5; older servers fall through to the whole screen.
    XcbReply<xcb_randr_query_version_reply_t> version(xcb_randr_query_version_reply(c, xcb_randr_query_version(c, 1, 5), nullptr));
    if (version && (version->major_version > 1 || version->minor_version >= 5)) {
        XcbReply<xcb_randr_get_monitors_reply_t> monitors(xcb_randr_get_monitors_reply(c, xcb_randr_get_monitors(c, screen->root, 1), nullptr));
        if (monitors) {
            uint32_t index = 0;
            for (auto it = xcb_randr_get_monitors_monitors_iterator(monitors.get()); it.rem; xcb_randr_monitor_info_next(&it), ++index) {
                const xcb_randr_monitor_info_t* info = it.data;
                if (info->width == 0 || info->height == 0)
                    continue;
                ScreenDisplay display;
                // The first output is stable across calls; monitors without outputs keep their list position.
                const int outputs = xcb_randr_monitor_info_outputs_length(info);
                display.id = outputs > 0 ? xcb_randr_monitor_info_outputs(info)[0] : index + 1;
                display.name = atomName(connection, info->name);
                display.frame = QRect(info->x, info->y, info->width, info->height);
                display.primary = info->primary != 0;
                displays.push_back(display);
            }
        }
    }
    if (displays.empty()) {
        ScreenDisplay whole;
        whole.id = 0;
        whole.name = QStringLiteral("screen");
        // The root's size now: the connection's setup keeps the size it had when it was opened.
        XcbReply<xcb_get_geometry_reply_t> root(xcb_get_geometry_reply(c, xcb_get_geometry(c, screen->root), nullptr));
        whole.frame = root ? QRect(0, 0, root->width, root->height) : QRect(0, 0, screen->width_in_pixels, screen->height_in_pixels);
        whole.primary = true;
        displays.push_back(whole);
    }
    return displays;
}

} // namespace X11Displays
