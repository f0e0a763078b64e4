#include "core/HotKeyCenter.h"

#include "platform/system/Diagnostics.h"
#include "platform/x11/GlobalKeyGrabber.h"

#include <QPointer>
#include <QTimer>

HotKeyCenter::HotKeyCenter(GlobalKeyGrabber* grabber, QObject* parent)
    : QObject(parent)
    , grabber_(grabber)
{
    if (grabber_)
        grabber_->onPressed = [this](uint32_t keySym, uint16_t modifiers) { keyPressed(keySym, modifiers); };
}

uint32_t HotKeyCenter::registerKey(const Shortcut& shortcut, std::function<void()> action)
{
    const uint32_t id = nextID_++;
    actions_[id] = Entry{shortcut, std::move(action)};
    const std::optional<QString> refusal = grabber_ ? grabber_->grab(shortcut.keySym, shortcut.modifiers)
                                                    : std::optional<QString>(QStringLiteral("global keys need an X11 session"));
    if (refusal) {
        Diagnostics::log(QStringLiteral("hot key ") + shortcut.name + QStringLiteral(" unavailable: ") + *refusal);
        refused_.append(shortcut.name);
        Q_EMIT refusedKeysChanged();
    }
    return id;
}

void HotKeyCenter::keyPressed(uint32_t keySym, uint16_t modifiers)
{
    for (const auto& [id, entry] : actions_) {
        if (entry.shortcut.keySym == keySym && entry.shortcut.modifiers == modifiers) {
            QPointer<HotKeyCenter> self(this);
            const uint32_t found = id;
            QTimer::singleShot(0, this, [self, found] {
                if (!self)
                    return;
                const auto it = self->actions_.find(found);
                if (it != self->actions_.end() && it->second.action)
                    it->second.action();
            });
            return;
        }
    }
}
