#include "platform/input/XInputEvents.h"

#include "platform/x11/XcbConnection.h"

#include <QPointer>
#include <QSocketNotifier>

#include <xcb/xcb_keysyms.h>
#include <xcb/xinput.h>

#include <vector>

namespace {
constexpr std::uint32_t leftButton = 1;
constexpr std::uint32_t rightButton = 3;
// Caps Lock and Num Lock change no binding: the grabs hold with and without them.
constexpr std::uint16_t lockModifiers = XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2;
}

void XInputEvents::KeySymbolsFree::operator()(_XCBKeySymbols* symbols) const { xcb_key_symbols_free(symbols); }

class XInputEvents::Subscription final : public InputEvents::Monitor {
public:
    Subscription(XInputEvents* owner, int id) : owner_(owner), id_(id) {}
    ~Subscription() override
    {
        if (owner_)
            owner_->removeHandler(id_);
    }

private:
    QPointer<XInputEvents> owner_;
    int id_;
};

std::unique_ptr<XInputEvents> XInputEvents::open(const char* displayName)
{
    auto connection = XcbConnection::open(displayName);
    if (!connection)
        return nullptr;
    xcb_connection_t* c = connection->get();
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(c, &xcb_input_id);
    if (!extension || !extension->present)
        return nullptr;
    XcbReply<xcb_input_xi_query_version_reply_t> version(
        xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 2), nullptr));
    if (!version || version->major_version < 2 || (version->major_version == 2 && version->minor_version < 2))
        return nullptr;

    // Master devices only: every slave's press also arrives through its master, which would count it twice.
    struct {
        xcb_input_event_mask_t head;
        std::uint32_t mask;
    } selection{{XCB_INPUT_DEVICE_ALL_MASTER, 1},
        XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_KEY_RELEASE
            | XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS};
    XcbReply<xcb_generic_error_t> error(
        xcb_request_check(c, xcb_input_xi_select_events_checked(c, connection->root(), 1, &selection.head)));
    if (error)
        return nullptr;
    return std::unique_ptr<XInputEvents>(new XInputEvents(std::move(connection), extension->major_opcode));
}

XInputEvents::XInputEvents(std::unique_ptr<XcbConnection> connection, std::uint8_t opcode)
    : connection_(std::move(connection)), opcode_(opcode)
{
    xcb_connection_t* c = connection_->get();
    symbols_.reset(xcb_key_symbols_alloc(c));
    XcbReply<xcb_get_modifier_mapping_reply_t> mapping(xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr));
    if (mapping) {
        const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(mapping.get());
        const int perModifier = mapping->keycodes_per_modifier;
        for (int modifier = 0; modifier < 8; ++modifier) {
            for (int i = 0; i < perModifier; ++i) {
                if (const xcb_keycode_t code = codes[modifier * perModifier + i])
                    modifierOfKey_[code] |= static_cast<std::uint16_t>(1u << modifier);
            }
        }
    }
    notifier_ = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(connection_->get()), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { readEvents(); });
    // Events may already sit in xcb's queue after the replies above; the socket would not signal them.
    readEvents();
}

XInputEvents::~XInputEvents() = default;

std::unique_ptr<InputEvents::Monitor> XInputEvents::addMouseDownMonitor(std::function<void()> handler)
{
    if (!handler)
        return nullptr;
    const int id = nextHandlerId_++;
    handlers_.emplace(id, std::move(handler));
    return std::make_unique<Subscription>(this, id);
}

void XInputEvents::removeHandler(int id) { handlers_.erase(id); }

std::uint32_t XInputEvents::keyDownCount()
{
    // Presses that arrived since the last turn of the event loop count now, not a tick later.
    readEvents();
    return keyCount_;
}

void XInputEvents::setHotKeyFilter(std::function<bool(std::uint32_t keySym, std::uint16_t modifiers)> isHotKey)
{
    isHotKey_ = std::move(isHotKey);
}

std::uint16_t XInputEvents::heldModifiers() const
{
    std::uint16_t held = 0;
    for (std::size_t code = 0; code < modifierOfKey_.size(); ++code) {
        if (modifierOfKey_[code] && heldKeys_.test(code))
            held |= modifierOfKey_[code];
    }
    return held & static_cast<std::uint16_t>(~lockModifiers);
}

void XInputEvents::keyPressed(std::uint8_t code)
{
    // A modifier waits: the key after it says whether it was typing or half of a hot key.
    if (modifierOfKey_[code]) {
        ++pendingModifiers_;
        return;
    }
    const bool hotKey = isHotKey_ && symbols_ && isHotKey_(xcb_key_symbols_get_keysym(symbols_.get(), code, 0), heldModifiers());
    if (!hotKey)
        keyCount_ += pendingModifiers_ + 1;
    pendingModifiers_ = 0;
}

void XInputEvents::keyReleased(std::uint8_t code)
{
    // A modifier pressed and let go with no key between is typing of its own (Shift tapped, say).
    if (modifierOfKey_[code]) {
        keyCount_ += pendingModifiers_;
        pendingModifiers_ = 0;
    }
}

void XInputEvents::readEvents()
{
    if (reading_)
        return;
    reading_ = true;
    xcb_connection_t* c = connection_->get();
    int presses = 0;
    while (XcbReply<xcb_generic_event_t> event{xcb_poll_for_event(c)}) {
        if ((event->response_type & 0x7f) != XCB_GE_GENERIC)
            continue;
        const auto* generic = reinterpret_cast<const xcb_ge_generic_event_t*>(event.get());
        if (generic->extension != opcode_)
            continue;
        const auto* raw = reinterpret_cast<const xcb_input_raw_key_press_event_t*>(event.get());
        switch (generic->event_type) {
        case XCB_INPUT_RAW_BUTTON_PRESS:
            if (raw->detail == leftButton || raw->detail == rightButton)
                ++presses;
            break;
        case XCB_INPUT_RAW_KEY_PRESS:
            // A key that is already down is repeating.
            if (raw->detail < heldKeys_.size() && !heldKeys_.test(raw->detail)
                && !(raw->flags & XCB_INPUT_KEY_EVENT_FLAGS_KEY_REPEAT)) {
                heldKeys_.set(raw->detail);
                keyPressed(static_cast<std::uint8_t>(raw->detail));
            }
            break;
        case XCB_INPUT_RAW_KEY_RELEASE:
            if (raw->detail < heldKeys_.size()) {
                heldKeys_.reset(raw->detail);
                keyReleased(static_cast<std::uint8_t>(raw->detail));
            }
            break;
        default:
            break;
        }
    }
    if (xcb_connection_has_error(c))
        notifier_->setEnabled(false); // the server is gone; keep the last count rather than spin
    reading_ = false;

    // Handlers run after reading, so one that removes itself or asks for the key count is safe.
    QPointer<XInputEvents> self(this);
    for (int i = 0; i < presses; ++i) {
        std::vector<int> ids;
        for (const auto& entry : handlers_)
            ids.push_back(entry.first);
        for (int id : ids) {
            if (!self)
                return;
            const auto found = handlers_.find(id);
            if (found == handlers_.end())
                continue;
            const std::function<void()> handler = found->second;
            handler();
        }
    }
}
