#pragma once

#include <pulse/context.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>

#include <QString>

#include <functional>
#include <memory>

// Ends a further client's life on its connection's mainloop: its state callback cleared, disconnected,
// released. With the mainloop lock held or on the mainloop thread, never from one of its own streams' callbacks.
struct PulseClientRelease {
    void operator()(pa_context* context) const
    {
        pa_context_set_state_callback(context, nullptr, nullptr);
        pa_context_disconnect(context);
        pa_context_unref(context);
    }
};
using PulseClient = std::unique_ptr<pa_context, PulseClientRelease>;

// A PulseAudio client: a threaded mainloop and a connected context, both owned. Callbacks run on the
// mainloop's thread; every other use of the context holds `Lock`.
class PulseConnection {
public:
    // Nothing when the server cannot be reached (never autospawns a daemon). The mainloop's thread is named
    // `threadName` (at most 15 bytes), after what the connection serves.
    static std::unique_ptr<PulseConnection> open(const QString& clientName, const char* threadName);
    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    pa_threaded_mainloop* mainloop() const { return mainloop_; }
    pa_context* context() const { return context_; }

    class Lock {
    public:
        explicit Lock(const PulseConnection& connection) : mainloop_(connection.mainloop_) { pa_threaded_mainloop_lock(mainloop_); }
        ~Lock() { pa_threaded_mainloop_unlock(mainloop_); }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        pa_threaded_mainloop* mainloop_;
    };

    // With the lock held: waits until the operation is done (its callback must call signal()), then releases it.
    // False when the operation could not be started.
    bool wait(pa_operation* operation) const;
    // With the lock held: waits until the stream is ready (true) or failed (false); its state callback must
    // call signal().
    bool waitUntilReady(pa_stream* stream) const;
    // With the lock held: waits until `done` holds (checked whenever a callback calls signal()) or the timeout
    // passed; returns `done`'s last answer.
    bool waitUntil(const std::function<bool()>& done, pa_usec_t timeoutMicroseconds) const;
    // From a callback: wakes wait().
    void signal() const { pa_threaded_mainloop_signal(mainloop_, 0); }
    bool isReady() const;
    // With the lock held: another client of the same server on this mainloop, connecting; `onState` runs on
    // the mainloop's thread as its state changes. Empty when it could not be started. Released before this.
    PulseClient connectClient(const char* clientName, pa_context_notify_cb_t onState, void* data) const;
    // With the lock held: `onLost` runs on the mainloop's thread when the server ends the connection (it
    // went away or restarted); nothing reconnects this one.
    void setOnLost(std::function<void()> onLost);

private:
    PulseConnection() = default;
    void stateChanged();
    std::function<void()> onLost_;
    pa_threaded_mainloop* mainloop_ = nullptr;
    pa_context* context_ = nullptr;
};
