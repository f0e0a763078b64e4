#include "platform/system/HostClock.h"
#include "platform/system/QuitSignals.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdint>
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
    std::vector<int> seen;
    {
        QuitSignals watcher(60);
        QObject::connect(&watcher, &QuitSignals::received, [&](int number, std::int64_t) { seen.push_back(number); });
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
    EXPECT_EQ(seen, (std::vector<int>{SIGTERM, SIGHUP, SIGINT}));
    for (const int number : {SIGTERM, SIGINT, SIGHUP})
        EXPECT_EQ(handlerOf(number), SIG_DFL) << number;
}

TEST(QuitSignalsTest, EachSignalCarriesWhenItWasReceivedNotWhenABusyMainThreadReadIt)
{
    std::vector<std::pair<int, std::int64_t>> seen;
    QuitSignals watcher(60);
    QObject::connect(&watcher, &QuitSignals::received, [&](int number, std::int64_t receivedAt) { seen.emplace_back(number, receivedAt); });
    // The main thread does not look at its events meanwhile: all three are read in one go.
    const std::int64_t before = HostClock::nowNanoseconds();
    ::raise(SIGTERM);
    ::raise(SIGHUP);
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    ::raise(SIGINT);
    const std::int64_t after = HostClock::nowNanoseconds();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return seen.size() == 3; }, 5000));
    ::alarm(0);
    EXPECT_EQ(seen[0].first, SIGTERM);
    EXPECT_EQ(seen[1].first, SIGHUP);
    EXPECT_EQ(seen[2].first, SIGINT);
    EXPECT_GE(seen[0].second, before);
    EXPECT_LE(seen[1].second - seen[0].second, 100'000'000) << "SIGHUP came right behind SIGTERM";
    EXPECT_GE(seen[2].second - seen[0].second, 1'200'000'000) << "SIGINT came 1.2 s later";
    EXPECT_LE(seen[2].second, after) << "stamped when it came, not when it was read";
}

} // namespace
