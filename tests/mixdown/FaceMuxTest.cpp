#include "finishing/FaceMux.h"
#include "platform/media/MovieAsset.h"
#include "support/SyntheticTake.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

class FaceMuxTest : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        camera = path(QStringLiteral("camera-2.mov"));
        raw = path(QStringLiteral("raw-2.mov"));
        face = path(QStringLiteral("face-2.mov"));
        SyntheticTake::writeOverlay(camera, {});
        SyntheticTake::ScreenRecipe screen;
        screen.seconds = 2.5;
        SyntheticTake::writeScreen(raw, screen);
    }
    QStringList leftovers() const { return QDir(folder->path()).entryList({QStringLiteral(".facemux-*")}, QDir::Files | QDir::Hidden); }

    QString camera, raw, face;
};

MovieAsset assetOf(const QString& path)
{
    auto opened = MovieAsset::open(path);
    return std::holds_alternative<MovieAsset>(opened) ? std::get<MovieAsset>(opened) : MovieAsset {};
}

TEST_F(FaceMuxTest, LateCameraKeepsItsPlaceAndGainsTheMicrophone)
{
    const auto before = SyntheticTake::packets(camera, 0);
    const FaceMux::Outcome outcome = FaceMux::write(camera, raw, face, false);
    ASSERT_TRUE(std::holds_alternative<QString>(outcome));
    EXPECT_EQ(std::get<QString>(outcome), face);

    const MovieAsset asset = assetOf(face);
    const MovieTrack* video = asset.firstTrack(MovieTrack::MediaType::video);
    ASSERT_NE(video, nullptr);
    ASSERT_NE(asset.firstTrack(MovieTrack::MediaType::audio), nullptr);
    const FaceMux::MediaSpan span = FaceMux::mediaSpan(*video);
    EXPECT_NEAR(span.start.seconds(), 0.5, 1.0 / 24);
    EXPECT_NEAR(span.length.seconds(), 1.5, 1.0 / 24);
    EXPECT_NEAR(asset.firstTrack(MovieTrack::MediaType::audio)->end().seconds(), 2.5, 1.0 / 24);
    const auto after = SyntheticTake::packets(face, video->index);
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < after.size(); ++i)
        EXPECT_EQ(after[i].bytes, before[i].bytes) << "copied, not re-encoded: packet " << i;

    EXPECT_FALSE(QFile::exists(camera));
    EXPECT_TRUE(leftovers().isEmpty());
    EXPECT_TRUE(readLog().contains(QStringLiteral("face.mov: face-2.mov camera from 0.50s, 1.5s + mic (camera.mov removed)")));
}

TEST_F(FaceMuxTest, ScreenRecordingWithoutMicrophoneFailsAndTouchesNothing)
{
    SyntheticTake::ScreenRecipe silent;
    silent.audioTracks = 0;
    SyntheticTake::writeScreen(raw, silent);
    QFile::copy(camera, face); // an earlier face file
    const QByteArray earlier = [&] { QFile f(face); f.open(QIODevice::ReadOnly); return f.readAll(); }();

    const FaceMux::Outcome outcome = FaceMux::write(camera, raw, face, false);
    ASSERT_TRUE(std::holds_alternative<FaceMux::Failure>(outcome));
    EXPECT_EQ(std::get<FaceMux::Failure>(outcome).description(), QStringLiteral("raw.mov has no audio track"));
    EXPECT_TRUE(QFile::exists(camera));
    QFile after(face);
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), earlier);
    EXPECT_TRUE(leftovers().isEmpty());
}

TEST_F(FaceMuxTest, CameraWithoutVideoAndUnreadableFilesFail)
{
    const QString soundOnly = path(QStringLiteral("sound.mov"));
    SyntheticTake::writeSound(soundOnly, 1.0, MovieFileType::quickTimeMovie);
    FaceMux::Outcome outcome = FaceMux::write(soundOnly, raw, face, false);
    ASSERT_TRUE(std::holds_alternative<FaceMux::Failure>(outcome));
    EXPECT_EQ(std::get<FaceMux::Failure>(outcome).description(), QStringLiteral("camera.mov has no video track"));

    outcome = FaceMux::write(path(QStringLiteral("missing.mov")), raw, face, false);
    EXPECT_TRUE(std::holds_alternative<MediaError>(outcome));
    EXPECT_FALSE(QFile::exists(face));
}

TEST_F(FaceMuxTest, ExistingFaceFileIsReplacedAndKeepCameraLeavesTheCameraMovie)
{
    QFile stale(face);
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write("stale");
    stale.close();
    ASSERT_TRUE(std::holds_alternative<QString>(FaceMux::write(camera, raw, face, true)));
    EXPECT_NE(assetOf(face).firstTrack(MovieTrack::MediaType::video), nullptr);
    EXPECT_TRUE(leftovers().isEmpty());
    EXPECT_TRUE(QFile::exists(camera));
    EXPECT_TRUE(readLog().contains(QStringLiteral("(camera.mov kept)")));
}

TEST(FaceMuxSpanTest, SpansMatchOnlyWithinOneFrameAt24)
{
    const FaceMux::MediaSpan camera {MediaTime(1, 2), MediaTime(3, 2)};
    struct Case {
        const char* name;
        MediaTime start;
        MediaTime length;
        bool matches;
    };
    const Case cases[] = {
        {"same", MediaTime(1, 2), MediaTime(3, 2), true},
        {"start off by 0.04 s", MediaTime(54, 100), MediaTime(3, 2), true},
        {"start off by exactly 1/24 s", MediaTime(1, 2) + MediaTime(1, 24), MediaTime(3, 2), false},
        {"length off by exactly 1/24 s", MediaTime(1, 2), MediaTime(3, 2) - MediaTime(1, 24), false},
        {"length off by 0.04 s", MediaTime(1, 2), MediaTime(146, 100), true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FaceMux::spansMatch({c.start, c.length}, camera), c.matches) << c.name;
}

TEST(FaceMuxSpanTest, SpanStartsAfterTheEmptyEditAndNeverBeforeZero)
{
    MovieTrack track;
    track.start = MediaTime(-1, 10);
    track.duration = MediaTime(21, 10);
    EXPECT_EQ(FaceMux::mediaSpan(track).start, MediaTime::zero());
    EXPECT_EQ(FaceMux::mediaSpan(track).length, MediaTime(2, 1));
    track.start = MediaTime::zero();
    track.emptyEditDuration = MediaTime(1, 2);
    EXPECT_EQ(FaceMux::mediaSpan(track).start, MediaTime(1, 2));
    EXPECT_EQ(FaceMux::mediaSpan(track).length, MediaTime(8, 5));
}

} // namespace
