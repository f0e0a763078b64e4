// The take operations the window, the hot keys and the remote call, handed to the take sequence, and what
// the studio does around a take: its notices and the panels after it.
#include "core/RecordingController.h"

#include "platform/system/Diagnostics.h"
#include "platform/system/Scheduler.h"

#include <QPointer>

#include <chrono>
#include <optional>

#include <qcorotimer.h>

QCoro::Task<> RecordingController::stop()
{
    if (!recordingOrPaused(phase_))
        co_return;
    stopAsked_ = true;
    // The remote's word belongs to this stop alone.
    const bool byRemote = remote_->takeStopCameFromRemote();
    co_await takes_->stop(byRemote);
}

QCoro::Task<> RecordingController::discard()
{
    if (!recordingOrPaused(phase_))
        co_return;
    stopAsked_ = true;
    remote_->cancelPendingStop();
    co_await takes_->discard();
}

QCoro::Task<> RecordingController::windDown(bool saves)
{
    QPointer<RecordingController> weak(this);
    takes_->refuseStarts();
    // The stop this end began, to its very end (a screen take lets go of its recorder on the take pool).
    std::optional<QCoro::Task<>> stopping;
    for (;;) {
        if (phase_.kind() == Phase::Kind::countingDown) {
            // The numbers stop and no take begins.
            setPhase(Phase::idle());
        } else if (recordingOrPaused(phase_)) {
            Diagnostics::log(QStringLiteral("quit: the take under way is stopped and closed before the studio ends"));
            stopping.emplace(stop());
        }
        if (!takes_->takeUnderWay() && (!stopping || stopping->isReady()) && !(saves && finishQueue_->runsUnnotedWork()))
            co_return;
        // Awaited by name: g++ 12 may destroy a co_await expression's temporaries twice.
        QCoro::Task<> looking = QCoro::sleepFor(std::chrono::milliseconds(20));
        co_await std::move(looking);
        if (!weak)
            co_return;
    }
}

bool RecordingController::pressRacedTheTakesOwnStop() const
{
    return stoppedOnItsOwnAt_ && scheduler_->now() - *stoppedOnItsOwnAt_ < pressAfterOwnStopSeconds;
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
