#include "core/RemoteTakeControl.h"

#include "core/Platform.h"
#include "platform/audio/SoundPlayer.h"
#include "platform/system/CancelToken.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/Scheduler.h"
#include "platform/system/SleepWatcher.h"
#include "takes/TakeControls.h"

#include <QPointer>
#include <QTimer>

namespace {

QString phaseCaseName(RecordingPhase::Kind kind)
{
    switch (kind) {
    case RecordingPhase::Kind::countingDown: return QStringLiteral("countingDown");
    case RecordingPhase::Kind::preparing: return QStringLiteral("preparing");
    case RecordingPhase::Kind::finishing: return QStringLiteral("finishing");
    default: return {};
    }
}

} // namespace

RemoteTakeControl::RemoteTakeControl(Studio& studio, const Platform& platform, QObject* parent)
    : QObject(parent)
    , studio_(studio)
    , button_(platform.remoteButton)
    , sounds_(platform.sounds)
    , teleprompter_(platform.teleprompter)
    , sleepWatcher_(platform.sleepWatcher)
    , scheduler_(platform.scheduler)
{
}

void RemoteTakeControl::playSound(const QString& name)
{
    if (sounds_)
        sounds_->play(name);
}

void RemoteTakeControl::setStatus(const RemoteButton::Status& status)
{
    status_ = status;
    Q_EMIT changed();
}

void RemoteTakeControl::registerButton()
{
    if (!button_)
        return;
    QPointer<RemoteTakeControl> weak(this);
    button_->onPress = [weak] {
        QTimer::singleShot(0, weak.data(), [weak] {
            if (weak)
                weak->toggle();
        });
    };
    button_->onLongPress = [weak] {
        QTimer::singleShot(0, weak.data(), [weak] {
            if (weak)
                weak->longPress();
        });
    };
    button_->onStatusChange = [weak](const RemoteButton::Status& status) {
        QTimer::singleShot(0, weak.data(), [weak, status] {
            if (weak)
                weak->setStatus(status);
        });
    };
    button_->arm();
    setStatus(button_->status());
    if (sleepWatcher_) {
        connect(sleepWatcher_, &SleepWatcher::woke, this, [weak] {
            if (!weak)
                return;
            auto rearm = [weak] {
                if (!weak || !weak->button_)
                    return;
                RemoteButton& b = *weak->button_;
                if (b.status().kind == RemoteButton::Status::Kind::notSet || b.isLearning())
                    return;
                Diagnostics::log(QStringLiteral("remote button: computer woke, re-arming"));
                b.arm();
            };
            if (weak->scheduler_)
                weak->scheduler_->after(3.0, weak.data(), rearm);
            else
                QTimer::singleShot(3000, weak.data(), rearm);
        });
    }
}

void RemoteTakeControl::cancelPendingStop()
{
    if (!pendingStop_)
        return;
    CancelToken* token = pendingStop_;
    pendingStop_ = nullptr;
    token->cancel();
    token->deleteLater();
}

QCoro::Task<> RemoteTakeControl::delayedStop(CancelToken* token)
{
    QPointer<RemoteTakeControl> weak(this);
    QPointer<CancelToken> guard(token);
    const bool slept = co_await cancellableSleep(std::chrono::milliseconds(secondPressMilliseconds), token);
    if (!weak || !slept || !guard || guard->isCancelled())
        co_return;
    if (weak->pendingStop_ == token) {
        weak->pendingStop_ = nullptr;
        token->deleteLater();
    }
    if (!weak->studio_.phase().isRolling())
        co_return;
    weak->setStopCameFromRemote(true);
    co_await weak->studio_.stop();
    if (!weak)
        co_return;
    // "Pop" confirms a stop that ended well; a stop that failed says so with "Basso".
    weak->playSound(weak->studio_.phase().kind() == RecordingPhase::Kind::failed ? QStringLiteral("Basso") : QStringLiteral("Pop"));
}

QCoro::Task<> RemoteTakeControl::toggle()
{
    QPointer<RemoteTakeControl> weak(this);
    const RecordingPhase::Kind kind = studio_.phase().kind();
    switch (kind) {
    case RecordingPhase::Kind::recording:
    case RecordingPhase::Kind::paused:
        if (pendingStop_) {
            cancelPendingStop();
            Diagnostics::log(QStringLiteral("remote button: double press -> discard"));
            co_await studio_.discard();
            if (weak)
                weak->playSound(QStringLiteral("Basso"));
        } else {
            pendingStop_ = new CancelToken(this);
            delayedStop(pendingStop_);
        }
        break;
    case RecordingPhase::Kind::countingDown:
    case RecordingPhase::Kind::preparing:
    case RecordingPhase::Kind::finishing:
        Diagnostics::log(QStringLiteral("remote button: press ignored, studio busy (") + phaseCaseName(kind) + QLatin1Char(')'));
        playSound(QStringLiteral("Funk"));
        break;
    case RecordingPhase::Kind::idle:
    case RecordingPhase::Kind::finished:
    case RecordingPhase::Kind::failed:
        if (studio_.pressRacedTheTakesOwnStop()) {
            Diagnostics::log(QStringLiteral("remote button: the take had just stopped on its own; the press is taken as its stop"));
            break;
        }
        co_await studio_.start();
        break;
    }
}

void RemoteTakeControl::longPress()
{
    if (!studio_.phase().isRolling() || !teleprompter_ || !teleprompter_->isPanelShown())
        return;
    cancelPendingStop();
    teleprompter_->stepBox(1);
    playSound(QStringLiteral("Tink"));
    Diagnostics::log(QStringLiteral("remote button: long press -> next teleprompter box"));
}
