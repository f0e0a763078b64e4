#include "platform/system/ProcessMemory.h"

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
