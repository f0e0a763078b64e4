#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QPointer>

#include <utility>

// Hops work onto the GUI thread on a later turn of its event loop. The owner is held weakly: when it is
// destroyed before the turn comes, the work is dropped (Qt discards queued calls of deleted contexts).
template <typename Owner, typename Function>
void runOnMainThread(Owner* owner, Function&& work)
{
    QPointer<Owner> weak(owner);
    QMetaObject::invokeMethod(
        owner ? static_cast<QObject*>(owner) : QCoreApplication::instance(),
        [weak, work = std::forward<Function>(work)]() mutable {
            if (weak)
                work(weak.data());
        },
        Qt::QueuedConnection);
}

// Plain hop without an owner, for process-wide services.
template <typename Function>
void runOnMainThread(Function&& work)
{
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::forward<Function>(work), Qt::QueuedConnection);
}
