#include "platform/system/WorkerPool.h"

#include "platform/system/ThisThread.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSemaphore>
#include <QThread>

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

namespace {

std::mutex& registryLock()
{
    static std::mutex lock;
    return lock;
}

std::vector<WorkerPool*>& registry()
{
    static std::vector<WorkerPool*> pools;
    return pools;
}

// Work still running then (a preview's renderer build, say) paints with the GUI library.
void waitAtTeardown() { WorkerPool::waitForEveryPool(-1); }

} // namespace

bool WorkerPool::waitForEveryPool(int milliseconds)
{
    std::vector<WorkerPool*> pools;
    {
        std::lock_guard guard(registryLock());
        pools = registry();
    }
    QDeadlineTimer deadline(milliseconds < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(milliseconds));
    bool done = true;
    for (WorkerPool* pool : pools)
        done = pool->pool_.waitForDone(deadline.isForever() ? -1 : static_cast<int>(std::max<qint64>(0, deadline.remainingTime()))) && done;
    return done;
}

WorkerPool::WorkerPool(std::string name, Priority priority)
    : name_(std::move(name))
    , priority_(priority)
{
    pool_.setObjectName(QString::fromStdString(name_));
    static const bool waitsAtTeardown = (qAddPostRoutine(waitAtTeardown), true);
    Q_UNUSED(waitsAtTeardown);
    std::lock_guard guard(registryLock());
    registry().push_back(this);
}

WorkerPool::~WorkerPool()
{
    {
        std::lock_guard guard(registryLock());
        std::erase(registry(), this);
    }
    pool_.waitForDone();
}

WorkerPool& WorkerPool::takes()
{
    static WorkerPool pool("take.io", Priority::normal);
    return pool;
}

WorkerPool& WorkerPool::renders()
{
    static WorkerPool pool("render", Priority::background);
    return pool;
}

WorkerPool& WorkerPool::enhancement()
{
    static WorkerPool pool("enhance", Priority::background);
    return pool;
}

WorkerPool& WorkerPool::previews()
{
    static WorkerPool pool("layout.preview", Priority::background);
    return pool;
}

WorkerPool& WorkerPool::handoffs()
{
    static WorkerPool pool("handoff.read", Priority::normal);
    return pool;
}

void WorkerPool::startQtPoolAtNormalPriority()
{
    QThreadPool* pool = QThreadPool::globalInstance();
    pool->setExpiryTimeout(-1);
    const int count = pool->maxThreadCount();
    // Each item holds its thread until all have started, so the pool cannot hand two of them to one thread.
    auto started = std::make_shared<QSemaphore>();
    auto release = std::make_shared<QSemaphore>();
    for (int i = 0; i < count; ++i)
        pool->start([started, release] {
            ThisThread::setName("qt.pool");
            started->release();
            release->acquire();
        });
    started->acquire(count);
    release->release(count);
}

void WorkerPool::start(std::function<void()> work)
{
    pool_.start([this, work = std::move(work)] {
        prepareThread();
        work();
    });
}

void WorkerPool::prepareThread()
{
    thread_local const WorkerPool* preparedFor = nullptr;
    if (preparedFor == this || !pool_.contains(QThread::currentThread()))
        return;
    preparedFor = this;
    ThisThread::setName(name_);
    if (priority_ == Priority::background)
        ThisThread::lowerPriority();
}
