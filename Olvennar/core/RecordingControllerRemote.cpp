#include "core/RecordingController.h"

#include "capture/RemoteButton.h"
#include "platform/system/Diagnostics.h"
#include "core/HotKeyCenter.h"
#include "takes/TakeControls.h"
#include "platform/audio/SoundPlayer.h"
#include "platform/system/CancelToken.h"
#include "platform/system/Scheduler.h"
#include "platform/system/SleepWatcher.h"
#include "platform/x11/GlobalKeyGrabber.h"

#include <QPointer>
#include <QTimer>

namespace {
constexpr uint32_t keyR = 0x72, keyP = 0x70, keyZ = 0x7a, keyX = 0x78, keyLeft = 0xff51, keyRight = 0xff53;
constexpr uint16_t command = GlobalKeyGrabber::control;
constexpr uint16_t controlOption = GlobalKeyGrabber::super | GlobalKeyGrabber::alt;

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

void RecordingController::playSound(const QString& name)
{
    if (platform_.sounds)
        platform_.sounds->play(name);
}

void RecordingController::registerHotKeys()
{
    HotKeyCenter* center = platform_.hotKeys;
    if (!center)
        return;
    QPointer<RecordingController> weak(this);
    // Each action starts its work on the main loop holding the controller weakly.
    center->registerKey({keyR, command, QString::fromLatin1(HotKeyNames::startStop)}, [weak] {
        if (!weak)
            return;
        switch (weak->phase().kind()) {
        case RecordingPhase::Kind::recording:
        case RecordingPhase::Kind::paused:
            weak->stop();
            break;
        case RecordingPhase::Kind::idle:
        case RecordingPhase::Kind::finished:
        case RecordingPhase::Kind::failed:
            weak->start();
            break;
        default:
            break;
        }
    });
    center->registerKey({keyP, command, QString::fromLatin1(HotKeyNames::pause)}, [weak] {
        if (weak)
            weak->togglePause();
    });
    center->registerKey({keyZ, controlOption, QString::fromLatin1(HotKeyNames::zoomIn)}, [weak] {
        if (weak)
            weak->markZoom(true);
    });
    center->registerKey({keyX, controlOption, QString::fromLatin1(HotKeyNames::zoomOut)}, [weak] {
        if (weak)
            weak->markZoom(false);
    });
    center->registerKey({keyLeft, controlOption, QString::fromLatin1(HotKeyNames::previousBox)}, [weak] {
        if (weak && weak->platform_.teleprompter)
            weak->platform_.teleprompter->stepBox(-1);
    });
    center->registerKey({keyRight, controlOption, QString::fromLatin1(HotKeyNames::nextBox)}, [weak] {
        if (weak && weak->platform_.teleprompter)
            weak->platform_.teleprompter->stepBox(1);
    });
}

void RecordingController::markZoom(bool zoomIn)
{
    // Only a recording take of a kind with zoom marks takes marks; anything else is ignored without a line.
    if (phase().kind() != RecordingPhase::Kind::recording || !traits().zoomMarks || !platform_.zoomMarker)
        return;
    platform_.zoomMarker->addMark(zoomIn);
    setZoomMarkCount(platform_.zoomMarker->markCount());
    Diagnostics::log(QStringLiteral("zoom mark ") + (zoomIn ? QStringLiteral("in") : QStringLiteral("out")) + QStringLiteral(" (")
        + QString::number(zoomMarkCount()) + QStringLiteral(" this take)"));
}

void RecordingController::registerRemoteButton()
{
    RemoteButton* button = platform_.remoteButton;
    if (!button)
        return;
    QPointer<RecordingController> weak(this);
    button->onPress = [weak] {
        QTimer::singleShot(0, weak.data(), [weak] {
            if (weak)
                weak->remoteToggle();
        });
    };
    button->onLongPress = [weak] {
        QTimer::singleShot(0, weak.data(), [weak] {
            if (weak)
                weak->remoteLongPress();
        });
    };
    button->onStatusChange = [weak](const RemoteButton::Status& status) {
        QTimer::singleShot(0, weak.data(), [weak, status] {
            if (weak)
                weak->setRemoteStatus(status);
        });
    };
    button->arm();
    setRemoteStatus(button->status());
    if (platform_.sleepWatcher) {
        connect(platform_.sleepWatcher, &SleepWatcher::woke, this, [weak] {
            if (!weak)
                return;
            auto rearm = [weak] {
                if (!weak || !weak->platform_.remoteButton)
                    return;
                RemoteButton& b = *weak->platform_.remoteButton;
                if (b.status().kind == RemoteButton::Status::Kind::notSet || b.isLearning())
                    return;
                Diagnostics::log(QStringLiteral("remote button: computer woke, re-arming"));
                b.arm();
            };
            if (weak->platform_.scheduler)
                weak->platform_.scheduler->after(3.0, weak.data(), rearm);
            else
                QTimer::singleShot(3000, weak.data(), rearm);
        });
    }
}

void RecordingController::cancelPendingRemoteStop()
{
    if (!pendingRemoteStop_)
        return;
    CancelToken* token = pendingRemoteStop_;
    pendingRemoteStop_ = nullptr;
    token->cancel();
    token->deleteLater();
}

QCoro::Task<> RecordingController::delayedRemoteStop(CancelToken* token)
{
    QPointer<RecordingController> weak(this);
    QPointer<CancelToken> guard(token);
    const bool slept = co_await cancellableSleep(std::chrono::milliseconds(700), token);
    if (!weak || !slept || !guard || guard->isCancelled())
        co_return;
    if (weak->pendingRemoteStop_ == token) {
        weak->pendingRemoteStop_ = nullptr;
        token->deleteLater();
    }
    if (!recordingOrPaused(weak->phase()))
        co_return;
    weak->setStopCameFromRemote(true);
    co_await weak->stop();
    if (!weak)
        co_return;
    // "Pop" confirms a stop that ended well; a stop that failed says so with "Basso".
    weak->playSound(weak->phase().kind() == RecordingPhase::Kind::failed ? QStringLiteral("Basso") : QStringLiteral("Pop"));
}

QCoro::Task<> RecordingController::remoteToggle()
{
    QPointer<RecordingController> weak(this);
    const RecordingPhase::Kind kind = phase().kind();
    switch (kind) {
    case RecordingPhase::Kind::recording:
    case RecordingPhase::Kind::paused:
        if (pendingRemoteStop_) {
            cancelPendingRemoteStop();
            Diagnostics::log(QStringLiteral("remote button: double press -> discard"));
            co_await discard();
            if (weak)
                weak->playSound(QStringLiteral("Basso"));
        } else {
            pendingRemoteStop_ = new CancelToken(this);
            delayedRemoteStop(pendingRemoteStop_);
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
        co_await start();
        break;
    }
}

void RecordingController::remoteLongPress()
{
    if (!recordingOrPaused(phase()) || !platform_.teleprompter || !platform_.teleprompter->isPanelShown())
        return;
    cancelPendingRemoteStop();
    platform_.teleprompter->stepBox(1);
    playSound(QStringLiteral("Tink"));
    Diagnostics::log(QStringLiteral("remote button: long press -> next teleprompter box"));
}
