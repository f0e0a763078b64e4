#pragma once

#include <QRect>

#include <qcorotask.h>

class CancelToken;

// The countdown before a take, as the studio runs it: numbers from..1 over a screen, one a second.
class CountdownDisplay {
public:
    virtual ~CountdownDisplay() = default;
    // True when it ran to the end; false when the token was cancelled.
    virtual QCoro::Task<bool> run(QRect screenGeometry, int from, CancelToken* token) = 0;
};
