#include "platform/media/EncoderThreadPriority.h"
#include "platform/system/ThisThread.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>
#include <unistd.h>

TEST(EncoderThreadPriority, ALibrarysNiceLeavesTheCallingThreadAtItsPriorityAndSaysSo)
{
    ASSERT_TRUE(EncoderThreadPriority::poolKeepsPriority());
    // A new thread asks for less, as each of x265's workers does, and so does one already lowered: both keep
    // what they had, and the answer is the value they keep.
    for (const bool lowered : {false, true}) {
        int before = 0, answer = 0, after = 0, error = 0;
        std::thread worker([&] {
            if (lowered)
                ThisThread::lowerPriority();
            before = ThisThread::niceValue();
            errno = 0;
            answer = nice(10);
            error = errno;
            after = ThisThread::niceValue();
        });
        worker.join();
        SCOPED_TRACE(lowered ? "a background thread" : "a new thread");
        EXPECT_EQ(after, before);
        EXPECT_EQ(answer, before);
        EXPECT_EQ(error, 0) << "a caller that checks errno takes the answer for a failure";
        EXPECT_EQ(before, lowered ? ThisThread::backgroundNice : ThisThread::niceValue());
    }
}
