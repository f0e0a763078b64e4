#pragma once

#include "takes/TakeFolder.h"

#include <QObject>

#include <optional>

#include <qcorotask.h>

// One kind of take as the controller drives it. The controller guards each operation by its published
// phase and hands it to the take of the current capture mode; the take owns its recorders and trackers,
// runs the flow and reports through its host. Lives and is called on the main thread.
class Take : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    ~Take() override = default;

    // From access and countdown to recording; a refusal or failure ends in the failed phase.
    virtual QCoro::Task<> start() = 0;
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
};
