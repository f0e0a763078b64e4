#pragma once

#include <cstdint>
#include <optional>

// What a termination signal asks of the studio, judged by when the handler received it, not by when the
// main thread read it. The first one begins the end. One close behind the first is the same request: a
// logout sends SIGTERM and SIGHUP together, a supervisor may send SIGTERM twice, and the end goes on to the
// take's save. Only one that comes once the studio has had a fair while to end (the user pressing Ctrl+C
// again) ends it at once.
namespace EndRequest {

enum class Answer { begins, sameRequest, insists };

// How long after the first signal another one still belongs to it.
inline constexpr std::int64_t insistingAfterNanoseconds = 1'000'000'000;

// `firstReceivedAt` is the first signal's time, none when this is the first; both in CLOCK_MONOTONIC
// nanoseconds. A signal stamped before the first (two handlers on two threads) is the same request.
Answer answer(std::optional<std::int64_t> firstReceivedAt, std::int64_t receivedAt);

} // namespace EndRequest
