#include "finishing/MixdownThreadBudget.h"

#include "finishing/MixdownFrameScheduler.h"

#include <algorithm>

namespace Mixdown {

ThreadBudget ThreadBudget::forCores(int cores)
{
    cores = std::max(cores, 1);
    ThreadBudget budget;
    budget.renderers = FrameScheduler::rendererCount(cores);
    budget.encoderThreads = std::max(2, cores - budget.renderers);
    budget.screenDecoderThreads = std::clamp(cores / 2, 1, 4);
    budget.overlayDecoderThreads = std::clamp(cores / 4, 1, 2);
    return budget;
}

} // namespace Mixdown
