#include "capture/PendingAudioQueue.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

namespace {
// A block of `frames` frames at 48 kHz whose first sample carries `marker`.
MediaSample block(int frames, double startSeconds, float marker)
{
    auto audio = std::make_shared<AudioBlock>();
    audio->channels = 1;
    audio->samples.assign(static_cast<size_t>(frames), 0.0f);
    audio->samples[0] = marker;
    return MediaSample::sound(std::move(audio), MediaTime::fromSeconds(startSeconds));
}
}

class PendingAudio : public SandboxTest {};

TEST_F(PendingAudio, holdsUpToItsCapacityAndLogsEveryDropWithItsLength)
{
    PendingAudioQueue queue(QStringLiteral("microphone"), 0.1);
    for (int i = 0; i < 4; ++i)
        queue.push(block(2400, i * 0.05, static_cast<float>(i))); // 50 ms each
    // 200 ms pushed into 100 ms: the two oldest went.
    EXPECT_NEAR(queue.heldSeconds(), 0.1, 1e-9);
    EXPECT_NEAR(queue.droppedSeconds(), 0.1, 1e-9);
    const QString log = readLog();
    EXPECT_EQ(log.count(QStringLiteral("dropped 0.050s of microphone audio: the writer was not ready")), 2) << log.toStdString();

    std::vector<float> markers;
    int refuseAfter = 1;
    queue.drain([&](const MediaSample& held) {
        if (refuseAfter-- == 0)
            return false;
        markers.push_back(held.audio->samples[0]);
        return true;
    });
    // In order, and the refused block stays for the next try.
    ASSERT_EQ(markers, std::vector<float>{2.0f});
    EXPECT_FALSE(queue.isEmpty());
    queue.drain([&](const MediaSample& held) {
        markers.push_back(held.audio->samples[0]);
        return true;
    });
    EXPECT_EQ(markers, (std::vector<float>{2.0f, 3.0f}));
    EXPECT_TRUE(queue.isEmpty());
    EXPECT_EQ(queue.heldSeconds(), 0);
}
