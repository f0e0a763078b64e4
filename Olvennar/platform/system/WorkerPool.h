#pragma once

#include <QFuture>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <functional>
#include <string>
#include <tuple>
#include <utility>

// A named pool of worker threads for work that blocks or runs long. Every thread carries the pool's name
// and the pool's priority; the studio keeps separate pools so that a render held at the export gate never
// holds a thread a take's start or stop needs, and background work never takes the CPU from a take.
//
// Threading contract: run() and start() may be called from any thread; the work runs on one of the pool's
// threads, which takes the pool's name and priority when it first picks up work. A background pool's
// threads keep their lower priority for good (an unprivileged thread cannot raise it again), which is why
// pools are never shared between take work and background work. Every pool waits for its work when the
// QCoreApplication goes (as Qt's global pool does), before the GUI library's globals go; the destructor
// waits too.
class WorkerPool {
public:
    enum class Priority { normal, background };

    WorkerPool(std::string name, Priority priority);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // A take's own work at its start and stop: opening microphones and cameras, starting and stopping
    // streams, finishing its writers, reading back what it wrote. Normal priority.
    static WorkerPool& takes();
    // The finish queue's renders, face muxes and trims, and the shorts' exports. Background.
    static WorkerPool& renders();
    // The enhancement worker. Background.
    static WorkerPool& enhancement();
    // The export preview's renderer builds and frames. Background.
    static WorkerPool& previews();
    // The remote handoff's file reads and folder preparation. Normal priority: they lead to a take.
    static WorkerPool& handoffs();

    // Qt's own pool, which QImage conversions and scaling fan out to from any thread but its own: every one
    // of its threads is started now, from the calling (main) thread, named "qt.pool" and kept for good. Else
    // a background thread would start them at its lower priority, and a take's or the GUI thread's
    // conversions would then wait on them. Once, at launch, before any background work.
    static void startQtPoolAtNormalPriority();
    // Waits for the work of every pool that exists, for at most `milliseconds` in all (negative: without a
    // bound); false when some was still running then. The application's end calls it before it lets go of
    // the studio's lock.
    static bool waitForEveryPool(int milliseconds);

    const std::string& name() const { return name_; }
    Priority priority() const { return priority_; }
    // Tests force a pool to one thread to show that no pool waits on another.
    void setMaxThreadCount(int count) { pool_.setMaxThreadCount(count); }
    int maxThreadCount() const { return pool_.maxThreadCount(); }

    template <typename Function, typename... Args>
    auto run(Function&& function, Args&&... args)
    {
        return QtConcurrent::run(&pool_,
            [this, function = std::forward<Function>(function), arguments = std::make_tuple(std::forward<Args>(args)...)]() mutable {
                prepareThread();
                return std::apply(function, std::move(arguments));
            });
    }
    void start(std::function<void()> work);
    void waitForDone() { pool_.waitForDone(); }
    // False when work still ran after `milliseconds`.
    bool waitForDone(int milliseconds) { return pool_.waitForDone(milliseconds); }

private:
    // Names the calling thread and sets its priority, once per thread, when it is one of this pool's (a
    // QFuture waiter may run queued work on its own thread, which keeps its own name and priority).
    void prepareThread();

    std::string name_;
    Priority priority_;
    QThreadPool pool_;
};
