#include "platform/media/ExportGate.h"

ExportGate& ExportGate::shared()
{
    static ExportGate gate;
    return gate;
}

void ExportGate::setPaused(bool paused)
{
    std::lock_guard guard(lock_);
    paused_ = paused;
}

bool ExportGate::isPaused() const
{
    std::lock_guard guard(lock_);
    return paused_ && !abandoned_;
}

void ExportGate::abandon()
{
    std::lock_guard guard(lock_);
    abandoned_ = true;
}

bool ExportGate::isAbandoned() const
{
    std::lock_guard guard(lock_);
    return abandoned_;
}
