#include "ScreenTakeFixture.h"

#include "takes/ScreenTake.h"

#include <QFileInfo>
#include <QTimer>

#include <gtest/gtest.h>

#include <set>

namespace {

// What a quit would count at every turn of the main loop while `work` runs there, as a Ctrl+Q arriving
// between two turns would.
template <typename Work>
std::set<int> countsAtEveryTurn(RecordingController& controller, Work work)
{
    std::set<int> counts;
    QTimer turn;
    QObject::connect(&turn, &QTimer::timeout, [&] { counts.insert(controller.takesStillFinishing()); });
    turn.start(0);
    work();
    return counts;
}

TEST_F(ScreenTakeFlow, aTakeRecordingPausedOrStoppingCountsAsOneTakeForTheQuitAlertAndItsSaveTakesItsPlace)
{
    EXPECT_EQ(controller->takesStillFinishing(), 0);
    startTake();
    EXPECT_EQ(controller->takesStillFinishing(), 1) << "recording";
    film(10);
    controller->togglePause();
    EXPECT_EQ(controller->takesStillFinishing(), 1) << "paused";
    controller->togglePause();
    film(10);
    // From the stop key to the hand-over its save is not listed yet; the take counts itself until it is.
    const std::set<int> stopping = countsAtEveryTurn(*controller, [this] { QCoro::waitFor(controller->stop()); });
    EXPECT_EQ(stopping, std::set<int>{1});
    ASSERT_EQ(services.jobs.size(), 1u);
    EXPECT_EQ(controller->finishingCount(), 1) << "the held save";
    EXPECT_EQ(controller->takesStillFinishing(), 1) << "one take: its save";

    // A second take beside the first one's save: two takes.
    startTake();
    EXPECT_EQ(controller->takesStillFinishing(), 2);
    film(10);
    // A discard keeps nothing: it is not counted while it clears the take away.
    const std::set<int> discarding = countsAtEveryTurn(*controller, [this] { QCoro::waitFor(controller->discard()); });
    EXPECT_EQ(discarding, std::set<int>{1});
    EXPECT_EQ(controller->takesStillFinishing(), 1);
}

TEST_F(ScreenTakeFlow, theStudiosEndStopsATakeRecordingOrPausedTheNormalWayAndStartsNoOther)
{
    startTake();
    film(20);
    controller->togglePause();
    QCoro::waitFor(controller->windDown(false));
    EXPECT_TRUE(TestEnvironment::savedTheTake(controller->phase())) << controller->phase().payload().toStdString();
    EXPECT_FALSE(screenTakeOf(*controller).hasScreenRecorder());
    ASSERT_EQ(services.jobs.size(), 1u) << "handed to its save like any stopped take";
    EXPECT_TRUE(QFileInfo::exists(folderPath(QStringLiteral("video 1/raw.mov"))));
    EXPECT_TRUE(readLog().contains(QStringLiteral("quit: the take under way is stopped and closed before the studio ends")));

    // A hot key or the remote during the end begins nothing.
    clearPhases();
    QCoro::waitFor(controller->start());
    EXPECT_TRUE(phases.empty());
    EXPECT_EQ(controller->phase().kind(), Kind::idle);
}

TEST_F(ScreenTakeFlow, theStudiosEndLetsAStoppingTakeReachItsHandOver)
{
    startTake();
    film(20);
    QCoro::Task<> stopping = controller->stop();
    ASSERT_EQ(controller->phase().kind(), Kind::finishing);
    QCoro::waitFor(controller->windDown(false));
    EXPECT_EQ(services.jobs.size(), 1u) << "the end came after the hand-over";
    EXPECT_EQ(controller->phase().kind(), Kind::idle);
    QCoro::waitFor(stopping);
}

TEST_F(ScreenTakeFlow, theStudiosEndCutsACountdownShortAndNoTakeBegins)
{
    controller->setCountdownSeconds(3);
    QCoro::Task<> start = controller->start();
    ASSERT_EQ(controller->phase().kind(), Kind::countingDown);
    EXPECT_EQ(controller->takesStillFinishing(), 0) << "nothing to lose yet";
    const double began = HostClock::nowSeconds();
    QCoro::waitFor(controller->windDown(false));
    QCoro::waitFor(start);
    EXPECT_LT(HostClock::nowSeconds() - began, 2.0);
    EXPECT_EQ(controller->phase().kind(), Kind::idle);
    EXPECT_FALSE(screenTakeOf(*controller).hasScreenRecorder());
    EXPECT_FALSE(QDir(folderPath(QStringLiteral("video 1"))).exists());
}

} // namespace
