#include "support/DisplayModes.h"

#include "platform/x11/XcbConnection.h"

#include <QByteArray>
#include <QString>

bool DisplayModes::resize(QSize size)
{
    xcb_connection_t* c = connection_.get();
    const xcb_window_t root = connection_.root();
    XcbReply<xcb_randr_get_screen_resources_reply_t> resources(
        xcb_randr_get_screen_resources_reply(c, xcb_randr_get_screen_resources(c, root), nullptr));
    if (!resources || resources->num_outputs < 1 || resources->num_crtcs < 1)
        return false;
    const xcb_randr_output_t output = xcb_randr_get_screen_resources_outputs(resources.get())[0];
    xcb_randr_mode_t mode = XCB_NONE;
    const xcb_randr_mode_info_t* modes = xcb_randr_get_screen_resources_modes(resources.get());
    for (int i = 0; i < resources->num_modes; ++i) {
        if (modes[i].width == size.width() && modes[i].height == size.height())
            mode = modes[i].id;
    }
    if (mode == XCB_NONE) {
        const QByteArray name = QStringLiteral("%1x%2").arg(size.width()).arg(size.height()).toLatin1();
        xcb_randr_mode_info_t info{};
        info.width = info.hsync_start = info.hsync_end = info.htotal = static_cast<uint16_t>(size.width());
        info.height = info.vsync_start = info.vsync_end = info.vtotal = static_cast<uint16_t>(size.height());
        info.dot_clock = static_cast<uint32_t>(60 * size.width() * size.height());
        info.name_len = static_cast<uint16_t>(name.size());
        XcbReply<xcb_randr_create_mode_reply_t> made(
            xcb_randr_create_mode_reply(c, xcb_randr_create_mode(c, root, info, static_cast<uint32_t>(name.size()), name.constData()), nullptr));
        if (!made || XcbReply<xcb_generic_error_t>(xcb_request_check(c, xcb_randr_add_output_mode_checked(c, output, made->mode))))
            return false;
        mode = made->mode;
    }
    XcbReply<xcb_get_geometry_reply_t> now(xcb_get_geometry_reply(c, xcb_get_geometry(c, root), nullptr));
    if (!now)
        return false;
    // The screen holds the display at every step: grown first when the display grows, shrunk last.
    return setScreenSize(size.expandedTo(QSize(now->width, now->height))) && setCrtc(resources.get(), mode, output) && setScreenSize(size);
}

bool DisplayModes::turnOff()
{
    xcb_connection_t* c = connection_.get();
    XcbReply<xcb_randr_get_screen_resources_reply_t> resources(
        xcb_randr_get_screen_resources_reply(c, xcb_randr_get_screen_resources(c, connection_.root()), nullptr));
    return resources && resources->num_crtcs >= 1 && setCrtc(resources.get(), XCB_NONE, std::nullopt);
}

bool DisplayModes::setScreenSize(QSize size)
{
    xcb_connection_t* c = connection_.get();
    const auto millimetres = [](int pixels) { return static_cast<uint32_t>(pixels * 254 / 960); };
    return !XcbReply<xcb_generic_error_t>(xcb_request_check(c, xcb_randr_set_screen_size_checked(c, connection_.root(), static_cast<uint16_t>(size.width()),
        static_cast<uint16_t>(size.height()), millimetres(size.width()), millimetres(size.height()))));
}

bool DisplayModes::setCrtc(const xcb_randr_get_screen_resources_reply_t* resources, xcb_randr_mode_t mode, std::optional<xcb_randr_output_t> output)
{
    xcb_connection_t* c = connection_.get();
    const xcb_randr_crtc_t crtc = xcb_randr_get_screen_resources_crtcs(resources)[0];
    XcbReply<xcb_randr_set_crtc_config_reply_t> set(xcb_randr_set_crtc_config_reply(c,
        xcb_randr_set_crtc_config(c, crtc, XCB_CURRENT_TIME, resources->config_timestamp, 0, 0, mode, XCB_RANDR_ROTATION_ROTATE_0, output ? 1 : 0,
            output ? &*output : nullptr),
        nullptr));
    return set && set->status == XCB_RANDR_SET_CONFIG_SUCCESS;
}
