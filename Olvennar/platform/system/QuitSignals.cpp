#include "platform/system/QuitSignals.h"

#include "platform/system/Diagnostics.h"

#include <QSocketNotifier>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr std::array<int, 3> handled{SIGTERM, SIGINT, SIGHUP};

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
    const unsigned char byte = static_cast<unsigned char>(number);
    // A full pipe (hundreds of signals unread) loses nothing that matters: the deadline is set.
    [[maybe_unused]] const ssize_t written = ::write(writeEnd.load(), &byte, 1);
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
    unsigned char byte = 0;
    while (::read(readEnd_, &byte, 1) == 1)
        Q_EMIT received(byte, ++count_);
}
