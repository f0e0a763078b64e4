#include "capture/RemoteButton.h"

#include "platform/system/AccessProbe.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/Permissions.h"
#include "platform/system/Scheduler.h"
#include "platform/system/Settings.h"

#include <QPointer>

#include <cerrno>

namespace {
constexpr int appleVendorID = 1452;

bool looksLikeMacKeyboard(int vendorID, const QString& name)
{
    return vendorID == 0 || vendorID == appleVendorID || name.contains(QLatin1String("Apple"));
}

QString deviceText(const RemoteButton::Device& device)
{
    return device.name + QStringLiteral(" (") + QString::number(device.vendorID) + QLatin1Char(':') + QString::number(device.productID) + QLatin1Char(')');
}
} // namespace

RemoteButton::RemoteButton(Settings& settings, HidManagerFactory& hid, AccessProbe& access, Scheduler& scheduler, QObject* parent)
    : QObject(parent)
    , settings_(settings)
    , hid_(hid)
    , access_(access)
    , scheduler_(scheduler)
{
}

RemoteButton::~RemoteButton() = default;

void RemoteButton::setStatus(const Status& status)
{
    if (status == status_)
        return;
    status_ = status;
    if (onStatusChange)
        onStatusChange(status_);
}

std::optional<RemoteButton::Device> RemoteButton::learned()
{
    const QString vendorKeyText = QString::fromLatin1(vendorKey);
    if (!settings_.contains(vendorKeyText))
        return std::nullopt;
    const int vendor = static_cast<int>(settings_.integerValue(vendorKeyText).value_or(0));
    const QString name = settings_.stringValue(QString::fromLatin1(nameKey), QString());
    if (!looksLikeMacKeyboard(vendor, name))
        return Device{vendor, static_cast<int>(settings_.integerValue(QString::fromLatin1(productKey)).value_or(0)), name};
    Diagnostics::log(QStringLiteral("remote button: stored device is a computer keyboard, forgetting it"));
    settings_.remove(vendorKeyText);
    settings_.remove(QString::fromLatin1(productKey));
    settings_.remove(QString::fromLatin1(nameKey));
    return std::nullopt;
}

void RemoteButton::store(const Device& device)
{
    settings_.setInteger(QString::fromLatin1(vendorKey), device.vendorID);
    settings_.setInteger(QString::fromLatin1(productKey), device.productID);
    settings_.setString(QString::fromLatin1(nameKey), device.name);
}

void RemoteButton::closeManager() { manager_.reset(); }

int RemoteButton::start(std::optional<std::pair<int, int>> matching, bool seize)
{
    manager_ = hid_.create(matching);
    armedAt_ = scheduler_.now();
    manager_->onValue = [this](const HidValue& value) { handle(value); };
    if (!isLearning_) {
        manager_->onDeviceMatched = [this](const HidDeviceInfo& info) {
            deviceAppeared(info.product.isEmpty() ? QStringLiteral("?") : info.product);
        };
        manager_->onDeviceRemoved = [](const HidDeviceInfo& info) {
            Diagnostics::log(QStringLiteral("remote button: disconnected (") + (info.product.isEmpty() ? QStringLiteral("?") : info.product) + QLatin1Char(')'));
        };
    }
    int result = manager_->open(seize);
    if (result != 0 && seize && result != -ENODEV) {
        Diagnostics::log(QStringLiteral("remote button: exclusive open refused (%1); listening without it").arg(result));
        result = manager_->open(false);
    }
    if (result != 0)
        Diagnostics::log(QStringLiteral("remote button: could not open HID manager (%1)").arg(result));
    return result;
}

void RemoteButton::arm()
{
    if (isLearning_)
        return;
    closeManager();
    const auto device = learned();
    if (!device) {
        setStatus(Status::of(Status::Kind::notSet));
        return;
    }
    const Permissions::State input = access_.inputMonitoring();
    if (input == Permissions::State::denied) {
        setStatus(Status::of(Status::Kind::needsPermission));
        return;
    }
    // No input device at all: the learned one is simply not here.
    if (input != Permissions::State::granted) {
        setStatus(Status::notConnected(*device));
        return;
    }
    const int result = start(std::make_pair(device->vendorID, device->productID), true);
    // Ready only when the device really opened; otherwise the status says why.
    if (result == -EACCES || result == -EPERM) {
        setStatus(Status::of(Status::Kind::needsPermission));
        return;
    }
    if (result != 0) {
        setStatus(Status::notConnected(*device));
        return;
    }
    setStatus(Status::ready(*device));
    Diagnostics::log(QStringLiteral("remote button armed: ") + deviceText(*device));
}

