#include "MediaTestSupport.h"

#include "platform/media/AudioMix.h"
#include "platform/media/ExportGate.h"
#include "platform/media/PixelBuffer.h"
#include "platform/media/SampleBufferPump.h"
#include "platform/media/YuvConversion.h"
#include "platform/system/DispatchQueue.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QStandardPaths>

#include <cmath>
#include <cstring>

using namespace MediaTestSupport;

namespace {

class MovieReaderTest : public SandboxTest {
protected:
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

// Decoded pictures come marked opaque, so the renderer does not scan them; and they are.
TEST_F(MovieReaderTest, DecodedPicturesAreMarkedOpaque)
{
    const QString target = path(QStringLiteral("opaque.mov"));
    MovieRecipe recipe;
    recipe.seconds = 0.2;
    recipe.audioTracks = 0;
    writeMovie(target, recipe);
    for (const int width : {0, 160}) {
        SCOPED_TRACE(width);
        VideoOutputSettings size;
        size.width = width;
        size.height = width / 2;
        auto reader = openReader(target);
        MovieReaderOutput* output = reader->addVideoOutput(0, size);
        ASSERT_NE(output, nullptr);
        ASSERT_TRUE(reader->startReading());
        const std::optional<MediaSample> first = output->copyNextSample();
        ASSERT_TRUE(first && first->pixels);
        const PixelBuffer& picture = *first->pixels;
        EXPECT_TRUE(picture.isKnownOpaque());
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                ASSERT_EQ(picture.row(y)[4 * x + 3], 255) << x << ", " << y;
    }
}

TEST_F(MovieReaderTest, EncoderPlanesLeaveAsDecodedAndEverythingElseAsBgra)
{
    const QString target = path(QStringLiteral("planes.mov"));
    MovieRecipe recipe;
    recipe.seconds = 0.2;
    recipe.audioTracks = 0;
    recipe.width = 322; // chroma rows of an odd half width
    recipe.height = 180;
    writeMovie(target, recipe);
    const auto first = [&](const VideoOutputSettings& output) {
        auto reader = openReader(target);
        MovieReaderOutput* pictures = reader->addVideoOutput(0, output);
        EXPECT_NE(pictures, nullptr);
        EXPECT_TRUE(pictures && reader->startReading());
        std::optional<MediaSample> sample = pictures ? pictures->copyNextSample() : std::nullopt;
        EXPECT_TRUE(sample.has_value());
        return sample.value_or(MediaSample {});
    };
    VideoOutputSettings planar;
    planar.encoderPlanesAsDecoded = true;
    const MediaSample planes = first(planar);
    ASSERT_TRUE(planes.planar);
    EXPECT_FALSE(planes.pixels);
    EXPECT_EQ(planes.planar->width(), 322);
    EXPECT_EQ(planes.planar->height(), 180);
    EXPECT_EQ(planes.presentationTime(), MediaTime::zero());
    // The same picture as BGRA is these planes converted.
    const MediaSample bgra = first({});
    ASSERT_TRUE(bgra.pixels);
    YuvConversion::Planes source;
    for (int i = 0; i < 3; ++i) {
        source.data[i] = planes.planar->plane(i);
        source.stride[i] = planes.planar->stride(i);
    }
    PixelBuffer converted(322, 180);
    ASSERT_TRUE(YuvConversion(true, false).toBgra(source, converted));
    for (int y = 0; y < 180; ++y)
        ASSERT_EQ(std::memcmp(converted.row(y), bgra.pixels->row(y), 4 * 322), 0) << "row " << y;
    // Scaled or cropped pictures are not the decoder's: BGRA.
    planar.width = 160;
    planar.height = 90;
    EXPECT_TRUE(first(planar).pixels);
    planar.width = planar.height = 0;
    planar.crop = VideoOutputSettings::Rect {0, 0, 100, 100};
    EXPECT_TRUE(first(planar).pixels);
}

TEST_F(MovieReaderTest, FullRangeOrOtherLayoutsStayBgraWhenPlanesAreAsked)
{
    const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    if (ffmpeg.isEmpty())
        GTEST_SKIP() << "no ffmpeg";
    for (const char* format : {"yuvj420p", "yuv444p", "yuv422p"}) {
        SCOPED_TRACE(format);
        const QString target = path(QStringLiteral("%1.mov").arg(QLatin1String(format)));
        QProcess make;
        make.start(ffmpeg, {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                               QStringLiteral("testsrc=size=320x180:rate=30"), QStringLiteral("-t"), QStringLiteral("0.2"), QStringLiteral("-pix_fmt"),
                               QLatin1String(format), QStringLiteral("-c:v"), QStringLiteral("libx264"), target});
        ASSERT_TRUE(make.waitForFinished(30000) && make.exitCode() == 0) << make.readAllStandardError().toStdString();
        auto reader = openReader(target);
        VideoOutputSettings planar;
        planar.encoderPlanesAsDecoded = true;
        MovieReaderOutput* output = reader->addVideoOutput(0, planar);
        ASSERT_NE(output, nullptr);
        ASSERT_TRUE(reader->startReading());
        const std::optional<MediaSample> sample = output->copyNextSample();
        ASSERT_TRUE(sample);
        EXPECT_TRUE(sample->pixels);
        EXPECT_FALSE(sample->planar);
    }
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

} // namespace
