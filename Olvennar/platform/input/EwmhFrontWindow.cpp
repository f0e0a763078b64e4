#include "platform/input/EwmhFrontWindow.h"

#include "platform/input/RootCoordinates.h"
#include "platform/x11/XcbConnection.h"

#include <unistd.h>

#include <algorithm>

namespace {
// A reparenting window manager nests clients a few levels deep; anything deeper is not a desktop window.
constexpr int maximumDepth = 16;
constexpr std::uint32_t maximumListLength = 4096;
}

std::unique_ptr<EwmhFrontWindow> EwmhFrontWindow::open(const char* displayName)
{
    auto connection = XcbConnection::open(displayName);
    if (!connection)
        return nullptr;
    return std::unique_ptr<EwmhFrontWindow>(new EwmhFrontWindow(std::move(connection), static_cast<std::uint32_t>(getpid())));
}

EwmhFrontWindow::EwmhFrontWindow(std::unique_ptr<XcbConnection> connection, std::uint32_t ownPid)
    : connection_(std::move(connection))
    , ownPid_(ownPid)
    , activeWindow_(connection_->atom("_NET_ACTIVE_WINDOW"))
    , clientListStacking_(connection_->atom("_NET_CLIENT_LIST_STACKING"))
    , pid_(connection_->atom("_NET_WM_PID"))
    , windowType_(connection_->atom("_NET_WM_WINDOW_TYPE"))
    , typeNormal_(connection_->atom("_NET_WM_WINDOW_TYPE_NORMAL"))
    , state_(connection_->atom("_NET_WM_STATE"))
    , stateHidden_(connection_->atom("_NET_WM_STATE_HIDDEN"))
    , frameExtents_(connection_->atom("_NET_FRAME_EXTENTS"))
{
}

EwmhFrontWindow::~EwmhFrontWindow() = default;

bool EwmhFrontWindow::qualifies(const WindowFacts& window)
{
    return window.normal && window.visible && window.frame.width() > 200 && window.frame.height() > 150;
}

std::vector<std::uint32_t> EwmhFrontWindow::cardinals(xcb_window_t window, xcb_atom_t property, xcb_atom_t type) const
{
    xcb_connection_t* c = connection_->get();
    XcbReply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, property, type, 0, maximumListLength), nullptr));
    if (!reply || reply->format != 32 || reply->type != type)
        return {};
    const auto* values = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    const int count = xcb_get_property_value_length(reply.get()) / 4;
    return std::vector<std::uint32_t>(values, values + std::max(count, 0));
}

std::optional<std::uint32_t> EwmhFrontWindow::pidOf(xcb_window_t window) const { return pidsOf({window}).front(); }

std::vector<std::optional<std::uint32_t>> EwmhFrontWindow::pidsOf(const std::vector<xcb_window_t>& windows) const
{
    // All requests first, then the replies: one round trip for the whole window list.
    xcb_connection_t* c = connection_->get();
    std::vector<xcb_get_property_cookie_t> cookies;
    cookies.reserve(windows.size());
    for (xcb_window_t window : windows)
        cookies.push_back(xcb_get_property(c, 0, window, pid_, XCB_ATOM_CARDINAL, 0, 1));
    std::vector<std::optional<std::uint32_t>> pids;
    pids.reserve(windows.size());
    for (const auto& cookie : cookies) {
        XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(c, cookie, nullptr));
        if (reply && reply->format == 32 && reply->type == XCB_ATOM_CARDINAL && xcb_get_property_value_length(reply.get()) >= 4)
            pids.push_back(*static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get())));
        else
            pids.push_back(std::nullopt);
    }
    return pids;
}

std::optional<EwmhFrontWindow::WindowFacts> EwmhFrontWindow::factsOf(xcb_window_t window, int rootHeight) const
{
    xcb_connection_t* c = connection_->get();
    const xcb_window_t root = connection_->root();

    // The frame is the client's ancestor that sits directly on the root.
    xcb_window_t frame = window;
    for (int depth = 0;; ++depth) {
        XcbReply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, frame), nullptr));
        if (!tree || depth >= maximumDepth)
            return std::nullopt;
        if (tree->parent == root || tree->parent == XCB_WINDOW_NONE)
            break;
        frame = tree->parent;
    }
    XcbReply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, xcb_get_geometry(c, frame), nullptr));
    XcbReply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, frame), nullptr));
    if (!geometry || !attributes)
        return std::nullopt;
    int x = geometry->x;
    int y = geometry->y;
    int width = geometry->width + 2 * geometry->border_width;
    int height = geometry->height + 2 * geometry->border_width;
    if (frame == window) {
        // No reparenting: a compositing manager draws the decoration and says how large it is.
        const auto extents = cardinals(window, frameExtents_, XCB_ATOM_CARDINAL);
        if (extents.size() >= 4) {
            const int left = static_cast<int>(extents[0]), right = static_cast<int>(extents[1]);
            const int top = static_cast<int>(extents[2]), bottom = static_cast<int>(extents[3]);
            x -= left;
            y -= top;
            width += left + right;
            height += top + bottom;
        }
    }

    WindowFacts facts;
    facts.frame = RootCoordinates::rect(x, y, width, height, rootHeight);
    const auto types = cardinals(window, windowType_, XCB_ATOM_ATOM);
    facts.normal = types.empty() || std::find(types.begin(), types.end(), typeNormal_) != types.end();
    const auto states = cardinals(window, state_, XCB_ATOM_ATOM);
    facts.visible = attributes->map_state == XCB_MAP_STATE_VIEWABLE
        && std::find(states.begin(), states.end(), stateHidden_) == states.end();
    return facts;
}

std::optional<QRectF> EwmhFrontWindow::frontWindowBounds()
{
    xcb_connection_t* c = connection_->get();
    const xcb_window_t root = connection_->root();
    const auto active = cardinals(root, activeWindow_, XCB_ATOM_WINDOW);
    if (active.empty() || active.front() == XCB_WINDOW_NONE)
        return std::nullopt;
    const xcb_window_t front = active.front();
    const std::optional<std::uint32_t> frontPid = pidOf(front);
    if (frontPid == ownPid_)
        return std::nullopt;

    XcbReply<xcb_get_geometry_reply_t> rootGeometry(xcb_get_geometry_reply(c, xcb_get_geometry(c, root), nullptr));
    if (!rootGeometry)
        return std::nullopt;
    const int rootHeight = rootGeometry->height;

    // The active window first, then the same process's other windows from the top of the stack down. A
    // window that names no process stands alone.
    std::vector<xcb_window_t> candidates{front};
    if (frontPid) {
        auto stacking = cardinals(root, clientListStacking_, XCB_ATOM_WINDOW);
        std::reverse(stacking.begin(), stacking.end());
        const auto pids = pidsOf(stacking);
        for (size_t i = 0; i < stacking.size(); ++i) {
            if (stacking[i] != front && pids[i] == frontPid)
                candidates.push_back(stacking[i]);
        }
    }
    for (xcb_window_t window : candidates) {
        const auto facts = factsOf(window, rootHeight);
        if (facts && qualifies(*facts))
            return facts->frame;
    }
    return std::nullopt;
}
