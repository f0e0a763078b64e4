#include "platform/system/QuitSignals.h"

#include "platform/system/Diagnostics.h"

#include <QSocketNotifier>

#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <csignal>
#include <ctime>
#include <type_traits>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr std::array<int, 3> handled{SIGTERM, SIGINT, SIGHUP};

// One signal as it travels through the pipe: written whole by one write() and read whole by one read().
// Every byte is a member the handler sets: padding would go through the pipe as the handler's stack left it.
struct Arrival {
    std::int32_t number = 0;
    std::int32_t unused = 0;
    std::int64_t receivedAt = 0;
};
static_assert(std::has_unique_object_representations_v<Arrival>, "no padding byte goes unset");
static_assert(sizeof(Arrival) <= PIPE_BUF, "a pipe write of at most PIPE_BUF bytes is never split");

// Read by the handler, which may run on any thread: set before the handlers are installed, cleared after
// they are taken away.
std::atomic<int> writeEnd{-1};
std::atomic<unsigned> lastResort{0};
std::atomic<bool> signalled{false};

void onSignal(int number)
{
    const int saved = errno;
    if (!signalled.exchange(true))
        QuitSignals::endWithin(lastResort.load());
    // clock_gettime is async-signal-safe; HostClock's test source is not, so the clock is read here.
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    Arrival arrival{};
    arrival.number = number;
    arrival.receivedAt = static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
    // A full pipe (hundreds of signals unread) loses nothing that matters: the deadline is set.
    [[maybe_unused]] const ssize_t written = ::write(writeEnd.load(), &arrival, sizeof arrival);
    errno = saved;
}

} // namespace

QuitSignals::QuitSignals(unsigned lastResortSeconds, QObject* parent)
    : QObject(parent)
{
    std::array<int, 2> ends{-1, -1};
    if (::pipe2(ends.data(), O_CLOEXEC | O_NONBLOCK) != 0) {
        Diagnostics::log(QStringLiteral("quit signals: no pipe (") + QString::fromLocal8Bit(std::strerror(errno))
            + QStringLiteral("); a logout ends the studio at once"));
        return;
    }
    readEnd_ = ends[0];
    writeEnd.store(ends[1]);
    lastResort.store(lastResortSeconds);
    notifier_ = new QSocketNotifier(readEnd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &QuitSignals::readPipe);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // Other threads' blocking calls go on rather than fail with EINTR.
    action.sa_flags = SA_RESTART;
    for (const int number : handled)
        ::sigaction(number, &action, nullptr);
}

QuitSignals::~QuitSignals()
{
    if (readEnd_ < 0)
        return;
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (const int number : handled)
        ::sigaction(number, &action, nullptr);
    delete notifier_;
    ::close(writeEnd.exchange(-1));
    ::close(readEnd_);
}

void QuitSignals::endWithin(unsigned seconds) { ::alarm(seconds); }

void QuitSignals::readPipe()
{
    // Every write is one whole record, so every read of one record's size returns one whole record.
    Arrival arrival{};
    while (::read(readEnd_, &arrival, sizeof arrival) == static_cast<ssize_t>(sizeof arrival))
        Q_EMIT received(arrival.number, arrival.receivedAt);
}
