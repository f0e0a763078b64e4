#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <map>

class GlobalKeyGrabber;

// The studio's global keys as the user sees them; texts that name a key show these.
namespace HotKeyNames {
inline constexpr const char* startStop = "Ctrl+R";
inline constexpr const char* pause = "Ctrl+P";
inline constexpr const char* zoomIn = "Super+Alt+Z";
inline constexpr const char* zoomOut = "Super+Alt+X";
inline constexpr const char* previousBox = "Super+Alt+Left";
inline constexpr const char* nextBox = "Super+Alt+Right";
} // namespace HotKeyNames

// The process's global hot keys. Actions run on a later turn of the main loop, never inside the key event.
// A key another application already holds is logged by name and listed in refusedKeys() for the window.
class HotKeyCenter : public QObject {
    Q_OBJECT

public:
    struct Shortcut {
        uint32_t keySym = 0;
        uint16_t modifiers = 0;
        QString name; // as shown to the user, e.g. "Ctrl+R"
    };

    // The grabber may be null (no X11): every registration is then refused.
    explicit HotKeyCenter(GlobalKeyGrabber* grabber, QObject* parent = nullptr);

    // Returns the registration's identifier (1, 2, ...); the action stays registered even when refused.
    uint32_t registerKey(const Shortcut& shortcut, std::function<void()> action);
    const QStringList& refusedKeys() const { return refused_; }
    // What the grabber reports; public so tests can press keys without an X server.
    void keyPressed(uint32_t keySym, uint16_t modifiers);

Q_SIGNALS:
    void refusedKeysChanged();

private:
    struct Entry {
        Shortcut shortcut;
        std::function<void()> action;
    };
    GlobalKeyGrabber* grabber_;
    std::map<uint32_t, Entry> actions_;
    uint32_t nextID_ = 1;
    QStringList refused_;
};
