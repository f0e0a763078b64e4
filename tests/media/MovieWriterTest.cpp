#include "MediaTestSupport.h"

#include "platform/media/MovieAsset.h"
#include "platform/media/MovieReader.h"
#include "platform/media/PixelBuffer.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace MediaTestSupport;

namespace {

class MovieWriterTest : public SandboxTest {
protected:
    QStringList hiddenFiles() const
    {
        return QDir(folder->path()).entryList(QDir::Files | QDir::Hidden).filter(QRegularExpression(QStringLiteral("^\\.")));
    }
    static double number(const QJsonObject& o, const char* key) { return o.value(QLatin1String(key)).toString().toDouble(); }
};

TEST_F(MovieWriterTest, H264FinishedMovieHasHighProfileNoReorderingGopBitRateAndStereoAac)
{
    const QString target = path(QStringLiteral("final.mov"));
    MovieRecipe recipe;
    recipe.seconds = 4.0;
    writeMovie(target, recipe);
    ASSERT_TRUE(QFile::exists(target));
    EXPECT_TRUE(hiddenFiles().isEmpty()) << hiddenFiles().join(u',').toStdString();

    const QJsonObject info = probe(target, true);
    const QJsonObject video = streamsOfType(info, QStringLiteral("video")).at(0).toObject();
    EXPECT_EQ(video.value(QStringLiteral("codec_name")).toString(), QStringLiteral("h264"));
    EXPECT_EQ(video.value(QStringLiteral("profile")).toString(), QStringLiteral("High"));
    EXPECT_EQ(video.value(QStringLiteral("has_b_frames")).toInt(), 0);
    EXPECT_EQ(video.value(QStringLiteral("width")).toInt(), 320);
    EXPECT_EQ(video.value(QStringLiteral("height")).toInt(), 180);
    EXPECT_EQ(video.value(QStringLiteral("avg_frame_rate")).toString(), QStringLiteral("30/1"));

    const auto packets = packetsOf(info, video.value(QStringLiteral("index")).toInt());
    ASSERT_EQ(packets.size(), 120u);
    int sinceKey = 0;
    int64_t bytes = 0;
    double previousPts = -1;
    for (const QJsonObject& packet : packets) {
        const bool key = packet.value(QStringLiteral("flags")).toString().startsWith(u'K');
        sinceKey = key ? 0 : sinceKey + 1;
        EXPECT_LT(sinceKey, 60) << "key frames at most every 60 frames";
        bytes += packet.value(QStringLiteral("size")).toString().toLongLong();
        // Without reordering, decode order is presentation order.
        EXPECT_EQ(packet.value(QStringLiteral("pts")).toInteger(), packet.value(QStringLiteral("dts")).toInteger());
        const double pts = number(packet, "pts_time");
        EXPECT_GT(pts, previousPts);
        previousPts = pts;
    }
    EXPECT_TRUE(packets.front().value(QStringLiteral("flags")).toString().startsWith(u'K'));
    const double bitRate = static_cast<double>(bytes) * 8.0 / 4.0;
    EXPECT_NEAR(bitRate, 320.0 * 180 * 6, 320.0 * 180 * 6 * 0.10);

    const QJsonObject audio = streamsOfType(info, QStringLiteral("audio")).at(0).toObject();
    EXPECT_EQ(audio.value(QStringLiteral("codec_name")).toString(), QStringLiteral("aac"));
    EXPECT_EQ(audio.value(QStringLiteral("profile")).toString(), QStringLiteral("LC"));
    EXPECT_EQ(audio.value(QStringLiteral("channels")).toInt(), 2);
    EXPECT_EQ(audio.value(QStringLiteral("sample_rate")).toString(), QStringLiteral("48000"));

    // Sound and picture start together and end within one frame of each other.
    EXPECT_NEAR(number(video, "start_time"), number(audio, "start_time"), 1.0 / 30);
    EXPECT_NEAR(number(video, "duration"), 4.0, 1.0 / 30);
    EXPECT_NEAR(number(audio, "duration"), 4.0, 1.0 / 30);

    // The index sits at the front of a finished movie.
    QFile file(target);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytesOfFile = file.readAll();
    EXPECT_LT(bytesOfFile.indexOf("moov"), bytesOfFile.indexOf("mdat"));
}
} // namespace

