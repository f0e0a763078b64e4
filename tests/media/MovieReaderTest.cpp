#include "MediaTestSupport.h"

#include "capture/ExportGate.h"
#include "capture/SampleBufferPump.h"
#include "platform/media/AudioMix.h"
#include "platform/media/PixelBuffer.h"
#include "platform/media/PixelBufferPool.h"
#include "platform/media/PixelBufferViews.h"
#include "platform/system/DispatchQueue.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <opencv2/core.hpp>

#include <cmath>

using namespace MediaTestSupport;

namespace {

// Left half red, right half blue, with the frame number in a green level so frames can be told apart.
std::shared_ptr<PixelBuffer> splitFrame(int width, int height, int index)
{
    auto buffer = std::make_shared<PixelBuffer>(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = buffer->row(y) + x * 4;
            const bool left = x < width / 2;
            p[0] = left ? 0 : 230;
            p[1] = static_cast<uint8_t>(index * 4);
            p[2] = left ? 230 : 0;
            p[3] = 255;
        }
    }
    return buffer;
}

class MovieReaderTest : public SandboxTest {
protected:
    void writeSplitMovie(const QString& target)
    {
        writeMovie(target, {.seconds = 1.0, .audioTracks = 0, .picture = splitFrame});
    }

    // Runs both pumps of a mixdown to the end and finishes the file.
    void pump(MovieWriter& writer, MovieWriterInput& video, SampleSource& pictures, MovieWriterInput& audio, SampleSource& sound,
        std::function<void(const MediaTime&)> onVideo = {})
    {
        writer.startSession(MediaTime::zero());
        DispatchQueue videoQueue("mixdown.video");
        DispatchQueue audioQueue("mixdown.audio");
        ExportGate gate;
        QFuture<void> videoDone = SampleBufferPump::make(gate)->run(video, pictures, videoQueue, std::move(onVideo));
        QFuture<void> audioDone = SampleBufferPump::make(gate)->run(audio, sound, audioQueue);
        ASSERT_TRUE(TestEnvironment::waitUntil([&] { return videoDone.isFinished() && audioDone.isFinished(); }, 30000));
        ASSERT_TRUE(writer.finishWriting()) << writer.error().value_or(MediaError {}).description.toStdString();
    }
};

TEST_F(MovieReaderTest, AssetListsTracksAndPacketOutputMatchesTheStoredPackets)
{
    const QString target = path(QStringLiteral("raw.mov"));
    writeMovie(target, {.codec = VideoSettings::Codec::hevc, .audioTracks = 2, .audioChannels = 1});
    const MovieAsset asset = assetOf(target);
    ASSERT_EQ(asset.tracks().size(), 3u);
    const MovieTrack& video = asset.tracks()[0];
    EXPECT_EQ(video.mediaType, MovieTrack::MediaType::video);
    EXPECT_EQ(video.codecName, "hevc");
    EXPECT_EQ(video.width, 320);
    EXPECT_EQ(video.height, 180);
    EXPECT_NEAR(video.nominalFrameRate, 30.0, 0.01);
    EXPECT_FALSE(video.hasFrameReordering);
    EXPECT_NEAR(video.duration.seconds(), 2.0, 1e-3);
    EXPECT_EQ(video.emptyEditDuration, MediaTime::zero());
    ASSERT_EQ(asset.tracks(MovieTrack::MediaType::audio).size(), 2u);
    for (const MovieTrack* audio : asset.tracks(MovieTrack::MediaType::audio)) {
        EXPECT_EQ(audio->codecName, "aac");
        EXPECT_EQ(audio->channels, 1);
        EXPECT_EQ(audio->sampleRate, 48000);
        EXPECT_NEAR(audio->end().seconds(), 2.0, 0.03);
    }
    EXPECT_NEAR(asset.duration().seconds(), 2.0, 0.03);
    EXPECT_TRUE(std::holds_alternative<MediaError>(MovieAsset::open(path(QStringLiteral("missing.mov")))));

    // Packet output matches the stored sizes, key flags and times.
    auto reader = openReader(target);
    MovieReaderOutput* packets = reader->addPacketOutput(0);
    ASSERT_TRUE(packets && reader->startReading());
    const auto samples = drain(*packets);
    EXPECT_EQ(reader->status(), MovieReader::Status::completed);
    const auto stored = packetsOf(probe(target, true), 0);
    ASSERT_EQ(samples.size(), stored.size());
    for (size_t i = 0; i < samples.size(); ++i) {
        EXPECT_EQ(static_cast<qint64>(samples[i].packet->data.size()), stored[i].value(QStringLiteral("size")).toString().toLongLong());
        EXPECT_EQ(samples[i].packet->keyFrame, stored[i].value(QStringLiteral("flags")).toString().startsWith(u'K'));
        EXPECT_NEAR(samples[i].presentationTime().seconds(), number(stored[i], "pts_time"), 1e-6);
    }
}

