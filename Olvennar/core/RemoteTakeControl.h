#pragma once

#include "capture/RemoteButton.h"
#include "takedata/RecordingPhase.h"

#include <QObject>

#include <utility>

#include <qcorotask.h>

class CancelToken;
class Scheduler;
class SleepWatcher;
class SoundPlayer;
class TeleprompterStepper;
struct Platform;

// The learned clicker as the studio's remote: one press starts a take, or stops it after a short wait in which
// a second press discards it instead; a hold steps the teleprompter. Publishes the button's status and remembers
// that the next stop came from the remote, so the take can cut the hand reaching for it.
//
// Threading: lives on the GUI thread with the controller that owns it. The button's callbacks may come from
// anywhere; each is posted to the main loop before it touches anything here.
class RemoteTakeControl : public QObject {
    Q_OBJECT

public:
    // The take operations the remote drives.
    class Studio {
    public:
        virtual const RecordingPhase& phase() const = 0;
        virtual QCoro::Task<> start() = 0;
        virtual QCoro::Task<> stop() = 0;
        virtual QCoro::Task<> discard() = 0;
        // A press now came just after the take stopped on its own, and was meant to stop it.
        virtual bool pressRacedTheTakesOwnStop() const = 0;

    protected:
        ~Studio() = default;
    };

    // How long a stop waits for a second press that turns it into a discard.
    static constexpr int secondPressMilliseconds = 700;

    RemoteTakeControl(Studio& studio, const Platform& platform, QObject* parent = nullptr);

    // Hooks the button's presses and status up and arms it; after a wake it is armed again.
    void registerButton();
    QCoro::Task<> toggle();
    void longPress();
    bool hasPendingStop() const { return pendingStop_ != nullptr; }
    // A discard (or any take end) drops a stop still waiting for its second press.
    void cancelPendingStop();
    // Set just before a stop the remote asked for; the stop reads and clears it to trim the take's tail.
    bool stopCameFromRemote() const { return stopCameFromRemote_; }
    void setStopCameFromRemote(bool fromRemote) { stopCameFromRemote_ = fromRemote; }
    bool takeStopCameFromRemote() { return std::exchange(stopCameFromRemote_, false); }
    const RemoteButton::Status& status() const { return status_; }
    void setStatus(const RemoteButton::Status& status);

Q_SIGNALS:
    void changed();

private:
    QCoro::Task<> delayedStop(CancelToken* token);
    void playSound(const QString& name);

    Studio& studio_;
    RemoteButton* button_;
    SoundPlayer* sounds_;
    TeleprompterStepper* teleprompter_;
    SleepWatcher* sleepWatcher_;
    Scheduler* scheduler_;
    RemoteButton::Status status_;
    CancelToken* pendingStop_ = nullptr;
    bool stopCameFromRemote_ = false;
};
