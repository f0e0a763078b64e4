// The take operations the window, the hot keys and the remote call, handed to the take sequence, and what
// the studio does around a take: its notices and the panels after it.
#include "core/RecordingController.h"

#include "platform/system/Diagnostics.h"

QCoro::Task<> RecordingController::stop()
{
    if (!recordingOrPaused(phase_))
        co_return;
    // The remote's word belongs to this stop alone.
    const bool byRemote = remote_->takeStopCameFromRemote();
    co_await takes_->stop(byRemote);
}

QCoro::Task<> RecordingController::discard()
{
    if (!recordingOrPaused(phase_))
        co_return;
    remote_->cancelPendingStop();
    co_await takes_->discard();
}

void RecordingController::inform(const QString& sentence)
{
    Diagnostics::log(sentence);
    notice_ = sentence;
    Q_EMIT changed();
}

void RecordingController::settleOverlayWindows()
{
    phone_->dropWindowIfOff();
    bubblePanel_->dropWindowIfOff();
    phone_->reconcile();
    bubblePanel_->reconcile();
}

QJsonObject RecordingController::harnessLook() const { return takes_->lookObject(look_); }
