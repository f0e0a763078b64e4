#include "platform/audio/PulseAudioCapture.h"
#include "platform/system/HostClock.h"
#include "support/PrivateNullSink.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

class MicrophoneStamps : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        if (!PrivateNullSink::testServerRunning())
            GTEST_SKIP() << "the test PulseAudio server is not running";
    }

    static AudioCapture::Request microphone(const PrivateNullSink& sink)
    {
        AudioCapture::Request request;
        request.source = AudioCapture::Source::named;
        request.sourceName = sink.microphone();
        return request;
    }
};

} // namespace

// Once another program lets go of a remapped microphone, its idle null sink renders two seconds ahead, so a
// source opened 0.68 s later sends its first block about 1.3 s after opening, long after the stream's first
// timing reports. A block is never received before it was recorded, and this source adds no latency of its
// own: every block delivered live must end at most one fragment (plus scheduling) before it arrives.
TEST_F(MicrophoneStamps, aMicrophoneWhoseFirstBlockComesLateIsStampedAtItsTrueLatency)
{
    auto sink = PrivateNullSink::load(QStringLiteral("late_first_block"), true);
    ASSERT_TRUE(sink);
    {
        PulseAudioCapture other;
        ASSERT_FALSE(other.start(microphone(*sink), [](const MediaSample&) {}));
        other.waitUntilFlowing();
        std::this_thread::sleep_for(300ms);
    }
    std::this_thread::sleep_for(680ms);

    struct Delivered {
        int64_t arrival;
        int64_t end;
    };
    std::mutex guard;
    std::vector<Delivered> delivered;
    PulseAudioCapture capture;
    const int64_t openedAt = HostClock::nowNanoseconds();
    ASSERT_FALSE(capture.start(microphone(*sink), [&](const MediaSample& block) {
        const int64_t arrival = HostClock::nowNanoseconds();
        std::lock_guard lock(guard);
        delivered.push_back({arrival, (block.presentationTime() + block.duration()).valueIn(1'000'000'000).value_or(0)});
    }));
    std::this_thread::sleep_for(4200ms);
    capture.stop();

    // The last second: past any start-up hold, every block went out as it was read.
    std::vector<int64_t> lags;
    for (const Delivered& block : delivered) {
        if (block.arrival - openedAt >= 3'200'000'000)
            lags.push_back(block.arrival - block.end);
    }
    ASSERT_GE(lags.size(), 50u) << readLog().toStdString();
    const double earliestLag = *std::min_element(lags.begin(), lags.end()) / 1e6;
    std::printf("the earliest block's end came %.1f ms before it arrived\n", earliestLag);
    EXPECT_LT(earliestLag, 15.0) << "stamped too early\n" << readLog().toStdString();
    EXPECT_GT(earliestLag, -5.0) << "stamped after it arrived\n" << readLog().toStdString();
}
