#include "platform/system/WorkerPool.h"

#include "platform/system/ThisThread.h"

#include <QSemaphore>
#include <QThread>

#include <memory>

WorkerPool::WorkerPool(std::string name, Priority priority)
    : name_(std::move(name))
    , priority_(priority)
{
    pool_.setObjectName(QString::fromStdString(name_));
}

WorkerPool::~WorkerPool() { pool_.waitForDone(); }

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