namespace {

TEST_F(MovieWriterTest, HevcCaptureFileIsFragmentedTaggedHvc1WithoutReordering)
{
    const QString target = path(QStringLiteral("raw.mov"));
    MovieRecipe recipe;
    recipe.codec = VideoSettings::Codec::hevc;
    recipe.mode = MovieWriteMode::capture;
    recipe.seconds = 3.0;
    recipe.audioTracks = 2;
    writeMovie(target, recipe);

    const QJsonObject info = probe(target, true);
    const QJsonObject video = streamsOfType(info, QStringLiteral("video")).at(0).toObject();
    EXPECT_EQ(video.value(QStringLiteral("codec_name")).toString(), QStringLiteral("hevc"));
    EXPECT_EQ(video.value(QStringLiteral("codec_tag_string")).toString(), QStringLiteral("hvc1"));
    EXPECT_EQ(video.value(QStringLiteral("has_b_frames")).toInt(), 0);
    EXPECT_EQ(streamsOfType(info, QStringLiteral("audio")).size(), 2);
    int keyFrames = 0;
    for (const QJsonObject& packet : packetsOf(info, 0))
        keyFrames += packet.value(QStringLiteral("flags")).toString().startsWith(u'K');
    EXPECT_GE(keyFrames, 2) << "a key frame at least every 60 frames";
    EXPECT_NEAR(number(video, "duration"), 3.0, 1.0 / 30);
    for (const auto& audio : streamsOfType(info, QStringLiteral("audio"))) {
        EXPECT_NEAR(number(audio.toObject(), "start_time"), number(video, "start_time"), 1.0 / 30) << "sound and picture line up";
        EXPECT_NEAR(number(audio.toObject(), "duration"), 3.0, 1.0 / 30);
    }

    QFile file(target);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    int fragments = 0;
    for (qsizetype at = bytes.indexOf("moof"); at >= 0; at = bytes.indexOf("moof", at + 4))
        ++fragments;
    EXPECT_GE(fragments, 3) << "fragments of at most one second";
}

TEST_F(MovieWriterTest, AudioOnlyM4aKeepsMonoRateAndLength)
{
    const QString target = path(QStringLiteral("voice.m4a"));
    MovieRecipe recipe;
    recipe.video = false;
    recipe.audioChannels = 1;
    recipe.type = MovieFileType::appleM4A;
    recipe.mode = MovieWriteMode::capture;
    recipe.seconds = 2.5;
    writeMovie(target, recipe);
    const QJsonObject info = probe(target);
    EXPECT_EQ(info.value(QStringLiteral("format")).toObject().value(QStringLiteral("format_name")).toString(),
        QStringLiteral("mov,mp4,m4a,3gp,3g2,mj2"));
    const QJsonArray audio = streamsOfType(info, QStringLiteral("audio"));
    ASSERT_EQ(audio.size(), 1);
    EXPECT_EQ(audio.at(0).toObject().value(QStringLiteral("channels")).toInt(), 1);
    EXPECT_EQ(audio.at(0).toObject().value(QStringLiteral("sample_rate")).toString(), QStringLiteral("48000"));
    EXPECT_NEAR(number(audio.at(0).toObject(), "duration"), 2.5, 0.03);
}

TEST_F(MovieWriterTest, LateFirstPictureOpensTheTrackWithAnEmptyEdit)
{
    // A camera whose first frame comes 0.5 s into the take keeps its place, in capture and finished files.
    for (MovieWriteMode mode : {MovieWriteMode::finishing, MovieWriteMode::capture}) {
        const QString target = path(mode == MovieWriteMode::capture ? QStringLiteral("camera.mov") : QStringLiteral("face.mov"));
        MovieRecipe recipe;
        recipe.videoStart = 0.5;
        recipe.audioTracks = 0;
        recipe.mode = mode;
        writeMovie(target, recipe);
        auto opened = MovieAsset::open(target);
        ASSERT_TRUE(std::holds_alternative<MovieAsset>(opened));
        const MovieTrack* video = std::get<MovieAsset>(opened).firstTrack(MovieTrack::MediaType::video);
        ASSERT_NE(video, nullptr);
        EXPECT_NEAR(video->emptyEditDuration.seconds(), 0.5, 1e-3);
        EXPECT_NEAR(video->mediaStart().seconds(), 0.5, 1e-3);
        EXPECT_NEAR(video->end().seconds(), 2.0, 1.0 / 30);
    }
}

TEST_F(MovieWriterTest, StartWritingIntoAMissingFolderFailsWithAReason)
{
    MovieWriter writer(path(QStringLiteral("no/such/folder/raw.mov")), MovieFileType::quickTimeMovie, MovieWriteMode::capture);
    ASSERT_NE(writer.addVideoInput(videoSettingsFor(MovieRecipe {})), nullptr);
    EXPECT_FALSE(writer.startWriting());
    EXPECT_EQ(writer.status(), MovieWriter::Status::failed);
    ASSERT_TRUE(writer.error());
    EXPECT_TRUE(writer.error()->description.contains(QStringLiteral("No such file or directory")));
}

TEST_F(MovieWriterTest, NonAdvancingPictureIsRefusedAndWritingGoesOn)
{
    const QString target = path(QStringLiteral("camera.mov"));
    MovieWriter writer(target, MovieFileType::quickTimeMovie, MovieWriteMode::finishing);
    MovieWriterInput* video = writer.addVideoInput(videoSettingsFor(MovieRecipe {}));
    ASSERT_TRUE(writer.startWriting());
    EXPECT_FALSE(video->isReadyForMoreMediaData()) << "nothing is taken before the session starts";
    writer.startSession(MediaTime(5, 1));
    EXPECT_TRUE(video->append(MediaSample::video(movingNoise(320, 180, 0), MediaTime(4, 1)))) << "before the session: trimmed";
    EXPECT_TRUE(video->append(MediaSample::video(movingNoise(320, 180, 1), MediaTime(5, 1))));
    EXPECT_FALSE(video->append(MediaSample::video(movingNoise(320, 180, 2), MediaTime(5, 1))));
    EXPECT_EQ(writer.status(), MovieWriter::Status::writing);
    EXPECT_TRUE(video->append(MediaSample::video(movingNoise(320, 180, 3), MediaTime(51, 10))));
    video->markAsFinished();
    EXPECT_FALSE(video->append(MediaSample::video(movingNoise(320, 180, 4), MediaTime(52, 10)))) << "finished inputs take nothing";
    ASSERT_TRUE(writer.finishWriting());
    EXPECT_EQ(writer.status(), MovieWriter::Status::completed);
    const auto packets = packetsOf(probe(target, true), 0);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_DOUBLE_EQ(number(packets[0], "pts_time"), 0.0) << "the session start is file time 0";
}

TEST_F(MovieWriterTest, CancelledFinishingWriteLeavesTheOldTargetAndNoSibling)
{
    const QString target = path(QStringLiteral("final.mov"));
    {
        QFile old(target);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old final");
    }
    MovieWriter writer(target, MovieFileType::quickTimeMovie, MovieWriteMode::finishing, QStringLiteral("mixdown"));
    MovieWriterInput* video = writer.addVideoInput(videoSettingsFor(MovieRecipe {}));
    ASSERT_TRUE(writer.startWriting());
    writer.startSession(MediaTime::zero());
    ASSERT_TRUE(video->append(MediaSample::video(movingNoise(320, 180, 0), MediaTime::zero())));
    EXPECT_EQ(hiddenFiles().size(), 1);
    EXPECT_TRUE(hiddenFiles().value(0).startsWith(QStringLiteral(".mixdown-")));
    writer.cancelWriting();
    EXPECT_EQ(writer.status(), MovieWriter::Status::cancelled);
    EXPECT_TRUE(hiddenFiles().isEmpty());
    QFile old(target);
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), QByteArray("old final"));
}

