#include "platform/media/LibavHandles.h"

#include <mutex>

namespace Libav {

void quietLogs()
{
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_ERROR); });
}

} // namespace Libav
