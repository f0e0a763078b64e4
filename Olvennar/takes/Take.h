#pragma once

#include "takes/TakeFolder.h"
#include "takes/TakeStart.h"

#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QString>

#include <optional>

#include <qcorotask.h>

class ZoomMarker;

// One kind of take as the studio drives it. The studio runs the steps every kind shares: it guards the start,
// asks for the access the take needs, counts down while the take prepares its devices, opens the take folder,
// enters the phases and runs the ticker; it stops the ticker and enters "finishing" before a stop and clears
// a discarded take's files after its discard. The take owns its recorders and trackers, records, and reports
// its end through its host. Lives and is called on the main thread.
//
// Starting on the beat: the studio runs prepareDevices() while the numbers show. The take opens its sound
// sources (and whatever else takes time to deliver) there, off the main thread, so they flow when the
// countdown ends; record() then anchors picture and sound at that moment (the take clock's zero) and starts
// its writers without waiting for any device. When the countdown is interrupted or a device failed (its
// sentence shown) the studio calls releaseDevices() and no record() follows. Without a countdown the studio
// awaits the preparation alone, with the window responsive and the phase "preparing".
class Take : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    ~Take() override = default;

    // What the take needs access to for this start, with its refusal sentences.
    virtual TakeAccess access(const TakeStart& start) const = 0;
    // A sentence that refuses the start before anything is asked ("Pick a display first.").
    virtual std::optional<QString> refusal(const TakeStart& start) const { (void)start; return std::nullopt; }
    // After access, with the lists read afresh: picks the take's devices, or the sentence that refuses it.
    virtual QCoro::Task<std::optional<QString>> choose(const TakeStart& start) { (void)start; co_return std::nullopt; }
    // The screen the numbers show on; an invalid frame starts without counting.
    virtual QRect countdownFrame(const TakeStart& start) const { return start.countdownFrame.value_or(QRect()); }
    // Opens the take's devices and completes once every one delivers, or with the sentence of the one that
    // failed. Never waits on the main thread (device waits go to a worker). Runs once per start, beside the
    // countdown; a take with nothing slow to open keeps the default.
    virtual QCoro::Task<std::optional<QString>> prepareDevices() { co_return std::nullopt; }
    // Closes what prepareDevices() opened when no take follows it.
    virtual void releaseDevices() { }
    // Starts the recorders into the folder and logs the take's start; the sentence when it failed (its
    // devices let go; the studio shows it and removes a folder it made that stayed empty).
    virtual QCoro::Task<std::optional<QString>> record(const TakeStart& start, const TakeFolder& folder) = 0;
    // Closes the movies and hands the take on; byRemote trims the tail of a stop the remote asked for.
    virtual QCoro::Task<> stop(bool byRemote) = 0;
    // Stops everything and removes the files only this kind writes; the studio then clears the take's files
    // and a folder it made, when nothing else is in it.
    virtual QCoro::Task<> discard() = 0;
    virtual void pause() = 0;
    virtual void resume() = 0;
    // Between its start and its end.
    virtual bool isRunning() const = 0;
    // Take time so far, pauses cut.
    virtual double elapsedSeconds() const = 0;
    // Where the running take writes; nothing between takes.
    virtual const std::optional<TakeFolder>& folder() const = 0;
    // Where the zoom-mark keys land; none for a kind without zoom marks.
    virtual ZoomMarker* zoomMarker() { return nullptr; }
    // The take description's "look" object for this look; empty for a kind whose video has none.
    virtual QJsonObject lookObject(const TakeLook& look) const { (void)look; return {}; }

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

protected:
    // The take ended (stop, discard, failure): a start still awaiting gives up.
    void endAttempt() { ++attempt_; }

private:
    unsigned long long attempt_ = 0;
};
