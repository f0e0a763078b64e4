#include "MediaTestSupport.h"

#include "platform/media/Remux.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

using namespace MediaTestSupport;

namespace {

void expectSameBytes(const std::vector<MediaSample>& copy, const std::vector<MediaSample>& source, size_t count)
{
    ASSERT_EQ(copy.size(), count);
    ASSERT_LE(count, source.size());
    for (size_t i = 0; i < count; ++i) {
        EXPECT_EQ(copy[i].packet->data, source[i].packet->data) << "packet " << i;
        EXPECT_EQ(copy[i].packet->keyFrame, source[i].packet->keyFrame) << "packet " << i;
    }
}

class RemuxTest : public SandboxTest {
protected:
    QStringList hidden() const { return hiddenFiles(folder->path()); }
};

// A 90° display matrix (rotation stored as the other platform's preferred transform).
constexpr std::array<int32_t, 9> quarterTurn {0, 65536, 0, -65536, 0, 0, 0, 0, 1 << 30};

TEST_F(RemuxTest, FaceFileKeepsCameraBytesTimingMatrixAndAddsTheMicrophone)
{
    const QString camera = path(QStringLiteral("camera.mov"));
    {
        MovieWriter writer(camera, MovieFileType::quickTimeMovie, MovieWriteMode::capture);
        VideoSettings videoSettings = videoSettingsFor(MovieRecipe {});
        videoSettings.displayMatrix = quarterTurn;
        MovieWriterInput* video = writer.addVideoInput(videoSettings);
        ASSERT_TRUE(writer.startWriting());
        writer.startSession(MediaTime::zero());
        for (int f = 15; f < 75; ++f)
            ASSERT_TRUE(video->append(MediaSample::video(movingNoise(320, 180, f), MediaTime(f, 30), MediaTime(1, 30))));
        ASSERT_TRUE(writer.finishWriting());
    }
    const QString raw = path(QStringLiteral("raw.mov"));
    writeMovie(raw, {.codec = VideoSettings::Codec::hevc, .seconds = 2.5});

    const QString face = path(QStringLiteral("face.mov"));
    ASSERT_FALSE(Remux::write(face, {Remux::Insert {camera, 0}, Remux::Insert {raw, 1}}, {MovieFileType::quickTimeMovie, QStringLiteral("facemux")}));
    EXPECT_TRUE(hidden().isEmpty());

    const MovieAsset asset = assetOf(face);
    ASSERT_EQ(asset.tracks().size(), 2u);
    const MovieTrack& video = asset.tracks()[0];
    EXPECT_NEAR(video.mediaStart().seconds(), 0.5, 1e-3) << "the camera keeps its own place in time";
    EXPECT_NEAR(video.emptyEditDuration.seconds(), 0.5, 1e-3);
    EXPECT_NEAR(video.end().seconds(), 2.5, 1.0 / 30);
    ASSERT_TRUE(video.displayMatrix);
    EXPECT_EQ(*video.displayMatrix, quarterTurn);
    EXPECT_EQ(asset.tracks()[1].mediaType, MovieTrack::MediaType::audio);
    const auto cameraPackets = packetsOfTrack(camera, 0);
    expectSameBytes(packetsOfTrack(face, 0), cameraPackets, cameraPackets.size());
    const auto micPackets = packetsOfTrack(raw, 1);
    expectSameBytes(packetsOfTrack(face, 1), micPackets, micPackets.size());
}

TEST_F(RemuxTest, TailTrimInPlaceKeepsTheLeadingPacketsByteForByte)
{
    const QString take = path(QStringLiteral("final.mov"));
    writeMovie(take, {.seconds = 6.0});
    const auto videoBefore = packetsOfTrack(take, 0);
    const auto audioBefore = packetsOfTrack(take, 1);
    const MediaTime kept = MediaTime::fromSeconds(4.5, 600);
    ASSERT_FALSE(Remux::write(take,
        {Remux::Insert {take, 0, MediaTime::zero(), kept}, Remux::Insert {take, 1, MediaTime::zero(), kept}},
        {MovieFileType::quickTimeMovie, QStringLiteral("tailtrim")}));
    EXPECT_TRUE(hidden().isEmpty());
    const MovieAsset asset = assetOf(take);
    EXPECT_NEAR(asset.duration().seconds(), 4.5, 0.03);
    expectSameBytes(packetsOfTrack(take, 0), videoBefore, 135);
    const auto audioAfter = packetsOfTrack(take, 1);
    EXPECT_NEAR(static_cast<double>(audioAfter.size()) * 1024 / 48000, 4.5, 0.03);
    expectSameBytes(audioAfter, audioBefore, audioAfter.size());
}

TEST_F(RemuxTest, RangeStartingMidGopCopiesFromTheKeyFrameBefore)
{
    const QString source = path(QStringLiteral("raw.mov"));
    writeMovie(source, {.seconds = 4.0, .audioTracks = 0});
    const auto all = packetsOfTrack(source, 0);
    // The key frame at or before 2.5 s.
    size_t key = 0;
    for (size_t i = 0; i < all.size() && all[i].presentationTime() <= MediaTime(5, 2); ++i) {
        if (all[i].packet->keyFrame)
            key = i;
    }
    const QString target = path(QStringLiteral("range.mov"));
    ASSERT_FALSE(Remux::write(target, {Remux::Insert {source, 0, MediaTime(5, 2), MediaTime(1, 1), MediaTime(5, 2)}}));
    const auto copied = packetsOfTrack(target, 0);
    ASSERT_FALSE(copied.empty());
    EXPECT_TRUE(copied.front().packet->keyFrame);
    EXPECT_EQ(copied.front().presentationTime(), all[key].presentationTime());
    const std::vector<MediaSample> expected(all.begin() + static_cast<std::ptrdiff_t>(key), all.end());
    expectSameBytes(copied, expected, static_cast<size_t>(105 - key));
}

TEST_F(RemuxTest, FailedCopyLeavesTheOldFileAndNoSibling)
{
    const QString target = path(QStringLiteral("face.mov"));
    writeText(target, "old face");
    const auto failure = Remux::write(target, {Remux::Insert {path(QStringLiteral("missing.mov")), 0}});
    ASSERT_TRUE(failure);
    EXPECT_FALSE(failure->description.isEmpty());
    const QString source = path(QStringLiteral("camera.mov"));
    writeMovie(source, {.audioTracks = 0});
    EXPECT_TRUE(Remux::write(target, {Remux::Insert {source, 4}})) << "no such track";
    EXPECT_TRUE(hidden().isEmpty());
    EXPECT_EQ(readText(target), QByteArray("old face"));
}

} // namespace
