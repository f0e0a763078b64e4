#include "platform/system/Scheduler.h"

#include <QDateTime>
#include <QTimer>

#include <algorithm>
#include <cmath>

double MainLoopScheduler::now() { return static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0; }

void MainLoopScheduler::after(double seconds, QObject* context, std::function<void()> work)
{
    const int ms = static_cast<int>(std::lround(std::max(0.0, seconds) * 1000.0));
    QTimer::singleShot(ms, Qt::PreciseTimer, context, std::move(work));
}