TEST_F(MovieWriterTest, FinishingWriteThatRunsOutOfSpaceLeavesTheOldTargetAndNoSibling)
{
    const QString target = path(QStringLiteral("final.mov"));
    {
        QFile old(target);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old final");
    }
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A file size limit stands in for a full disk: writes fail with EFBIG.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit {64 * 1024, 64 * 1024};
        setrlimit(RLIMIT_FSIZE, &limit);
        MovieWriter writer(target, MovieFileType::quickTimeMovie, MovieWriteMode::finishing);
        MovieWriterInput* video = writer.addVideoInput(videoSettingsFor(MovieRecipe {}));
        if (!video || !writer.startWriting())
            _exit(3);
        writer.startSession(MediaTime::zero());
        for (int f = 0; f < 120; ++f) {
            if (!video->append(MediaSample::video(movingNoise(320, 180, f), MediaTime(f, 30))))
                break;
        }
        const bool finished = writer.finishWriting();
        _exit(finished ? 0 : writer.status() == MovieWriter::Status::failed ? 1 : 2);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1) << "the write fails and says so";
    EXPECT_TRUE(hiddenFiles().isEmpty()) << hiddenFiles().join(u',').toStdString();
    QFile old(target);
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), QByteArray("old final"));
}

} // namespace

