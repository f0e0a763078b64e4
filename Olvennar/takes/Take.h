#pragma once

#include "takes/TakeFolder.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <optional>

#include <qcorotask.h>

// One kind of take as the controller drives it. The controller guards each operation by its published
// phase and hands it to the take of the current capture mode; the take owns its recorders and trackers,
// runs the flow and reports through its host. Lives and is called on the main thread.
//
// Starting on the beat: a take's start() passes itself to TakeHost::countDown(), which runs
// prepareDevices() while the numbers show. The take opens its sound sources (and whatever else takes time
// to deliver) there, off the main thread, so they flow when the countdown ends; after countDown() returns
// true the take anchors picture and sound at that moment (the take clock's zero) and starts its writers
// without waiting for any device. When countDown() returns false (the countdown was interrupted or a
// device failed, its sentence shown) the host has already called releaseDevices(); the take just returns.
// A take that gives up after a true countDown() (say its folder could not be made) releases its devices
// itself. Without a countdown countDown() awaits the preparation alone, with the window responsive and the
// phase "preparing".
class Take : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    ~Take() override = default;

    // From access and countdown to recording; a refusal or failure ends in the failed phase.
    virtual QCoro::Task<> start() = 0;
    // Opens the take's devices and completes once every one delivers, or with the sentence of the one that
    // failed. Never waits on the main thread (device waits go to a worker). Runs once per start, from the
    // host's countDown(); a take with nothing slow to open keeps the default.
    virtual QCoro::Task<std::optional<QString>> prepareDevices() { co_return std::nullopt; }
    // Closes what prepareDevices() opened when no take follows it. Called by the host only after the
    // preparation completed.
    virtual void releaseDevices() { }
    // Closes the movies and hands the take on; byRemote trims the tail of a stop the remote asked for.
    virtual QCoro::Task<> stop(bool byRemote) = 0;
    // Stops everything and removes the take's files (and a folder it made, when nothing else is in it).
    virtual QCoro::Task<> discard() = 0;
    virtual void pause() = 0;
    virtual void resume() = 0;
    // A take without a take clock to pause says so; the pause key then does nothing.
    virtual bool canPause() const { return true; }
    // Between its start and its end.
    virtual bool isRunning() const = 0;
    // Take time so far, pauses cut.
    virtual double elapsedSeconds() const = 0;
    // Where the running take writes; nothing between takes.
    virtual const std::optional<TakeFolder>& folder() const = 0;

protected:
    // One start's hold on its take. While a start awaits (access, warm-up, countdown, a worker), the take may
    // fail, be stopped or discarded, or go away; after every await the start checks its attempt before it
    // changes the phase or arms a device, so an ended take is never revived.
    class Attempt {
    public:
        explicit Attempt(Take& take) : take_(&take), number_(take.attempt_) {}
        // The take still exists and nothing ended this attempt.
        explicit operator bool() const { return take_ && take_->attempt_ == number_; }

    private:
        QPointer<Take> take_;
        unsigned long long number_;
    };
    // A new start: any earlier start still awaiting finds itself ended.
    Attempt beginAttempt() { ++attempt_; return Attempt(*this); }
    // The take ended (stop, discard, failure): a start still awaiting gives up.
    void endAttempt() { ++attempt_; }

private:
    unsigned long long attempt_ = 0;
};
