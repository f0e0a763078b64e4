#pragma once

#include "platform/x11/GlobalKeyGrabber.h"

#include <QAbstractNativeEventFilter>

#include <memory>
#include <utility>
#include <vector>

struct xcb_connection_t;
struct _XCBKeySymbols;

// Grabs on Qt's own xcb connection and reads the key presses from Qt's native event stream, so no second
// event loop is needed. Each key is grabbed four times: as is, with NumLock, with CapsLock and with both,
// because X matches modifier states exactly.
class XcbGlobalKeyGrabber final : public GlobalKeyGrabber, public QAbstractNativeEventFilter {
public:
    // Nothing when the application does not run on X11.
    static std::unique_ptr<XcbGlobalKeyGrabber> create();
    ~XcbGlobalKeyGrabber() override;

    std::optional<QString> grab(uint32_t keySym, uint16_t modifiers) override;
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;
    // A grab taken for exactly this key and these modifiers (lock modifiers left out).
    bool holds(uint32_t keySym, uint16_t modifiers) const;

private:
    XcbGlobalKeyGrabber(xcb_connection_t* connection, uint32_t root);

    xcb_connection_t* connection_;
    uint32_t root_;
    _XCBKeySymbols* symbols_;
    std::vector<std::pair<uint32_t, uint16_t>> held_;
};
