#include "platform/media/EncoderThreadPriority.h"

#include <cerrno>
#include <dlfcn.h>
#include <sys/resource.h>
#include <unistd.h>

// Replaces glibc's nice() for the whole program (see the header): reports the calling thread's nice value and
// changes nothing. On Linux PRIO_PROCESS with a thread id addresses that one thread.
extern "C" int nice(int) noexcept
{
    const int saved = errno;
    errno = 0;
    const int value = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
    if (errno != 0)
        return -1;
    errno = saved;
    return value;
}

namespace EncoderThreadPriority {

bool poolKeepsPriority()
{
    // What a library's call to nice() binds to: the first definition in the global scope.
    return dlsym(RTLD_DEFAULT, "nice") == reinterpret_cast<void*>(&::nice);
}

} // namespace EncoderThreadPriority