namespace {

TEST_F(MovieWriterTest, NonRealTimeTrackWaitsWhileItRunsASecondAheadOfItsSibling)
{
    MovieWriter writer(path(QStringLiteral("final.mov")), MovieFileType::quickTimeMovie, MovieWriteMode::finishing);
    MovieWriterInput* video = writer.addVideoInput(videoSettingsFor(MovieRecipe {}));
    MovieWriterInput* audio = writer.addAudioInput(AudioSettings {});
    ASSERT_TRUE(writer.startWriting());
    writer.startSession(MediaTime::zero());
    int frame = 0;
    while (video->isReadyForMoreMediaData() && frame < 100) {
        ASSERT_TRUE(video->append(MediaSample::video(movingNoise(320, 180, frame), MediaTime(frame, 30))));
        ++frame;
    }
    EXPECT_EQ(frame, 32) << "stops just past one second ahead of the silent audio track";
    EXPECT_TRUE(audio->isReadyForMoreMediaData());
    ASSERT_TRUE(audio->append(MediaSample::sound(tone(48000, 2, 24000, 0), MediaTime::zero())));
    EXPECT_TRUE(video->isReadyForMoreMediaData()) << "the sibling caught up";
    audio->markAsFinished();
    video->markAsFinished();
    EXPECT_TRUE(writer.finishWriting());
}

TEST_F(MovieWriterTest, SoundWithAGapIsPaddedSoItStaysOnTheTimeline)
{
    const QString target = path(QStringLiteral("voice.m4a"));
    MovieWriter writer(target, MovieFileType::appleM4A, MovieWriteMode::finishing);
    MovieWriterInput* audio = writer.addAudioInput(AudioSettings {48000, 1, 128000});
    ASSERT_TRUE(writer.startWriting());
    writer.startSession(MediaTime::zero());
    // One second of 44.1 kHz stereo, a 0.5 s hole, one more second, then a block that overlaps its predecessor.
    ASSERT_TRUE(audio->append(MediaSample::sound(tone(44100, 2, 44100, 0), MediaTime::zero())));
    ASSERT_TRUE(audio->append(MediaSample::sound(tone(44100, 2, 44100, 0), MediaTime(3, 2))));
    ASSERT_TRUE(audio->append(MediaSample::sound(tone(44100, 2, 8820, 0), MediaTime(24, 10))));
    audio->markAsFinished();
    ASSERT_TRUE(writer.finishWriting());

    auto opened = MovieReader::open(target);
    ASSERT_TRUE(std::holds_alternative<std::unique_ptr<MovieReader>>(opened));
    auto& reader = std::get<0>(opened);
    MovieReaderOutput* output = reader->addAudioOutput(0, AudioOutputSettings {1000, 1});
    ASSERT_TRUE(reader->startReading());
    std::vector<float> levels;
    while (auto block = output->copyNextSample())
        levels.insert(levels.end(), block->audio->samples.begin(), block->audio->samples.end());
    EXPECT_NEAR(static_cast<double>(levels.size()) / 1000, 2.6, 0.03) << "the overlap is cut, the hole kept";
    double hole = 0;
    double sound = 0;
    for (size_t i = 1100; i < 1400; ++i)
        hole += std::abs(levels[i]);
    for (size_t i = 1600; i < 1900; ++i)
        sound += std::abs(levels[i]);
    EXPECT_LT(hole / 300, 0.01);
    EXPECT_GT(sound / 300, 0.1);
}

TEST_F(MovieWriterTest, HardwarePreferenceFallsBackToSoftwareWhenNoVaapiDeviceEncodes)
{
    VideoSettings settings = videoSettingsFor(MovieRecipe {});
    settings.preferHardware = true;
    const QString target = path(QStringLiteral("camera.mov"));
    MovieWriter writer(target, MovieFileType::quickTimeMovie, MovieWriteMode::finishing);
    MovieWriterInput* video = writer.addVideoInput(settings);
    ASSERT_NE(video, nullptr);
    const std::string encoder = writer.videoEncoderNames().at(0);
    EXPECT_TRUE(encoder == "libx264" || encoder == "h264_vaapi") << encoder;
    if (!QFile::exists(QStringLiteral("/dev/dri"))) {
        EXPECT_EQ(encoder, "libx264");
    }
    ASSERT_TRUE(writer.startWriting());
    writer.startSession(MediaTime::zero());
    for (int f = 0; f < 10; ++f)
        ASSERT_TRUE(video->append(MediaSample::video(movingNoise(320, 180, f), MediaTime(f, 30))));
    video->markAsFinished();
    ASSERT_TRUE(writer.finishWriting());
    EXPECT_EQ(streamsOfType(probe(target), QStringLiteral("video")).at(0).toObject().value(QStringLiteral("codec_name")).toString(),
        QStringLiteral("h264"));
}

} // namespace
