#include "platform/system/ProcessMemory.h"

#include <cstdio>
#include <malloc.h>

namespace {

constexpr int mappedFrom = 256 * 1024;

} // namespace

void ProcessMemory::mapLargeBlocks()
{
    // A fixed threshold also turns off the adaptive one.
    mallopt(M_MMAP_THRESHOLD, mappedFrom);
}

void ProcessMemory::returnFreedMemory() { malloc_trim(0); }

long ProcessMemory::residentKilobytes()
{
    FILE* status = std::fopen("/proc/self/status", "r");
    if (!status)
        return -1;
    char line[256];
    long kilobytes = -1;
    while (std::fgets(line, sizeof line, status)) {
        if (std::sscanf(line, "VmRSS: %ld", &kilobytes) == 1)
            break;
    }
    std::fclose(status);
    return kilobytes;
}
