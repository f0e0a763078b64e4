#include "platform/input/EvdevHidManager.h"

#include <QDir>
#include <QFile>
#include <QSocketNotifier>

#include <libevdev/libevdev.h>
#include <libudev.h>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

struct EvdevHidManager::Node {
    QString path;
    int fd = -1;
    libevdev* device = nullptr;
    HidDeviceInfo info;
    std::unique_ptr<QSocketNotifier> notifier;
    ~Node()
    {
        notifier.reset();
        if (device)
            libevdev_free(device);
        if (fd >= 0)
            ::close(fd);
    }
};

void EvdevHidManager::UdevDeleter::operator()(udev* u) const { udev_unref(u); }
void EvdevHidManager::UdevDeleter::operator()(udev_monitor* m) const { udev_monitor_unref(m); }

EvdevHidManager::EvdevHidManager(std::optional<std::pair<int, int>> matching)
    : matching_(matching)
{
}

EvdevHidManager::~EvdevHidManager() = default;

int EvdevHidManager::usagePage(unsigned keyCode)
{
    if (keyCode >= BTN_MISC && keyCode < KEY_OK)
        return 9;
    switch (keyCode) {
    case KEY_MUTE: case KEY_VOLUMEDOWN: case KEY_VOLUMEUP: case KEY_NEXTSONG: case KEY_PLAYPAUSE:
    case KEY_PREVIOUSSONG: case KEY_STOPCD: case KEY_RECORD: case KEY_REWIND: case KEY_EJECTCD:
    case KEY_BACK: case KEY_FORWARD: case KEY_PLAYCD: case KEY_PAUSECD: case KEY_PLAY: case KEY_FASTFORWARD:
    case KEY_CAMERA: case KEY_MEDIA: case KEY_HOMEPAGE: case KEY_SEARCH:
        return 12;
    default:
        break;
    }
    if (keyCode >= KEY_OK)
        return 12; // the extended multimedia block
    return 7;
}

QString EvdevHidManager::transport(int busType)
{
    switch (busType) {
    case BUS_USB: return QStringLiteral("USB");
    case BUS_BLUETOOTH: return QStringLiteral("Bluetooth");
    case BUS_I8042: return QStringLiteral("internal i8042");
    case BUS_HOST: return QStringLiteral("internal");
    case BUS_I2C: return QStringLiteral("I2C");
    case BUS_SPI: return QStringLiteral("SPI");
    case BUS_VIRTUAL: return QStringLiteral("virtual");
    default: return QStringLiteral("bus %1").arg(busType);
    }
}

namespace {
bool isFullKeyboard(libevdev* device)
{
    for (unsigned code : {KEY_Q, KEY_W, KEY_E, KEY_R, KEY_T, KEY_Y, KEY_U, KEY_I, KEY_O, KEY_P, KEY_A, KEY_S, KEY_D, KEY_F,
             KEY_G, KEY_H, KEY_J, KEY_K, KEY_L, KEY_Z, KEY_X, KEY_C, KEY_V, KEY_B, KEY_N, KEY_M, KEY_SPACE}) {
        if (!libevdev_has_event_code(device, EV_KEY, code))
            return false;
    }
    return true;
}
} // namespace

