#pragma once

#include "platform/input/FrontWindowSource.h"

#include <xcb/xproto.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class XcbConnection;

// The front window from the window manager's EWMH hints: the active window's process is the front
// application; its first normal, visible window front to back that is larger than 200 × 150 gives the
// frame bounds.
class EwmhFrontWindow final : public FrontWindowSource {
public:
    struct WindowFacts {
        bool normal = true;
        bool visible = true;
        QRectF frame;
    };

    // Nothing when the display cannot be reached.
    static std::unique_ptr<EwmhFrontWindow> open(const char* displayName = nullptr);
    ~EwmhFrontWindow() override;

    std::optional<QRectF> frontWindowBounds() override;

    // Small windows (palettes, pop-ups) never count as the front window.
    static bool qualifies(const WindowFacts& window);

private:
    EwmhFrontWindow(std::unique_ptr<XcbConnection> connection, std::uint32_t ownPid);
    std::vector<std::uint32_t> cardinals(xcb_window_t window, xcb_atom_t property, xcb_atom_t type) const;
    std::optional<std::uint32_t> pidOf(xcb_window_t window) const;
    std::vector<std::optional<std::uint32_t>> pidsOf(const std::vector<xcb_window_t>& windows) const;
    std::optional<WindowFacts> factsOf(xcb_window_t window, int rootHeight) const;

    std::unique_ptr<XcbConnection> connection_;
    std::uint32_t ownPid_;
    xcb_atom_t activeWindow_;
    xcb_atom_t clientListStacking_;
    xcb_atom_t pid_;
    xcb_atom_t windowType_;
    xcb_atom_t typeNormal_;
    xcb_atom_t state_;
    xcb_atom_t stateHidden_;
    xcb_atom_t frameExtents_;
};
