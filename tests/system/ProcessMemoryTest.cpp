#include "platform/system/ProcessMemory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace {

// A frame-sized block made, written and freed on a thread of its own, as a decoder's frame is, while a small
// allocation made after it lives on (as the thread's bookkeeping does) and pins the arena behind it.
void frameOnAThread(size_t bytes, std::vector<void*>& livingOn)
{
    std::thread([bytes, &livingOn] {
        auto* block = static_cast<char*>(std::malloc(bytes));
        ASSERT_NE(block, nullptr);
        std::memset(block, 7, bytes);
        livingOn.push_back(std::malloc(64));
        std::free(block);
    }).join();
}

} // namespace

TEST(ProcessMemoryTest, FreedFrameSizedBlocksGoBackAtOnceWhateverCameBefore)
{
    ProcessMemory::mapLargeBlocks();
    // A first big block freed would raise an adaptive threshold above frame sizes; later frames would then
    // stay in the threads' arenas.
    std::vector<void*> livingOn;
    frameOnAThread(24 << 20, livingOn);
    const long before = ProcessMemory::residentKilobytes();
    ASSERT_GT(before, 0);
    for (int frame = 0; frame < 8; ++frame)
        frameOnAThread(12 << 20, livingOn);
    // Given back as they were freed, without a trim.
    EXPECT_LT(ProcessMemory::residentKilobytes() - before, 8 << 10) << "eight 12 MB frames freed, at most 8 MB may stay";
    for (void* small : livingOn)
        std::free(small);
}
