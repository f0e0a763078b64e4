#include "platform/system/CancelToken.h"

#include <QPointer>

#include <qcorosignal.h>
#include <qcorotimer.h>

QCoro::Task<bool> cancellableSleep(std::chrono::milliseconds duration, CancelToken* token)
{
    if (!token) {
        co_await QCoro::sleepFor(duration);
        co_return true;
    }
    if (token->isCancelled())
        co_return false;
    QPointer<CancelToken> guard(token);
    const auto signalled = co_await qCoro(token, &CancelToken::cancelled, duration);
    co_return !signalled.has_value() && guard && !guard->isCancelled();
}
