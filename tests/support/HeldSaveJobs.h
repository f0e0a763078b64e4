#pragma once

#include "finishing/FinishQueue.h"
#include "finishing/SaveJobHandover.h"
#include "finishing/SaveWork.h"

#include <memory>
#include <vector>

// The save jobs stopped screen takes hand to the queue are kept in `jobs` instead of run.
inline void holdSaveJobs(FinishQueue& queue, std::vector<SaveJobHandover>& jobs)
{
    queue.setTap([&jobs](const std::shared_ptr<FinishWork>& work) {
        const auto* save = dynamic_cast<const SaveWork*>(work.get());
        if (save)
            jobs.push_back(save->handover());
        return save != nullptr;
    });
}
