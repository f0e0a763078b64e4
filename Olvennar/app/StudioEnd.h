#pragma once

#include <QObject>
#include <QString>

#include <qcorotask.h>

#include <cstdint>
#include <optional>

class QuitGuard;
class RecordingController;

// How the studio ends, whatever asks for it: the quit guard once the user's quit is settled (the window's
// Quit or its close), or a signal from the system (a logout, `systemctl stop`, Ctrl+C in a terminal). No
// take is lost to it: the controller winds its takes down first (a take recording or paused is stopped the
// normal way, a take stopping reaches its end, so its recorders close their movies before anything is
// destroyed), and after a signal the saves the next launch could not resume finish too; a render is never
// waited for, its note lets the next launch finish it. Then the event loop ends, at the latest
// `boundMilliseconds` after the end began. A signal close behind the first is the same request (EndRequest);
// one that insists, a while later, ends the event loop at once: main() still lets a recorder that is closing
// its movie on the take pool finish before the takes go. Main thread only.
class StudioEnd : public QObject {
    Q_OBJECT

public:
    StudioEnd(RecordingController& controller, QuitGuard& guard, int boundMilliseconds, QObject* parent = nullptr);

    // The user's quit, settled by the guard; the guard runs it once.
    void quit();
    // A termination signal the handler received at `receivedAt` (CLOCK_MONOTONIC nanoseconds).
    void signalled(int number, std::int64_t receivedAt);

private:
    QCoro::Task<> windDown(bool saves);
    // Ends the event loop once; `line` goes to the log first when not empty.
    void finish(const QString& line);

    RecordingController& controller_;
    QuitGuard& guard_;
    int boundMilliseconds_;
    bool begun_ = false;
    bool finished_ = false;
    struct FirstSignal {
        int number = 0;
        std::int64_t receivedAt = 0;
    };
    std::optional<FirstSignal> firstSignal_;
};