int EvdevHidManager::openNode(const QString& path, bool announce)
{
    auto node = std::make_unique<Node>();
    node->path = path;
    node->fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (node->fd < 0)
        return -errno;
    if (libevdev_new_from_fd(node->fd, &node->device) < 0)
        return -ENODEV;
    if (!libevdev_has_event_type(node->device, EV_KEY))
        return -ENODEV;
    node->info.vendorID = libevdev_get_id_vendor(node->device);
    node->info.productID = libevdev_get_id_product(node->device);
    node->info.product = QString::fromUtf8(libevdev_get_name(node->device));
    node->info.transport = transport(libevdev_get_id_bustype(node->device));
    node->info.fullKeyboard = isFullKeyboard(node->device);
    if (matching_ && (node->info.vendorID != matching_->first || node->info.productID != matching_->second))
        return -ENODEV;
    int result = 0;
    if (seize_ && libevdev_grab(node->device, LIBEVDEV_GRAB) < 0)
        result = -EBUSY;
    if (result != 0)
        return result;
    node->notifier = std::make_unique<QSocketNotifier>(node->fd, QSocketNotifier::Read);
    Node* raw = node.get();
    connect(node->notifier.get(), &QSocketNotifier::activated, this, [this, raw] { readNode(*raw); });
    const HidDeviceInfo info = node->info;
    nodes_.push_back(std::move(node));
    if (announce && onDeviceMatched)
        onDeviceMatched(info);
    return 0;
}

void EvdevHidManager::closeNode(const QString& path)
{
    for (auto it = nodes_.begin(); it != nodes_.end(); ++it) {
        if ((*it)->path == path) {
            const HidDeviceInfo info = (*it)->info;
            nodes_.erase(it);
            if (onDeviceRemoved)
                onDeviceRemoved(info);
            return;
        }
    }
}

void EvdevHidManager::readNode(Node& node)
{
    input_event event{};
    for (;;) {
        int rc = libevdev_next_event(node.device, LIBEVDEV_READ_FLAG_NORMAL, &event);
        if (rc == LIBEVDEV_READ_STATUS_SYNC) {
            while (rc == LIBEVDEV_READ_STATUS_SYNC)
                rc = libevdev_next_event(node.device, LIBEVDEV_READ_FLAG_SYNC, &event);
            continue;
        }
        if (rc == -EAGAIN)
            return;
        if (rc < 0) {
            // The device went away; the udev monitor reports the removal, but stop reading now.
            node.notifier->setEnabled(false);
            return;
        }
        if (event.type != EV_KEY || event.value == 2)
            continue;
        if (onValue)
            onValue(HidValue{usagePage(event.code), event.value, node.info});
    }
}

int EvdevHidManager::open(bool seize)
{
    seize_ = seize;
    nodes_.clear();
    udev_.reset(udev_new());
    if (udev_) {
        monitor_.reset(udev_monitor_new_from_netlink(udev_.get(), "udev"));
        if (monitor_ && udev_monitor_filter_add_match_subsystem_devtype(monitor_.get(), "input", nullptr) >= 0
            && udev_monitor_enable_receiving(monitor_.get()) >= 0) {
            monitorNotifier_ = std::make_unique<QSocketNotifier>(udev_monitor_get_fd(monitor_.get()), QSocketNotifier::Read);
            connect(monitorNotifier_.get(), &QSocketNotifier::activated, this, [this] { udevEvent(); });
        }
    }
    const QStringList names = QDir(QStringLiteral("/dev/input")).entryList({QStringLiteral("event*")}, QDir::System | QDir::Files);
    int firstFailure = -ENODEV;
    bool opened = false;
    for (const QString& name : names) {
        const int rc = openNode(QStringLiteral("/dev/input/") + name, true);
        if (rc == 0)
            opened = true;
        else if (rc != -ENODEV && firstFailure == -ENODEV)
            firstFailure = rc;
    }
    return opened ? 0 : firstFailure;
}

void EvdevHidManager::udevEvent()
{
    std::unique_ptr<udev_device, void (*)(udev_device*)> device(udev_monitor_receive_device(monitor_.get()),
        [](udev_device* d) { if (d) udev_device_unref(d); });
    if (!device)
        return;
    const char* node = udev_device_get_devnode(device.get());
    const char* action = udev_device_get_action(device.get());
    if (!node || !action || !QString::fromLatin1(node).startsWith(QLatin1String("/dev/input/event")))
        return;
    const QString path = QString::fromLatin1(node);
    if (qstrcmp(action, "add") == 0)
        openNode(path, true);
    else if (qstrcmp(action, "remove") == 0)
        closeNode(path);
}
