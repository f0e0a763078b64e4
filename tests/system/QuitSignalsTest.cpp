#include "platform/system/QuitSignals.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <csignal>
#include <thread>
#include <utility>
#include <vector>

#include <unistd.h>

namespace {

void (*handlerOf(int number))(int)
{
    struct sigaction now {};
    ::sigaction(number, nullptr, &now);
    return now.sa_handler;
}

TEST(QuitSignalsTest, EachSignalReachesTheEventLoopInTurnTheFirstSetsTheLastResortAndTheDefaultComesBack)
{
    std::vector<std::pair<int, int>> seen;
    {
        QuitSignals watcher(60);
        QObject::connect(&watcher, &QuitSignals::received, [&](int number, int count) { seen.emplace_back(number, count); });
        // From another thread, as a logout's signal may land on any of the studio's threads.
        std::thread([] { ::kill(::getpid(), SIGTERM); }).join();
        ASSERT_TRUE(TestEnvironment::waitUntil([&] { return seen.size() == 1; }, 5000));
        // The deadline stands (taken away here so the test process lives on).
        const unsigned left = ::alarm(0);
        EXPECT_GT(left, 50u);
        EXPECT_LE(left, 60u);
        ::raise(SIGHUP);
        ::raise(SIGINT);
        ASSERT_TRUE(TestEnvironment::waitUntil([&] { return seen.size() == 3; }, 5000));
        EXPECT_EQ(::alarm(0), 0u) << "only the first signal sets the deadline";
    }
    EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{SIGTERM, 1}, {SIGHUP, 2}, {SIGINT, 3}}));
    for (const int number : {SIGTERM, SIGINT, SIGHUP})
        EXPECT_EQ(handlerOf(number), SIG_DFL) << number;
}

} // namespace
