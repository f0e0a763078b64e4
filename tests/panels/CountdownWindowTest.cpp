#include "views/framing/CountdownWindow.h"
#include "platform/system/CancelToken.h"
#include "support/TestEnvironment.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <cmath>
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

TEST(SpringMotionTest, TheCountdownSpringRisesOvershootsSlightlyAndSettles)
{
    const SpringMotion spring = CountdownWindow::numberSpring;
    EXPECT_EQ(spring.response, 0.25);
    EXPECT_EQ(spring.dampingFraction, 0.85);
    // ω = 2π/0.25, ζ = 0.85, ω_d = ω·√(1 − ζ²): x(t) = 1 − e^(−ζωt)(cos ω_d t + ζω/ω_d · sin ω_d t).
    struct Row {
        double t, x;
    };
    const std::vector<Row> rows{{-1, 0}, {0, 0}, {0.02, 0.0950}, {0.05, 0.3881}, {0.1, 0.7864}, {0.2, 1.0016}};
    for (const Row& row : rows)
        EXPECT_NEAR(spring.position(row.t), row.x, 5e-4) << row.t;
    // The one overshoot, at π/ω_d ≈ 0.237 s, reaches 1 + e^(−ζπ/√(1 − ζ²)) ≈ 1.0063.
    EXPECT_NEAR(spring.position(0.2373), 1.0063, 2e-4);
    const double settled = spring.settleSeconds(0.001);
    EXPECT_NEAR(settled, 0.3533, 1e-3);
    for (double t = settled; t < settled + 0.5; t += 0.01)
        EXPECT_NEAR(spring.position(t), 1, 0.001) << t;
    EXPECT_NEAR((SpringMotion{0.25, 1.0}.position(0.25)), 1 - std::exp(-2 * M_PI) * (1 + 2 * M_PI), 1e-9) << "critically damped";
}

TEST_F(CountdownWindowTest, EachNewNumberSpringsIn)
{
    drive(countdown, 2, nullptr, run);
    ASSERT_NE(countdown.panel(), nullptr);
    EXPECT_EQ(countdown.numberTransition(), 1) << "the first number is simply there";
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return countdown.model().value() == 1; }, 3000));
    const double early = countdown.numberTransition();
    EXPECT_LT(early, 1) << "the next number is on its way in";
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return countdown.numberTransition() == 1; }, 1000));
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return run.result.has_value(); }, 3000));
}

} // namespace
