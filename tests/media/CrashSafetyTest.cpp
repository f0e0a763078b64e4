#include "MediaTestSupport.h"

#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace MediaTestSupport;

namespace {

// Writes a capture file in real time (30 fps pictures, 20 ms sound blocks) until killed.
[[noreturn]] void captureUntilKilled(const QString& target)
{
    MovieWriter writer(target, MovieFileType::quickTimeMovie, MovieWriteMode::capture);
    MovieWriterInput* video = writer.addVideoInput(videoSettingsFor({.codec = VideoSettings::Codec::hevc}));
    MovieWriterInput* audio = writer.addAudioInput(AudioSettings {48000, 2, 192000});
    if (!video || !audio || !writer.startWriting())
        _exit(3);
    writer.startSession(MediaTime::zero());
    const auto begin = std::chrono::steady_clock::now();
    int64_t soundFrames = 0;
    for (int frame = 0;; ++frame) {
        std::this_thread::sleep_until(begin + std::chrono::microseconds(frame * 1'000'000LL / 30));
        video->append(MediaSample::video(movingNoise(320, 180, frame), MediaTime(frame, 30), MediaTime(1, 30)));
        while (soundFrames < (frame + 1) * 1600LL) {
            audio->append(MediaSample::sound(tone(48000, 2, 960, soundFrames), MediaTime(soundFrames, 48000)));
            soundFrames += 960;
        }
    }
}

TEST(CrashSafetyTest, KilledCaptureWriterLeavesAPlayableFileWithTheFirstSeconds)
{
    QTemporaryDir folder;
    const QString target = folder.filePath(QStringLiteral("raw.mov"));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        captureUntilKilled(target);
    std::this_thread::sleep_for(std::chrono::seconds(3));
    ASSERT_EQ(kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit code " << WEXITSTATUS(status);

    const MovieAsset asset = assetOf(target);
    const MovieTrack* video = asset.firstTrack(MovieTrack::MediaType::video);
    const MovieTrack* audio = asset.firstTrack(MovieTrack::MediaType::audio);
    ASSERT_TRUE(video && audio);
    EXPECT_GE(video->end().seconds(), 2.0);
    EXPECT_GE(audio->end().seconds(), 2.0);

    // Every stored packet decodes: count the pictures ffprobe can read.
    const QJsonObject info = probe(target, true);
    EXPECT_GE(packetsOf(info, 0).size(), 60u);
    EXPECT_GE(packetsOf(info, 1).size(), 2u * 48000 / 1024);
}

} // namespace
