#pragma once

#include <QObject>

#include <chrono>

#include <qcorotask.h>

// Cancels waits of main-thread coroutines: a delayed remote stop, a countdown step.
class CancelToken : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    bool isCancelled() const { return cancelled_; }
    void cancel()
    {
        if (cancelled_)
            return;
        cancelled_ = true;
        Q_EMIT cancelled();
    }

Q_SIGNALS:
    void cancelled();

private:
    bool cancelled_ = false;
};

// Sleeps on the main loop; true when the whole time passed, false when the token was (or is) cancelled,
// in which case it returns at once.
QCoro::Task<bool> cancellableSleep(std::chrono::milliseconds duration, CancelToken* token);
