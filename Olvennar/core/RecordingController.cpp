#include "core/RecordingController.h"

#include "core/ControllerHooks.h"
#include "core/Diagnostics.h"
#include "core/Permissions.h"
#include "core/ProjectFolder.h"
#include "platform/system/AccessProbe.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

RecordingController::RecordingController(Platform platform, QObject* parent)
    : QObject(parent)
    , platform_(platform)
    , lastTakeEndedAt_(QDateTime(QDate(1, 1, 1), QTime(0, 0), Qt::UTC))
{
    readSettings();
    lastShortURL_ = ProjectFolder::latestShortTake(platform_.settings);
    refreshDestinationName();
    writeLaunchLine();
    registerHotKeys();
    registerRemoteButton();
    // The first handoff refresh runs on a later turn of the main loop, never inside the constructor.
    QPointer<RecordingController> weak(this);
    QTimer::singleShot(0, this, [weak] {
        if (weak)
            weak->watchNextTake(true);
    });
}

RecordingController::~RecordingController() = default;

ControllerHooks& RecordingController::hooks()
{
    static ControllerHooks none;
    return platform_.hooks ? *platform_.hooks : none;
}

QCoro::Task<> RecordingController::checkPermissionAndLoadDisplays() { co_return; }

QString RecordingController::launchLine(const QString& version, const QString& screen, const QString& microphone, const QString& camera)
{
    return QStringLiteral("launch ") + (version.isEmpty() ? QStringLiteral("?") : version) + QStringLiteral(": permissions screen=")
        + screen + QStringLiteral(" mic=") + microphone + QStringLiteral(" camera=") + camera;
}

void RecordingController::writeLaunchLine()
{
    AccessProbe& access = platform_.access;
    // The screen is either reachable or not; it is never "not asked".
    const auto screen = access.screen() == Permissions::State::granted ? Permissions::State::granted : Permissions::State::denied;
    Diagnostics::log(launchLine(QCoreApplication::applicationVersion(), Permissions::stateName(screen),
        Permissions::stateName(access.microphone()), Permissions::stateName(access.camera())));
}

void RecordingController::watchNextTake(bool watch)
{
    if (!watch)
        return;
    refreshNextTake();
    if (nextTakeWatch_)
        return;
    nextTakeWatch_ = new QTimer(this);
    nextTakeWatch_->setTimerType(Qt::PreciseTimer);
    nextTakeWatch_->setInterval(2000);
    QPointer<RecordingController> weak(this);
    connect(nextTakeWatch_, &QTimer::timeout, this, [weak] {
        if (weak)
            weak->refreshNextTake();
    });
    nextTakeWatch_->start();
}

void RecordingController::refreshNextTake() { ++handoffRefreshCount_; }
