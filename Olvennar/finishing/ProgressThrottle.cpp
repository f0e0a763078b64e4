#include "finishing/ProgressThrottle.h"

bool ProgressThrottle::pass(double fraction)
{
    std::lock_guard guard(lock_);
    if (fraction >= 1.0 || fraction - last_ >= 0.01) {
        last_ = fraction;
        return true;
    }
    return false;
}
