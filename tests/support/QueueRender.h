#pragma once

#include "finishing/FinishQueue.h"
#include "finishing/RenderWork.h"

#include <memory>

// Queues a render row the way a saved take does.
inline void queueRender(FinishQueue& queue, const QString& title, const Mixdown::Request& request, const QString& finalURL,
    const QString& stopSidecar, const QString& summary)
{
    queue.submit(std::make_shared<RenderWork>(PendingRender::Job{title, summary, finalURL, stopSidecar, request, 0, std::nullopt}));
}
