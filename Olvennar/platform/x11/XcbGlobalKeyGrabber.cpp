#include "platform/x11/XcbGlobalKeyGrabber.h"

#include "platform/x11/XcbConnection.h"

#include <QGuiApplication>

#include <algorithm>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

namespace {
constexpr uint16_t lockMask = XCB_MOD_MASK_LOCK;
constexpr uint16_t numLockMask = XCB_MOD_MASK_2;
constexpr uint16_t ignoredMasks = lockMask | numLockMask;
} // namespace

std::unique_ptr<XcbGlobalKeyGrabber> XcbGlobalKeyGrabber::create()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return nullptr;
    xcb_connection_t* connection = x11->connection();
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    if (!screen)
        return nullptr;
    std::unique_ptr<XcbGlobalKeyGrabber> grabber(new XcbGlobalKeyGrabber(connection, screen->root));
    qGuiApp->installNativeEventFilter(grabber.get());
    return grabber;
}

XcbGlobalKeyGrabber::XcbGlobalKeyGrabber(xcb_connection_t* connection, uint32_t root)
    : connection_(connection)
    , root_(root)
    , symbols_(xcb_key_symbols_alloc(connection))
{
}

XcbGlobalKeyGrabber::~XcbGlobalKeyGrabber()
{
    if (qGuiApp)
        qGuiApp->removeNativeEventFilter(this);
    xcb_key_symbols_free(symbols_);
}

std::optional<QString> XcbGlobalKeyGrabber::grab(uint32_t keySym, uint16_t modifiers)
{
    XcbReply<xcb_keycode_t> codes(xcb_key_symbols_get_keycode(symbols_, keySym));
    if (!codes || codes.get()[0] == XCB_NO_SYMBOL)
        return QStringLiteral("the keyboard has no such key");
    for (const uint16_t extra : {uint16_t(0), lockMask, numLockMask, uint16_t(lockMask | numLockMask)}) {
        for (const xcb_keycode_t* code = codes.get(); *code != XCB_NO_SYMBOL; ++code) {
            const auto cookie = xcb_grab_key_checked(connection_, 1, root_, modifiers | extra, *code, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
            XcbReply<xcb_generic_error_t> error(xcb_request_check(connection_, cookie));
            if (error) {
                // Release what this key already holds so a half-grabbed key does not linger.
                for (const uint16_t undo : {uint16_t(0), lockMask, numLockMask, uint16_t(lockMask | numLockMask)})
                    xcb_ungrab_key(connection_, *code, root_, modifiers | undo);
                xcb_flush(connection_);
                return error->error_code == XCB_ACCESS ? QStringLiteral("another application already uses it")
                                                       : QStringLiteral("the X server refused it (error %1)").arg(error->error_code);
            }
        }
    }
    xcb_flush(connection_);
    held_.emplace_back(keySym, modifiers);
    return std::nullopt;
}

bool XcbGlobalKeyGrabber::holds(uint32_t keySym, uint16_t modifiers) const
{
    return std::find(held_.begin(), held_.end(), std::make_pair(keySym, modifiers)) != held_.end();
}

bool XcbGlobalKeyGrabber::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_KEY_PRESS)
        return false;
    auto* press = reinterpret_cast<xcb_key_press_event_t*>(event);
    if (press->event != root_)
        return false;
    const xcb_keysym_t keySym = xcb_key_symbols_get_keysym(symbols_, press->detail, 0);
    if (onPressed)
        onPressed(keySym, static_cast<uint16_t>(press->state & ~ignoredMasks & 0xff));
    return true;
}
