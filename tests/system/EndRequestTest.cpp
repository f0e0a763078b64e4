#include "app/EndRequest.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

constexpr std::int64_t millisecond = 1'000'000;

TEST(EndRequestTest, SignalsCloseBehindTheFirstAreTheSameRequestAndOnlyOneAFairWhileLaterInsists)
{
    using EndRequest::Answer;
    const std::int64_t first = 5'000 * millisecond;
    struct Row {
        const char* what;
        std::optional<std::int64_t> firstReceivedAt;
        std::int64_t receivedAt;
        Answer answer;
    };
    const Row rows[] = {
        {"the first signal", std::nullopt, first, Answer::begins},
        {"the first signal at the clock's start", std::nullopt, 0, Answer::begins},
        {"SIGHUP 0 ms behind SIGTERM (a logout)", first, first, Answer::sameRequest},
        {"a supervisor's SIGTERM 50 ms behind", first, first + 50 * millisecond, Answer::sameRequest},
        {"SIGTERM 900 ms behind", first, first + 900 * millisecond, Answer::sameRequest},
        {"one nanosecond short of a second", first, first + 1'000 * millisecond - 1, Answer::sameRequest},
        {"a second behind", first, first + 1'000 * millisecond, Answer::insists},
        {"Ctrl+C again 1.2 s behind", first, first + 1'200 * millisecond, Answer::insists},
        {"a minute behind", first, first + 60'000 * millisecond, Answer::insists},
        {"stamped before the first by another thread", first, first - 3 * millisecond, Answer::sameRequest},
    };
    for (const Row& row : rows)
        EXPECT_EQ(EndRequest::answer(row.firstReceivedAt, row.receivedAt), row.answer) << row.what;
}

} // namespace