TEST_F(MovieReaderTest, DecodedPicturesAreBgraAtTheirTimesCropScaleInOnePassAndStartMidRange)
{
    const QString target = path(QStringLiteral("raw.mov"));
    writeSplitMovie(target);
    {
        auto reader = openReader(target);
        MovieReaderOutput* output = reader->addVideoOutput(0);
        ASSERT_TRUE(output && reader->startReading());
        const auto frames = drain(*output);
        ASSERT_EQ(frames.size(), 30u);
        for (size_t i = 0; i < frames.size(); ++i)
            EXPECT_EQ(frames[i].presentationTime(), MediaTime(static_cast<int64_t>(i), 30));
        const PixelBuffer& picture = *frames[5].pixels;
        ASSERT_EQ(picture.width(), 320);
        const uint8_t* left = picture.row(90) + 40 * 4;
        const uint8_t* right = picture.row(90) + 280 * 4;
        EXPECT_NEAR(left[2], 230, 12);
        EXPECT_NEAR(left[0], 0, 12);
        EXPECT_NEAR(right[0], 230, 12);
        EXPECT_NEAR(right[2], 0, 12);
        EXPECT_EQ(left[3], 255);
    }
    {
        // The right (blue) half, scaled up to a tall picture with Lanczos.
        auto reader = openReader(target);
        VideoOutputSettings settings;
        settings.crop = VideoOutputSettings::Rect {160, 0, 160, 180};
        settings.width = 108;
        settings.height = 192;
        settings.scaling = VideoOutputSettings::Scaling::lanczos;
        MovieReaderOutput* output = reader->addVideoOutput(0, settings);
        reader->setTimeRange(MediaTime(1, 2), MediaTime(1, 5));
        ASSERT_TRUE(output && reader->startReading());
        const auto frames = drain(*output);
        ASSERT_EQ(frames.size(), 6u) << "frames 15 to 20 of 30 fps";
        EXPECT_EQ(frames.front().presentationTime(), MediaTime(1, 2));
        const PixelBuffer& picture = *frames.front().pixels;
        ASSERT_EQ(picture.width(), 108);
        ASSERT_EQ(picture.height(), 192);
        const cv::Mat view = PixelBufferViews::mat(picture);
        const cv::Scalar mean = cv::mean(view);
        EXPECT_GT(mean[0], 200) << "blue";
        EXPECT_LT(mean[2], 20) << "no red from the left half";
    }
    {
        // A range starting between pictures begins with the picture showing then.
        auto reader = openReader(target);
        MovieReaderOutput* output = reader->addVideoOutput(0);
        reader->setTimeRange(MediaTime::fromSeconds(0.51, 600), MediaTime::invalid());
        ASSERT_TRUE(output && reader->startReading());
        const auto frames = drain(*output);
        ASSERT_EQ(frames.size(), 15u);
        EXPECT_EQ(frames.front().presentationTime(), MediaTime(15, 30));
        EXPECT_EQ(frames[1].presentationTime(), MediaTime(16, 30));
    }
}

TEST_F(MovieReaderTest, AudioOfAnyTrackComesAsMono8kFloatCutToTheRange)
{
    const QString target = path(QStringLiteral("raw.mov"));
    writeMovie(target, {.seconds = 3.0, .audioTracks = 2});
    auto reader = openReader(target);
    MovieReaderOutput* speech = reader->addAudioOutput(2, AudioOutputSettings {8000, 1});
    reader->setTimeRange(MediaTime(1, 2), MediaTime(2, 1));
    ASSERT_TRUE(speech && reader->startReading());
    const auto blocks = drain(*speech);
    ASSERT_FALSE(blocks.empty());
    EXPECT_EQ(blocks.front().presentationTime(), MediaTime(4000, 8000));
    std::vector<float> all;
    for (const auto& block : blocks) {
        EXPECT_EQ(block.audio->sampleRate, 8000);
        EXPECT_EQ(block.audio->channels, 1);
        all.insert(all.end(), block.audio->samples.begin(), block.audio->samples.end());
    }
    EXPECT_EQ(all.size(), 16000u) << "exactly two seconds";
    double power = 0;
    for (size_t i = 2000; i < 14000; ++i)
        power += all[i] * all[i];
    EXPECT_NEAR(std::sqrt(power / 12000), 0.5 / std::sqrt(2.0), 0.03) << "the 880 Hz tone of the second track survives";
}

