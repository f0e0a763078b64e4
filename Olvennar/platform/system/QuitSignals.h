#pragma once

#include <QObject>

#include <cstdint>

class QSocketNotifier;

// SIGTERM, SIGINT and SIGHUP (a desktop logout, `systemctl stop`, Ctrl+C or a closed terminal) brought into
// the main thread's event loop: the handler only writes the signal's number and the moment it came to a pipe
// whose read end a socket notifier watches, so how close two signals came (a logout sends SIGTERM and SIGHUP
// together) does not depend on when a busy main thread got round to reading them. The first signal also sets
// the process's last-resort deadline (endWithin), so a studio whose main thread no longer answers still ends
// and lets go of its lock. One per process, made and
// destroyed on the main thread; the signals' default handling comes back when it goes.
class QuitSignals : public QObject {
    Q_OBJECT

public:
    explicit QuitSignals(unsigned lastResortSeconds, QObject* parent = nullptr);
    ~QuitSignals() override;
    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

    // Ends the process `seconds` from now whatever its threads are doing (SIGALRM's default action),
    // replacing an earlier deadline: for an end that must never hang holding the studio's lock.
    // Async-signal-safe.
    static void endWithin(unsigned seconds);

Q_SIGNALS:
    // `receivedAt` is when the handler ran, in CLOCK_MONOTONIC nanoseconds (HostClock's base).
    void received(int number, std::int64_t receivedAt);

private:
    void readPipe();

    int readEnd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
};
