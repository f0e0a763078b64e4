#include "platform/system/DispatchQueue.h"
#include "platform/system/GuiStallProbe.h"
#include "platform/system/ThisThread.h"
#include "platform/system/WorkerPool.h"
#include "support/ProcessThreads.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QImage>
#include <QThread>

#include <gtest/gtest.h>

#include <future>
#include <pthread.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {

struct Seen {
    std::string name;
    int nice = 0;
};

Seen here()
{
    char name[32] = {};
    pthread_getname_np(pthread_self(), name, sizeof name);
    return Seen{name, ThisThread::niceValue()};
}

// Runs the function on the pool and waits without QFuture, whose waiters may run queued work themselves.
template <typename Function>
auto onPool(WorkerPool& pool, Function function)
{
    auto promise = std::make_shared<std::promise<decltype(function())>>();
    auto answer = promise->get_future();
    pool.start([promise, function] { promise->set_value(function()); });
    return answer.get();
}

int mainNice() { return getpriority(PRIO_PROCESS, static_cast<id_t>(getpid())); }

TEST(WorkerPoolTest, BackgroundThreadsAndEverythingTheyStartYieldWhileTakeThreadsKeepTheirShare)
{
    const int base = mainNice();
    ASSERT_LT(base, ThisThread::backgroundNice) << "the test process already runs at the lowest priority";
    WorkerPool background("test.renders", WorkerPool::Priority::background);
    WorkerPool normal("test.take", WorkerPool::Priority::normal);

    const Seen render = onPool(background, [] { return here(); });
    EXPECT_EQ(render.name, "test.renders");
    EXPECT_EQ(render.nice, ThisThread::backgroundNice);

    // An encoder's or decoder's own workers start from the render's thread and inherit its share; asking
    // again (a queue created there) does not lower it further.
    const Seen child = onPool(background, [] {
        Seen seen;
        std::thread([&seen] {
            ThisThread::lowerPriority();
            seen = here();
        }).join();
        return seen;
    });
    EXPECT_EQ(child.nice, ThisThread::backgroundNice);

    // The take's pool and a capture queue keep the main thread's share while the background pool exists.
    const Seen take = onPool(normal, [] { return here(); });
    EXPECT_EQ(take.name, "test.take");
    EXPECT_EQ(take.nice, base);
    DispatchQueue writer("com.quorrel.festrin.writer");
    Seen onWriter;
    writer.sync([&] { onWriter = here(); });
    EXPECT_EQ(onWriter.nice, base);
    EXPECT_EQ(here().nice, base);
}

TEST(WorkerPoolTest, AWaiterThatRunsQueuedWorkItselfKeepsItsOwnNameAndShare)
{
    WorkerPool pool("test.bg", WorkerPool::Priority::background);
    pool.setMaxThreadCount(1);
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::promise<void> holding;
    QFuture<void> first = pool.run([released, &holding] {
        holding.set_value();
        released.wait();
    });
    holding.get_future().wait();
    // The pool's one thread is held: waiting on the next item lets Qt run it on this thread.
    QFuture<Seen> second = pool.run([] { return here(); });
    second.waitForFinished();
    const Seen ran = second.result();
    release.set_value();
    first.waitForFinished();
    const Seen self = here();
    EXPECT_EQ(ran.name, self.name);
    EXPECT_EQ(self.nice, mainNice()) << "a waiter that picked up background work was lowered for good";
    EXPECT_NE(self.name, "test.bg");
}

TEST(WorkerPoolTest, QtsOwnPoolKeepsNormalPriorityThreadsWhenBackgroundWorkConvertsImages)
{
    WorkerPool::startQtPoolAtNormalPriority();
    WorkerPool background("test.preview", WorkerPool::Priority::background);
    // Large enough that Qt splits the conversion over its own pool.
    const bool converted = onPool(background, [] {
        QImage picture(1920, 1080, QImage::Format_ARGB32);
        picture.fill(Qt::blue);
        return !picture.convertToFormat(QImage::Format_RGB888).isNull() && !picture.scaled(960, 540, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).isNull();
    });
    EXPECT_TRUE(converted);
    const auto helpers = ProcessThreads::named(QStringLiteral("qt.pool"));
    EXPECT_EQ(static_cast<int>(helpers.size()), QThreadPool::globalInstance()->maxThreadCount());
    for (const ProcessThreads::Thread& thread : helpers)
        EXPECT_EQ(thread.nice, mainNice());
    EXPECT_TRUE(ProcessThreads::named(QStringLiteral("Thread (pooled)")).empty()) << "a pool thread started by the background work";
}

TEST(GuiStallProbeTest, AWindowReportsTheLongestTimeTheEventLoopWasHeld)
{
    GuiStallProbe probe(true);
    EXPECT_FALSE(probe.end()) << "no window open";
    probe.begin(QStringLiteral("start"));
    TestEnvironment::waitUntil([] { return false; }, 30);
    QThread::msleep(80); // the GUI thread held, as a blocking call would
    TestEnvironment::waitUntil([] { return false; }, 20);
    const std::optional<double> longest = probe.end();
    ASSERT_TRUE(longest);
    EXPECT_GE(*longest, 75.0);
    EXPECT_FALSE(probe.isActive());

    // A hold right before the end still counts.
    probe.begin(QStringLiteral("stop"));
    QThread::msleep(60);
    const std::optional<double> atEnd = probe.end();
    ASSERT_TRUE(atEnd);
    EXPECT_GE(*atEnd, 55.0);

    GuiStallProbe off(false);
    off.begin(QStringLiteral("start"));
    EXPECT_FALSE(off.isActive());
    EXPECT_FALSE(off.end());
}

} // namespace
