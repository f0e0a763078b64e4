#include "platform/system/SteadyTimer.h"

#include <chrono>

double SteadyTimer::now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}
