#include "platform/system/ThisThread.h"

#include <cerrno>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

namespace ThisThread {

void setName(const std::string& name)
{
    pthread_setname_np(pthread_self(), name.substr(0, 15).c_str());
}

int niceValue()
{
    // On Linux PRIO_PROCESS with a thread id addresses that one thread.
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
    return errno == 0 ? nice : 0;
}

void lowerPriority()
{
    if (niceValue() < backgroundNice)
        setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), backgroundNice);
}

} // namespace ThisThread
