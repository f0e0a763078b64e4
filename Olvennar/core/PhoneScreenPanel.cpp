#include "core/PhoneScreenPanel.h"

#include "capture/ScreenGeometry.h"
#include "core/CaptureDeviceChoice.h"
#include "core/ControllerHooks.h"
#include "core/Platform.h"
#include "framing/StudioWindows.h"
#include "platform/system/Diagnostics.h"
#include "takes/OverlayRecorder.h"
#include "takes/TakeGeometry.h"
#include "takes/TakeServices.h"

#include <QPointer>
#include <QTimer>

PhoneScreenPanel::PhoneScreenPanel(Studio& studio, const Platform& platform, QObject* parent)
    : QObject(parent)
    , studio_(studio)
    , takes_(platform.takes)
    , windows_(platform.windows)
    , hooks_(platform.hooks)
{
}

PhoneScreenPanel::~PhoneScreenPanel() = default;

OverlayRecorder* PhoneScreenPanel::recorder() const { return takes_ ? &takes_->phoneRecorder() : nullptr; }

void PhoneScreenPanel::setPhones(std::vector<CaptureDeviceInfo> phones)
{
    settings_.phones = std::move(phones);
    Q_EMIT changed();
}

void PhoneScreenPanel::setSelectedPhoneID(const std::optional<QString>& id)
{
    settings_.selectedPhoneID = id;
    Q_EMIT changed();
}

void PhoneScreenPanel::setPhoneWaiting(bool waiting)
{
    settings_.phoneWaiting = waiting;
    Q_EMIT changed();
}

void PhoneScreenPanel::setPhoneEnabled(bool on)
{
    settings_.phoneEnabled = on;
    Q_EMIT changed();
    enabledChanged();
    if (hooks_)
        hooks_->phoneEnabledChanged();
}

void PhoneScreenPanel::setPhoneShowsFrame(bool showsFrame)
{
    settings_.phoneShowsFrame = showsFrame;
    Q_EMIT changed();
    if (window_)
        window_->setShowsPhoneFrame(showsFrame);
    if (hooks_)
        hooks_->phoneShowsFrameChanged(showsFrame);
}

void PhoneScreenPanel::setPhoneHeight(double height)
{
    settings_.phoneHeight = height;
    Q_EMIT changed();
    applyLayout();
    if (hooks_)
        hooks_->applyPhoneLayout();
}

void PhoneScreenPanel::enabledChanged()
{
    if (settings_.phoneEnabled) {
        studio_.refreshDevices();
        reconcile();
        return;
    }
    setPhoneWaiting(false);
    watchForPhone(false);
    if (OverlayRecorder* phone = recorder()) {
        phone->detach();
        phone->stopPreview();
    }
    if (window_)
        window_->hidePanel();
    if (!studio_.phase().isRolling())
        window_.reset();
}

void PhoneScreenPanel::dropWindowIfOff()
{
    if (!settings_.phoneEnabled)
        window_.reset();
}

void PhoneScreenPanel::reconcile()
{
    OverlayRecorder* phoneRecorder = recorder();
    if (!settings_.phoneEnabled || !phoneRecorder)
        return;
    const CaptureDeviceInfo* phone = CaptureDeviceChoice::selectedOrFirst(settings_.phones, settings_.selectedPhoneID);
    if (!phone) {
        setPhoneWaiting(true);
        phoneRecorder->detach();
        if (!studio_.phase().isRolling())
            window_.reset();
        watchForPhone(true);
        return;
    }
    setPhoneWaiting(false);
    watchForPhone(false);
    if (phoneRecorder->isAttached()) {
        if (CaptureDeviceChoice::listed(settings_.phones, phoneRecorder->attachedDeviceID()))
            return;
        phoneRecorder->detach();
    }
    const QString id = phone->uniqueID;
    setSelectedPhoneID(id);
    if (const auto error = phoneRecorder->configure(id, false)) {
        studio_.setPhase(RecordingPhase::failed(*error));
        return;
    }
    QPointer<PhoneScreenPanel> weak(this);
    phoneRecorder->onFrameSizeKnown = [weak](QSize) {
        QTimer::singleShot(0, weak.data(), [weak] {
            if (weak)
                weak->applyLayout();
        });
    };
    phoneRecorder->startPreview();
    showWindow();
    Diagnostics::log(studio_.phase().isRolling() ? QStringLiteral("iPhone attached mid-take") : QStringLiteral("iPhone attached"));
}

void PhoneScreenPanel::watchForPhone(bool on)
{
    if (!on) {
        delete watch_;
        watch_ = nullptr;
        return;
    }
    if (watch_)
        return;
    watch_ = new QTimer(this);
    watch_->setTimerType(Qt::PreciseTimer);
    watch_->setInterval(2000);
    QPointer<PhoneScreenPanel> weak(this);
    connect(watch_, &QTimer::timeout, this, [weak] {
        if (!weak || !weak->settings_.phoneEnabled || !weak->takes_)
            return;
        if (weak->recorder()->isAttached())
            return;
        auto phones = weak->takes_->phoneScreens();
        if (phones.empty())
            return;
        weak->setPhones(std::move(phones));
        weak->reconcile();
    });
    watch_->start();
}

void PhoneScreenPanel::showWindow()
{
    OverlayRecorder* phoneRecorder = recorder();
    const auto screen = studio_.selectedScreen();
    if (window_ || !screen || !phoneRecorder || !windows_)
        return;
    const QSizeF size = TakeGeometry::phoneWindowSize(settings_.phoneHeight, phoneRecorder->frameSize());
    auto panel = windows_->makePanel(phoneRecorder->createPreview(nullptr), size, cornerRadius);
    if (!panel)
        return;
    panel->setShowsPhoneFrame(settings_.phoneShowsFrame);
    // Inside the part the movie films, as the bubble.
    const QRect filmed = ScreenGeometry::filmedRect(screen->display.frame).toRect();
    panel->placeAt({filmed.x() + 40, filmed.y() + filmed.height() - panel->panelSize().height() - 40});
    panel->orderFront();
    window_ = std::move(panel);
}

void PhoneScreenPanel::applyLayout()
{
    if (!window_)
        return;
    const OverlayRecorder* phoneRecorder = recorder();
    window_->resizeTo(TakeGeometry::phoneWindowSize(settings_.phoneHeight, phoneRecorder ? phoneRecorder->frameSize() : QSize()), cornerRadius);
}
