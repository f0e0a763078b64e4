// The panels' reactions to their switches, the bubble's shape and size, the look, and the camera format.
#include "core/RecordingController.h"

#include "compositing/BubbleShapePath.h"
#include "core/ControllerHooks.h"
#include "platform/system/AccessProbe.h"
#include "platform/system/Diagnostics.h"

#include "framing/FramingReport.h"
#include "takes/OverlayRecorder.h"
#include "takes/TakeGeometry.h"

#include <QPointer>
#include <QTimer>

#include <algorithm>

namespace {
const QString shortCameraRefused = QStringLiteral("Camera access is off. Add your user to the \"video\" group, then log out and in again.");
}

QCoro::Task<bool> RecordingController::askCameraForWindow(QString window, QString refusedSentence, bool askUser)
{
    QPointer<RecordingController> weak(this);
    bool granted = platform_.access.camera() == Permissions::State::granted;
    if (askUser) {
        QCoro::Task<bool> asking = Permissions::requestCamera(platform_.access);
        granted = co_await std::move(asking);
    }
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

QCoro::Task<> RecordingController::openShortPreview(bool askUser)
{
    QPointer<RecordingController> weak(this);
    QCoro::Task<bool> asking = askCameraForWindow(QStringLiteral("short frame"), shortCameraRefused, askUser);
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
    if (OverlayRecorder* recorder = cameraRecorder()) {
        recorder->detach();
        recorder->stopPreview();
    }
    if (bubbleWindow_)
        bubbleWindow_->hidePanel();
    // During a take the hidden panel stays, so the stop can still measure where it stood.
    if (!recordingOrPaused(phase_))
        bubbleWindow_.reset();
}

void RecordingController::applyBubbleLayout(bool reanchor)
{
    if (!bubbleWindow_)
        return;
    const auto framing = studioBubbleFraming();
    const QSizeF size = bubbleWindowSize(framing);
    bubbleWindow_->setStudioFraming(framing);
    const double radius = BubbleShapePath::cornerRadius(bubble_.bubbleShape, std::min(size.width(), size.height()));
    bubbleWindow_->resizeTo(size, radius);
    bubbleWindow_->setShape(bubble_.bubbleShape, bubble_.bubbleTilt);
    if (!reanchor)
        return;
    const auto screen = selectedScreen();
    if (!screen)
        return;
    if (!framing) {
        const QRect frame = screen->display.frame;
        const QSize shown = bubbleWindow_->panelSize();
        bubbleWindow_->placeAt({frame.x() + frame.width() - shown.width() - 40, frame.y() + frame.height() - shown.height() - 40});
    } else {
        bubbleWindow_->moveToStudioSlot(screen->visibleFrame, look_.faceLayout);
        bubbleWindow_->flashGuide(5.0);
    }
}

void RecordingController::refreshCameraFormatForLayout()
{
    OverlayRecorder* recorder = cameraRecorder();
    // In the middle of a take the format never changes.
    if (recordingOrPaused(phase_) || !recorder || !recorder->isAttached())
        return;
    const bool tall = look_.screenLayout == ScreenLayout::studio;
    if (tall == recorder->preferTallFormat())
        return;
    recorder->setPreferTallFormat(tall);
    recorder->refreshFormat();
}

void RecordingController::showFramingOnBubble(const FramingReport& report, bool monitorRunning)
{
    if (!bubbleWindow_)
        return;
    if (!panels_.framingHintsOnBubble || !traits().overlays || !monitorRunning) {
        bubbleWindow_->setPill(std::nullopt, QString(), 1);
        return;
    }
    // The pill has room for the hint itself, not its explanation.
    QString hint = report.overall.hints.isEmpty() ? QString() : report.overall.hints.first();
    hint = hint.left(hint.indexOf(QStringLiteral(" (")));
    hint = hint.left(hint.indexOf(QStringLiteral(" — ")));
    bubbleWindow_->setPill(report.overall.status, hint, bubbleWindow_->pixelRatio());
}
