#pragma once

#include "platform/input/HidManager.h"

#include <QObject>

#include <memory>
#include <vector>

class QSocketNotifier;
struct libevdev;
struct udev;
struct udev_monitor;

// evdev nodes of one learned device (or, while learning, of every key device), read through socket
// notifiers on the GUI thread; a udev monitor follows hot-plugging. Seizing uses EVIOCGRAB so the
// clicker's keys stop reaching other applications.
class EvdevHidManager final : public QObject, public HidManager {
    Q_OBJECT

public:
    explicit EvdevHidManager(std::optional<std::pair<int, int>> matching);
    ~EvdevHidManager() override;

    int open(bool seize) override;

    // Key code -> usage page: 9 for buttons, 12 for media/consumer keys, 7 for other keys.
    static int usagePage(unsigned keyCode);
    static QString transport(int busType);

private:
    struct Node;
    int openNode(const QString& path, bool announce);
    void closeNode(const QString& path);
    void readNode(Node& node);
    void udevEvent();

    std::optional<std::pair<int, int>> matching_;
    bool seize_ = false;
    std::vector<std::unique_ptr<Node>> nodes_;
    struct UdevDeleter {
        void operator()(udev* u) const;
        void operator()(udev_monitor* m) const;
    };
    std::unique_ptr<udev, UdevDeleter> udev_;
    std::unique_ptr<udev_monitor, UdevDeleter> monitor_;
    std::unique_ptr<QSocketNotifier> monitorNotifier_;
};

class EvdevHidManagerFactory final : public HidManagerFactory {
public:
    std::unique_ptr<HidManager> create(std::optional<std::pair<int, int>> matching) override
    {
        return std::make_unique<EvdevHidManager>(matching);
    }
};
