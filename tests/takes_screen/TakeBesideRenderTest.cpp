#include "ScreenTakeFixture.h"

#include "finishing/MixdownFinishingTools.h"
#include "platform/media/ExportGate.h"
#include "platform/system/ThisThread.h"
#include "platform/system/WorkerPool.h"
#include "support/ProcessThreads.h"
#include "support/SyntheticTake.h"

#include <QFileInfo>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

namespace {

// A render from the finish queue is under way when the next take starts, on a machine whose pools have
// one thread each.
class TakeBesideRender : public ScreenTakeFlow {
protected:
    void SetUp() override
    {
        // The controller measures its GUI thread's waits during the start and the stop.
        qputenv("OLVENNAR_GUI_STALLS", "1");
        ScreenTakeFlow::SetUp();
        // As at launch: Qt's own pool threads (earlier tests' image conversions started some) are named.
        WorkerPool::startQtPoolAtNormalPriority();
        globalThreads = QThreadPool::globalInstance()->maxThreadCount();
        takeThreads = WorkerPool::takes().maxThreadCount();
        renderThreads = WorkerPool::renders().maxThreadCount();
        QThreadPool::globalInstance()->setMaxThreadCount(1);
        WorkerPool::takes().setMaxThreadCount(1);
        WorkerPool::renders().setMaxThreadCount(1);
    }

    void TearDown() override
    {
        ExportGate::shared().setPaused(false);
        ScreenTakeFlow::TearDown();
        qunsetenv("OLVENNAR_GUI_STALLS");
        QThreadPool::globalInstance()->setMaxThreadCount(globalThreads);
        WorkerPool::takes().setMaxThreadCount(takeThreads);
        WorkerPool::renders().setMaxThreadCount(renderThreads);
    }

    int globalThreads = 0;
    int takeThreads = 0;
    int renderThreads = 0;
};

TEST_F(TakeBesideRender, aTakeStartsWhileARenderWaitsAtTheExportGateAndTheRenderYieldsToIt)
{
    const int base = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
    ASSERT_LT(base, ThisThread::backgroundNice);
    QDir().mkpath(path(QStringLiteral("earlier")));
    const QString raw = path(QStringLiteral("earlier/raw.mov"));
    const QString final = path(QStringLiteral("earlier/final.mov"));
    SyntheticTake::ScreenRecipe recipe;
    recipe.seconds = 1.0;
    SyntheticTake::writeScreen(raw, recipe);

    // The gate is up (as it is from a countdown on): the render takes its pool's one thread and waits there.
    ExportGate::shared().setPaused(true);
    MixdownFinishingTools tools(OverlayRendererFactory{});
    QCoro::Task<FinishingTools::RenderResult> render = tools.composePassthrough(raw, final, {});
    ASSERT_TRUE(TestEnvironment::waitUntil([] { return !ProcessThreads::named(QStringLiteral("mixdown."), true).empty(); }));

    // The start opens the microphone on a worker while the render holds its thread.
    controller->setCaptureMicrophone(true);
    QCoro::Task<> start = controller->start();
    ASSERT_TRUE(TestEnvironment::waitUntil([this] { return controller->phase().kind() == Kind::recording; }, 10000))
        << "the take's start waited for the render's thread; phase " << static_cast<int>(controller->phase().kind());
    QCoro::waitFor(start);
    EXPECT_TRUE(services.microphone->running);
    film(10, true);
    EXPECT_FALSE(render.isReady()) << "the render went on during the take";

    // The take's queues and pool keep the main thread's share, and so do x265's workers, started from the
    // writer queue and named after it: all stay ahead of the render and the threads it started.
    int takeThreadsSeen = 0;
    int takeThreadsAtFullShare = 0;
    int renderThreadsSeen = 0;
    for (const ProcessThreads::Thread& thread : ProcessThreads::list()) {
        if (thread.name == QStringLiteral("writer") || thread.name == QStringLiteral("mic") || thread.name == QStringLiteral("take.io")) {
            ++takeThreadsSeen;
            takeThreadsAtFullShare += thread.nice == base;
            EXPECT_LT(thread.nice, ThisThread::backgroundNice) << thread.name.toStdString();
        }
        if (thread.name == QStringLiteral("render") || thread.name.startsWith(QStringLiteral("mixdown."))) {
            ++renderThreadsSeen;
            EXPECT_EQ(thread.nice, ThisThread::backgroundNice) << thread.name.toStdString();
        }
        EXPECT_NE(thread.name, QStringLiteral("Thread (pooled)")) << "an anonymous pool thread";
    }
    EXPECT_GE(takeThreadsAtFullShare, 3) << "the writer and microphone queues and the take's pool thread";
    EXPECT_GE(takeThreadsSeen, takeThreadsAtFullShare);
    EXPECT_GE(renderThreadsSeen, 2) << "the render's pool thread and its pumps";

    // Once the take is over the gate drops and the render finishes its file.
    QCoro::waitFor(controller->stop());
    const FinishingTools::RenderResult rendered = QCoro::waitFor(std::move(render));
    EXPECT_FALSE(rendered.failure) << (rendered.failure ? rendered.failure->description.toStdString() : std::string());
    EXPECT_GT(QFileInfo(final).size(), 0);
    EXPECT_TRUE(readLog().contains(QStringLiteral("GUI thread during the start: longest wait")));
    EXPECT_TRUE(readLog().contains(QStringLiteral("GUI thread during the stop: longest wait")));
}

} // namespace
