// The camera a window asks for, the short preview's opening and the bubble's switch.
#include "core/RecordingController.h"

#include "core/ControllerHooks.h"
#include "platform/system/AccessProbe.h"
#include "platform/system/Diagnostics.h"

#include <QPointer>
#include <QTimer>

namespace {
const QString shortCameraRefused = QStringLiteral("Camera access is off. Add your user to the \"video\" group, then log out and in again.");
}

QCoro::Task<bool> RecordingController::askCameraForWindow(QString window, QString refusedSentence)
{
    QPointer<RecordingController> weak(this);
    QCoro::Task<bool> asking = Permissions::requestCamera(platform_.access);
    const bool granted = co_await std::move(asking);
    if (!weak)
        co_return false;
    refreshPermissions();
    if (granted)
        co_return true;
    // A refusal must not end a take that is filming or finishing: it only costs the window.
    if (phase_.isBusy()) {
        Diagnostics::log(window + QStringLiteral(": camera access refused while a take runs; the window stays closed"));
        co_return false;
    }
    // Without any camera there is nothing to allow: say so instead of blaming access.
    setPhase(Phase::failed(noCameraDevice() ? Permissions::noCameraFound : refusedSentence));
    co_return false;
}

QCoro::Task<> RecordingController::openShortPreview()
{
    QPointer<RecordingController> weak(this);
    QCoro::Task<bool> asking = askCameraForWindow(QStringLiteral("short frame"), shortCameraRefused);
    const bool granted = co_await std::move(asking);
    if (!weak || !granted)
        co_return;
    if (!traits().filmsShort)
        co_return;
    hooks().openShortPreview();
    Q_EMIT changed();
    updateFramingRouting();
}

void RecordingController::cameraEnabledChanged()
{
    if (bubble_.cameraEnabled) {
        QPointer<RecordingController> weak(this);
        QTimer::singleShot(0, this, [weak] {
            if (weak)
                weak->enableCamera();
        });
        return;
    }
    bubblePanel_->switchedOff();
}