void RemoteButton::startLearning()
{
    const Permissions::State input = access_.inputMonitoring();
    if (input == Permissions::State::denied) {
        access_.showInstruction(QString::fromLatin1(Permissions::inputMonitoringPane));
        setStatus(Status::of(Status::Kind::needsPermission));
        return;
    }
    if (input != Permissions::State::granted) {
        setStatus(Status::of(Status::Kind::noDevices));
        return;
    }
    closeManager();
    isLearning_ = true;
    setStatus(Status::of(Status::Kind::learning));
    start(std::nullopt, false);
    Diagnostics::log(QStringLiteral("remote button: learning"));
}

void RemoteButton::forget()
{
    closeManager();
    isLearning_ = false;
    settings_.remove(QString::fromLatin1(vendorKey));
    settings_.remove(QString::fromLatin1(productKey));
    settings_.remove(QString::fromLatin1(nameKey));
    setStatus(Status::of(Status::Kind::notSet));
    Diagnostics::log(QStringLiteral("remote button forgotten"));
}

void RemoteButton::deviceAppeared(const QString& name)
{
    if (isLearning_)
        return;
    // Every opening reports its own match first; only a later one is a reconnect. A device that was not
    // there when arming counts at once.
    const bool waitingForDevice = status_.kind == Status::Kind::notConnected;
    if (!waitingForDevice && scheduler_.now() - armedAt_ <= matchGraceSeconds)
        return;
    Diagnostics::log(QStringLiteral("remote button: reconnected (") + name + QStringLiteral("), re-arming"));
    QPointer<RemoteButton> self(this);
    scheduler_.after(0.5, this, [self] {
        if (self)
            self->arm();
    });
}

void RemoteButton::handle(const HidValue& value)
{
    const int page = value.usagePage;
    const QString product = value.device.product.isEmpty() ? QStringLiteral("?") : value.device.product;
    if (isLearning_ && value.value != 0)
        Diagnostics::log(QStringLiteral("remote button: heard page %1 from %2 (%3)").arg(page).arg(product).arg(value.device.vendorID));
    if (page > 12 || page < 0 || ((0x1280 >> page) & 1) == 0)
        return;
    const double now = scheduler_.now();
    if (value.value == 0) {
        if (isLearning_)
            return;
        hold_.holdSupported = true;
        const auto downAt = hold_.downAt;
        hold_.downAt.reset();
        ++holdGeneration_;
        if (downAt)
            Diagnostics::log(QString::asprintf("remote button release after %.2f s", now - *downAt));
        return;
    }
    const QString name = value.device.product.isEmpty() ? QStringLiteral("Bluetooth button") : value.device.product;
    if (!isLearning_) {
        if (now - lastPress_ <= debounceSeconds)
            return;
        lastPress_ = now;
        Diagnostics::log(QStringLiteral("remote button press"));
        if (onPress)
            onPress();
        hold_.downAt = now;
        const int generation = ++holdGeneration_;
        QPointer<RemoteButton> self(this);
        scheduler_.after(holdSeconds, this, [self, generation] {
            if (!self || generation != self->holdGeneration_)
                return;
            const double held = self->scheduler_.now() - self->hold_.downAt.value_or(1e300);
            if (self->hold_.holdSupported && self->hold_.downAt && held >= 0.599) {
                Diagnostics::log(QStringLiteral("remote button long press"));
                if (self->onLongPress)
                    self->onLongPress();
            }
        });
        return;
    }
    const QString transport = value.device.transport.toLower();
    for (const char* builtIn : {"spi", "fifo", "i2c", "internal"}) {
        if (transport.contains(QLatin1String(builtIn)))
            return;
    }
    if (looksLikeMacKeyboard(value.device.vendorID, name))
        return;
    // A press on the user's own typing keyboard must never make it the clicker and grab it.
    if (value.device.fullKeyboard)
        return;
    const Device device{value.device.vendorID, value.device.productID, name};
    store(device);
    isLearning_ = false;
    Diagnostics::log(QStringLiteral("remote button learned: ") + deviceText(device) + QStringLiteral(" page %1").arg(page));
    QPointer<RemoteButton> self(this);
    scheduler_.after(0, this, [self] {
        if (self)
            self->arm();
    });
}
