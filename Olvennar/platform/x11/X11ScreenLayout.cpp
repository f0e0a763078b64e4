#include "platform/x11/X11ScreenLayout.h"

#include "platform/x11/X11Displays.h"
#include "platform/x11/XcbConnection.h"

#include <xcb/randr.h>

std::unique_ptr<X11ScreenLayout> X11ScreenLayout::open(const char* displayName)
{
    auto connection = XcbConnection::open(displayName);
    if (!connection)
        return nullptr;
    xcb_connection_t* c = connection->get();
    // Selected before the first reading, so no change after it goes unnoticed.
    const xcb_query_extension_reply_t* randr = xcb_get_extension_data(c, &xcb_randr_id);
    if (randr && randr->present)
        xcb_randr_select_input(c, connection->root(),
            XCB_RANDR_NOTIFY_MASK_SCREEN_CHANGE | XCB_RANDR_NOTIFY_MASK_CRTC_CHANGE | XCB_RANDR_NOTIFY_MASK_OUTPUT_CHANGE);
    xcb_flush(c);
    return std::unique_ptr<X11ScreenLayout>(new X11ScreenLayout(std::move(connection)));
}

X11ScreenLayout::X11ScreenLayout(std::unique_ptr<XcbConnection> connection) : connection_(std::move(connection)) {}

X11ScreenLayout::~X11ScreenLayout() = default;

std::optional<ScreenLayoutSource::Layout> X11ScreenLayout::layout()
{
    xcb_connection_t* c = connection_->get();
    if (connection_->hasError())
        return std::nullopt;
    bool changed = !layout_;
    // Any notice means the layout may have changed; errors of requests not waited for go too.
    while (XcbReply<xcb_generic_event_t> event{xcb_poll_for_event(c)})
        changed = true;
    if (!changed)
        return layout_;
    // The root's size now: the connection's setup keeps the size it had when it was opened.
    XcbReply<xcb_get_geometry_reply_t> root(xcb_get_geometry_reply(c, xcb_get_geometry(c, connection_->root()), nullptr));
    if (!root) {
        layout_.reset();
        return std::nullopt;
    }
    layout_ = Layout{X11Displays::list(*connection_), QSize(root->width, root->height)};
    return layout_;
}