TEST_F(MovieReaderTest, AudioMixSumsEveryTrackTo48kStereoWithClipping)
{
    const QString target = path(QStringLiteral("raw.mov"));
    writeMovie(target, {.audioTracks = 2, .audioChannels = 1, .audioAmplitude = 0.8f, .sameToneOnEveryTrack = true});
    auto reader = openReader(target);
    AudioMix mix(*reader, {1, 2});
    ASSERT_FALSE(mix.isEmpty());
    ASSERT_TRUE(reader->startReading());
    const auto blocks = drain(mix);
    int64_t frames = 0;
    float peak = 0;
    int64_t clipped = 0;
    for (const auto& block : blocks) {
        EXPECT_EQ(block.audio->channels, 2);
        EXPECT_EQ(block.audio->sampleRate, 48000);
        EXPECT_EQ(block.presentationTime(), MediaTime(frames, 48000)) << "blocks follow each other without gaps";
        frames += block.audio->frameCount();
        for (float v : block.audio->samples) {
            peak = std::max(peak, std::abs(v));
            clipped += std::abs(v) == 1.0f;
        }
    }
    EXPECT_NEAR(static_cast<double>(frames) / 48000, 2.0, 0.03);
    // Two 0.8 tones in phase would reach 1.6: the sum is there (well above 0.8) and clipped at 1.
    EXPECT_EQ(peak, 1.0f);
    EXPECT_GT(clipped, frames / 4);
}

// A mixdown pumps the reader into the writer at its pace, re-encoding the pictures or passing their packets.
TEST_F(MovieReaderTest, PumpTranscodesOrPassesThroughAndMixesTheSound)
{
    const QString source = path(QStringLiteral("raw.mov"));
    writeMovie(source, {.codec = VideoSettings::Codec::hevc, .audioTracks = 2});
    for (bool passthrough : {false, true}) {
        SCOPED_TRACE(passthrough ? "passthrough" : "transcode");
        const QString target = path(passthrough ? QStringLiteral("copy.mov") : QStringLiteral("final.mov"));
        auto reader = openReader(source);
        MovieReaderOutput* pictures = passthrough ? reader->addPacketOutput(0) : reader->addVideoOutput(0);
        AudioMix mix(*reader, {1, 2});
        MovieWriter writer(target, MovieFileType::quickTimeMovie, MovieWriteMode::finishing, QStringLiteral("mixdown"));
        MovieWriterInput* videoInput = passthrough ? writer.addPassthroughInput(reader->asset().tracks()[0].format)
                                                   : writer.addVideoInput(videoSettingsFor(MovieRecipe {}));
        MovieWriterInput* audioInput = writer.addAudioInput(AudioSettings {48000, 2, 256000});
        ASSERT_TRUE(videoInput && audioInput && reader->startReading() && writer.startWriting());
        int videoSamples = 0;
        pump(writer, *videoInput, *pictures, *audioInput, mix, [&](const MediaTime&) { ++videoSamples; });
        EXPECT_EQ(videoSamples, 60);

        const QJsonObject info = probe(target);
        ASSERT_EQ(streamsOfType(info, QStringLiteral("audio")).size(), 1);
        const QJsonObject sound = streamsOfType(info, QStringLiteral("audio")).at(0).toObject();
        const QJsonObject picture = streamsOfType(info, QStringLiteral("video")).at(0).toObject();
        EXPECT_EQ(sound.value(QStringLiteral("channels")).toInt(), 2);
        EXPECT_NEAR(number(sound, "duration"), number(picture, "duration"), 1.0 / 30);
        EXPECT_EQ(picture.value(QStringLiteral("codec_name")).toString(), passthrough ? QStringLiteral("hevc") : QStringLiteral("h264"));
    }
    MovieProbe::expectFields(streamsOfType(probe(path(QStringLiteral("copy.mov"))), QStringLiteral("video")).at(0).toObject(),
        {{"codec_tag_string", "hvc1"}});
    const auto a = packetsOfTrack(path(QStringLiteral("copy.mov")), 0);
    const auto b = packetsOfTrack(source, 0);
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].packet->data, b[i].packet->data);
        EXPECT_EQ(a[i].presentationTime(), b[i].presentationTime());
    }
}

TEST(PixelBufferPoolTest, ReleasedBuffersAreReusedAndOutliveThePool)
{
    auto pool = PixelBufferPool::make(64, 32, 2);
    auto first = pool->take();
    const uint8_t* memory = first->data();
    first.reset();
    EXPECT_EQ(pool->idleCount(), 1u);
    auto again = pool->take();
    EXPECT_EQ(again->data(), memory);
    auto a = pool->take();
    auto b = pool->take();
    auto c = pool->take();
    again.reset();
    a.reset();
    b.reset();
    EXPECT_EQ(pool->idleCount(), 2u) << "keeps at most two idle buffers";
    pool.reset();
    c.reset(); // released after the pool is gone: freed, no crash
    const QImage view = PixelBufferViews::image(*std::make_shared<PixelBuffer>(8, 4));
    EXPECT_EQ(view.bytesPerLine(), 64);
}

} // namespace
