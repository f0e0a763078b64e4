#include "platform/media/X265Threading.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    int cores;
    int height;
    bool poolKeepsPriority;
    X265Threading expected;
    std::string params;
};

} // namespace

TEST(X265Threading, ATakesEncoderUsesEveryCoreOnItsRowsAndFallsBackToFramesSideBySide)
{
    const Case cases[] = {
        // An idle 8-core desk: a worker a core; 17 block rows leave room for four frames in flight.
        {8, 1080, true, {8, 4}, "pools=8:frame-threads=4"},
        {4, 1440, true, {4, 4}, "pools=4:frame-threads=4"},
        {2, 1080, true, {2, 4}, "pools=2:frame-threads=4"},
        // x265 has one pool of at most 64 workers.
        {128, 2160, true, {64, 4}, "pools=64:frame-threads=4"},
        // Short pictures have fewer rows to stagger frames on.
        {16, 360, true, {16, 3}, "pools=16:frame-threads=3"},
        {8, 180, true, {8, 1}, "pools=8:frame-threads=1"},
        {8, 1, true, {8, 1}, "pools=8:frame-threads=1"},
        // One core has nothing to share; an unknown count is one core.
        {1, 1080, true, {0, 2}, "pools=none:frame-threads=2"},
        {0, 1080, true, {0, 2}, "pools=none:frame-threads=2"},
        // A pool whose workers would lower themselves gives way to frames on threads of the opener's priority.
        {8, 1080, false, {0, 4}, "pools=none:frame-threads=4"},
        {2, 1440, false, {0, 2}, "pools=none:frame-threads=2"},
        {32, 2160, false, {0, 4}, "pools=none:frame-threads=4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.cores << " cores, " << c.height << " rows of pixels, pool keeps priority " << c.poolKeepsPriority);
        const X265Threading threading = X265Threading::forTake(c.cores, c.height, c.poolKeepsPriority);
        EXPECT_EQ(threading.poolThreads, c.expected.poolThreads);
        EXPECT_EQ(threading.frameThreads, c.expected.frameThreads);
        EXPECT_EQ(threading.params(), c.params);
    }
}
