#include "platform/media/ExportGate.h"
#include "finishing/Mixdown.h"
#include "platform/media/MovieAsset.h"
#include "platform/media/MovieWriter.h"
#include "support/TestEnvironment.h"

#include <QFile>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

namespace {

// Pictures that take a while to come (like rendered frames), optionally one broken picture.
class SlowPictures : public SampleSource {
public:
    SlowPictures(int count, int brokenAt = -1) : count_(count), brokenAt_(brokenAt) {}
    std::optional<MediaSample> copyNextSample() override
    {
        if (next_ >= count_)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        auto picture = std::make_shared<PixelBuffer>(next_ == brokenAt_ ? 0 : 64, next_ == brokenAt_ ? 0 : 64);
        if (!picture->isEmpty())
            picture->fill(static_cast<uint8_t>(next_), 80, 160, 255);
        const int index = next_++;
        return MediaSample::video(std::move(picture), MediaTime(index, 30), MediaTime(1, 30));
    }

private:
    int count_;
    int brokenAt_;
    int next_ = 0;
};

// Sound that is always at hand.
class QuickSound : public SampleSource {
public:
    explicit QuickSound(double seconds) : frames_(static_cast<int64_t>(seconds * 48000)) {}
    std::optional<MediaSample> copyNextSample() override
    {
        if (position_ >= frames_)
            return std::nullopt;
        auto block = std::make_shared<AudioBlock>();
        block->samples.assign(2048, 0.1f);
        const MediaSample sample = MediaSample::sound(block, MediaTime(position_, 48000));
        position_ += 1024;
        return sample;
    }

private:
    int64_t frames_;
    int64_t position_ = 0;
};

class MixdownRunTest : public SandboxTest {
protected:
    std::optional<Mixdown::MixdownError> runWith(SampleSource& pictures, SampleSource& sound, const QString& target)
    {
        MovieWriter writer(target, MovieFileType::quickTimeMovie, MovieWriteMode::finishing, QStringLiteral("mixdown"));
        VideoSettings videoSettings = Mixdown::finishingVideoSettings(QSize(64, 64), 30);
        videoSettings.preset = "ultrafast";
        MovieWriterInput* video = writer.addVideoInput(videoSettings);
        MovieWriterInput* audio = writer.addAudioInput(Mixdown::aacSettings());
        EXPECT_TRUE(video && audio);
        auto done = std::async(std::launch::async, [&] {
            return Mixdown::run(writer, {video, &pictures}, Mixdown::Pair {audio, &sound}, MediaTime::zero(), {}, MediaTime(5, 1), {},
                Mixdown::Options {&gate, 0.02});
        });
        if (done.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
            ADD_FAILURE() << "the run hangs";
            std::abort();
        }
        return done.get();
    }

    ExportGate gate;
};

TEST_F(MixdownRunTest, SlowPicturesAndQuickSoundTakeTurnsUntilTheEnd)
{
    // The sound runs a second ahead and waits; the pictures must wake it again when they catch up.
    SlowPictures pictures(150);
    QuickSound sound(5.0);
    const QString target = path(QStringLiteral("final.mov"));
    const auto failure = runWith(pictures, sound, target);
    ASSERT_FALSE(failure) << failure->description().toStdString();
    auto opened = MovieAsset::open(target);
    ASSERT_TRUE(std::holds_alternative<MovieAsset>(opened));
    EXPECT_NEAR(std::get<MovieAsset>(opened).duration().seconds(), 5.0, 0.05);
}

TEST_F(MixdownRunTest, AFailingTrackEndsTheRunWithTheWritersError)
{
    SlowPictures pictures(150, 20);
    QuickSound sound(5.0);
    const QString target = path(QStringLiteral("final.mov"));
    const auto failure = runWith(pictures, sound, target);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->description(), QStringLiteral("Mixdown failed: an empty picture"));
    EXPECT_FALSE(QFile::exists(target));
}

} // namespace
