#include "framing/CountdownWindow.h"
#include "platform/system/CancelToken.h"
#include "support/TestEnvironment.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <optional>

namespace {

// Starts the countdown and records what it shows until it returns.
struct CountdownRun {
    std::optional<bool> result;
    std::vector<int> shown;
    qint64 elapsedMs = 0;
};

QCoro::Task<> drive(CountdownWindow& countdown, int from, CancelToken* token, CountdownRun& run)
{
    QElapsedTimer timer;
    timer.start();
    run.result = co_await countdown.run(QRect(0, 0, 1280, 720), from, token);
    run.elapsedMs = timer.elapsed();
}

class CountdownWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QObject::connect(&countdown.model(), &CountdownModel::changed, &countdown.model(), [this] { run.shown.push_back(countdown.model().value()); });
    }
    CountdownWindow countdown;
    CountdownRun run;
};

TEST_F(CountdownWindowTest, CountsDownOneStepASecondThenTakesThePanelDown)
{
    drive(countdown, 2, nullptr, run);
    ASSERT_NE(countdown.panel(), nullptr);
    EXPECT_EQ(countdown.panel()->geometry(), QRect(510, 230, 260, 260)); // centred on the screen
    EXPECT_EQ(countdown.model().value(), 2);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return run.result.has_value(); }, 5000));
    EXPECT_TRUE(*run.result);
    EXPECT_EQ(run.shown, (std::vector<int>{2, 1}));
    EXPECT_GE(run.elapsedMs, 1900);
    EXPECT_EQ(countdown.panel(), nullptr);
}

TEST_F(CountdownWindowTest, ACancelledCountdownReportsItAndStillGoes)
{
    CancelToken token;
    drive(countdown, 3, &token, run);
    QTimer::singleShot(200, &token, [&] { token.cancel(); });
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return run.result.has_value(); }, 2000));
    EXPECT_FALSE(*run.result); // the take must not start
    EXPECT_LT(run.elapsedMs, 1000);
    EXPECT_EQ(run.shown.back(), 1);
    EXPECT_EQ(countdown.panel(), nullptr);
}

} // namespace
