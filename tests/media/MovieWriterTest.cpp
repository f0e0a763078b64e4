#include "MediaTestSupport.h"

#include "platform/media/EncoderThreadPriority.h"
#include "platform/media/PixelBuffer.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>

#include <gtest/gtest.h>

#include <csignal>
#include <thread>

#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace MediaTestSupport;

namespace {

class MovieWriterTest : public SandboxTest {
protected:
    QStringList hidden() const { return hiddenFiles(folder->path()); }
    QByteArray fileBytes(const QString& name) const { return readText(path(name)); }
};

TEST_F(MovieWriterTest, H264FinishedMovieHasHighProfileNoReorderingGopBitRateAndStereoAac)
{
    const QString target = path(QStringLiteral("final.mov"));
    writeMovie(target, {.seconds = 4.0});
    EXPECT_TRUE(hidden().isEmpty()) << hidden().join(u',').toStdString();

    const QJsonObject info = probe(target, true);
    const QJsonObject video = streamsOfType(info, QStringLiteral("video")).at(0).toObject();
    MovieProbe::expectFields(video, {{"codec_name", "h264"}, {"profile", "High"}, {"has_b_frames", "0"}, {"width", "320"},
        {"height", "180"}, {"avg_frame_rate", "30/1"}});
    const auto packets = packetsOf(info, video.value(QStringLiteral("index")).toInt());
    ASSERT_EQ(packets.size(), 120u);
    EXPECT_TRUE(packets.front().value(QStringLiteral("flags")).toString().startsWith(u'K'));
    int sinceKey = 0;
    int64_t bytes = 0;
    double previousPts = -1;
    for (const QJsonObject& packet : packets) {
        sinceKey = packet.value(QStringLiteral("flags")).toString().startsWith(u'K') ? 0 : sinceKey + 1;
        EXPECT_LT(sinceKey, 60) << "key frames at most every 60 frames";
        bytes += packet.value(QStringLiteral("size")).toString().toLongLong();
        // Without reordering, decode order is presentation order.
        EXPECT_EQ(packet.value(QStringLiteral("pts")).toInteger(), packet.value(QStringLiteral("dts")).toInteger());
        EXPECT_GT(number(packet, "pts_time"), previousPts);
        previousPts = number(packet, "pts_time");
    }
    EXPECT_NEAR(static_cast<double>(bytes) * 8.0 / 4.0, 320.0 * 180 * 6, 320.0 * 180 * 6 * 0.10) << "average bit rate";

    const QJsonObject audio = streamsOfType(info, QStringLiteral("audio")).at(0).toObject();
    MovieProbe::expectFields(audio, {{"codec_name", "aac"}, {"profile", "LC"}, {"channels", "2"}, {"sample_rate", "48000"}});
    // Sound and picture start together and end within one frame of each other.
    EXPECT_NEAR(number(video, "start_time"), number(audio, "start_time"), 1.0 / 30);
    EXPECT_NEAR(number(video, "duration"), 4.0, 1.0 / 30);
    EXPECT_NEAR(number(audio, "duration"), 4.0, 1.0 / 30);
    // The index sits at the front of a finished movie.
    const QByteArray file = fileBytes(QStringLiteral("final.mov"));
    EXPECT_LT(file.indexOf("moov"), file.indexOf("mdat"));
}

TEST_F(MovieWriterTest, HevcCaptureFileIsFragmentedTaggedHvc1WithoutReordering)
{
    const QString target = path(QStringLiteral("raw.mov"));
    writeMovie(target, {.codec = VideoSettings::Codec::hevc, .seconds = 3.0, .audioTracks = 2, .mode = MovieWriteMode::capture});

    const QJsonObject info = probe(target, true);
    const QJsonObject video = streamsOfType(info, QStringLiteral("video")).at(0).toObject();
    MovieProbe::expectFields(video, {{"codec_name", "hevc"}, {"codec_tag_string", "hvc1"}, {"has_b_frames", "0"}});
    int keyFrames = 0;
    for (const QJsonObject& packet : packetsOf(info, 0))
        keyFrames += packet.value(QStringLiteral("flags")).toString().startsWith(u'K');
    EXPECT_GE(keyFrames, 2) << "a key frame at least every 60 frames";
    EXPECT_NEAR(number(video, "duration"), 3.0, 1.0 / 30);
    ASSERT_EQ(streamsOfType(info, QStringLiteral("audio")).size(), 2);
    for (const auto& audio : streamsOfType(info, QStringLiteral("audio"))) {
        EXPECT_NEAR(number(audio.toObject(), "start_time"), number(video, "start_time"), 1.0 / 30) << "sound and picture line up";
        EXPECT_NEAR(number(audio.toObject(), "duration"), 3.0, 1.0 / 30);
    }
    const QByteArray bytes = fileBytes(QStringLiteral("raw.mov"));
    int fragments = 0;
    for (qsizetype at = bytes.indexOf("moof"); at >= 0; at = bytes.indexOf("moof", at + 4))
        ++fragments;
    EXPECT_GE(fragments, 3) << "fragments of at most one second";
}

TEST_F(MovieWriterTest, LateFirstPictureOpensTheTrackWithAnEmptyEdit)
{
    // A camera whose first frame comes 0.5 s into the take keeps its place, in capture and finished files.
    for (MovieWriteMode mode : {MovieWriteMode::finishing, MovieWriteMode::capture}) {
        SCOPED_TRACE(mode == MovieWriteMode::capture ? "capture" : "finishing");
        const QString target = path(mode == MovieWriteMode::capture ? QStringLiteral("camera.mov") : QStringLiteral("face.mov"));
        writeMovie(target, {.videoStart = 0.5, .audioTracks = 0, .mode = mode});
        // The track lives in the asset: keep the asset for as long as the track is read.
        const MovieAsset asset = assetOf(target);
        const MovieTrack* video = asset.firstTrack(MovieTrack::MediaType::video);
        ASSERT_NE(video, nullptr);
        EXPECT_NEAR(video->emptyEditDuration.seconds(), 0.5, 1e-3);
        EXPECT_NEAR(video->mediaStart().seconds(), 0.5, 1e-3);
        EXPECT_NEAR(video->end().seconds(), 2.0, 1.0 / 30);
    }
}

// A cancelled finishing write and one that runs out of space both leave the old target and no sibling.
TEST_F(MovieWriterTest, CancelledOrFailedFinishingWriteLeavesTheOldTargetAndNoSibling)
{
    const QString target = path(QStringLiteral("final.mov"));
    writeText(target, "old final");
    {
        MovieWriter writer(target, MovieFileType::quickTimeMovie, MovieWriteMode::finishing, QStringLiteral("mixdown"));
        MovieWriterInput* video = writer.addVideoInput(videoSettingsFor(MovieRecipe {}));
        ASSERT_TRUE(writer.startWriting());
        writer.startSession(MediaTime::zero());
        ASSERT_TRUE(video->append(MediaSample::video(movingNoise(320, 180, 0), MediaTime::zero())));
        ASSERT_EQ(hidden().size(), 1);
        EXPECT_TRUE(hidden().value(0).startsWith(QStringLiteral(".mixdown-")));
        writer.cancelWriting();
        EXPECT_EQ(writer.status(), MovieWriter::Status::cancelled);
        EXPECT_TRUE(hidden().isEmpty()) << "removed at once, not when the writer goes";
        EXPECT_EQ(readText(target), QByteArray("old final"));
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
        for (int f = 0; f < 120 && video->append(MediaSample::video(movingNoise(320, 180, f), MediaTime(f, 30))); ++f) { }
        const bool finished = writer.finishWriting();
        _exit(finished ? 0 : writer.status() == MovieWriter::Status::failed ? 1 : 2);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1) << "the write fails and says so";
    EXPECT_TRUE(hidden().isEmpty()) << hidden().join(u',').toStdString();
    EXPECT_EQ(readText(target), QByteArray("old final"));
}

// A take's folder renamed while its capture file is written, and a new take's folder made under the old
// name: the file finishes whole where it now lies, and the new folder is never touched.
TEST_F(MovieWriterTest, ACaptureFileWhoseFolderWasRenamedFinishesWholeWhereItNowLies)
{
    QDir().mkpath(path(QStringLiteral("video 1")));
    MovieWriter writer(path(QStringLiteral("video 1/raw.mov")), MovieFileType::quickTimeMovie, MovieWriteMode::capture);
    MovieWriterInput* video = writer.addVideoInput(videoSettingsFor(MovieRecipe {}));
    MovieWriterInput* audio = writer.addAudioInput(AudioSettings {48000, 2, 128000});
    ASSERT_TRUE(video && audio);
    EXPECT_EQ(writer.location(), std::nullopt) << "no file before the writing starts";
    ASSERT_TRUE(writer.startWriting());
    writer.startSession(MediaTime::zero());
    for (int f = 0; f < 60; ++f) {
        if (f == 30) {
            ASSERT_TRUE(QDir().rename(path(QStringLiteral("video 1")), path(QStringLiteral("intro"))));
            QDir().mkpath(path(QStringLiteral("video 1")));
            writeText(path(QStringLiteral("video 1/raw.mov")), "the next take");
        }
        ASSERT_TRUE(video->append(MediaSample::video(movingNoise(320, 180, f), MediaTime(f, 30))));
        ASSERT_TRUE(audio->append(MediaSample::sound(tone(48000, 2, 1600, f * 1600), MediaTime(f * 1600, 48000))));
    }
    video->markAsFinished();
    audio->markAsFinished();
    ASSERT_TRUE(writer.finishWriting()) << (writer.error() ? writer.error()->description.toStdString() : "");
    EXPECT_EQ(writer.status(), MovieWriter::Status::completed);
    const std::optional<QString> movie = writer.location();
    ASSERT_TRUE(movie);
    EXPECT_EQ(QFileInfo(*movie).canonicalFilePath(), QFileInfo(path(QStringLiteral("intro/raw.mov"))).canonicalFilePath());
    const QJsonObject info = probe(*movie);
    EXPECT_NEAR(number(streamsOfType(info, QStringLiteral("video")).at(0).toObject(), "duration"), 2.0, 1.0 / 30);
    EXPECT_NEAR(number(streamsOfType(info, QStringLiteral("audio")).at(0).toObject(), "duration"), 2.0, 1.0 / 30);
    EXPECT_EQ(readText(path(QStringLiteral("video 1/raw.mov"))), QByteArray("the next take"));

    // Deleted while written: the writer still finishes, and names no place for it.
    MovieWriter deleted(path(QStringLiteral("intro/raw-2.mov")), MovieFileType::quickTimeMovie, MovieWriteMode::capture);
    MovieWriterInput* picture = deleted.addVideoInput(videoSettingsFor(MovieRecipe {}));
    ASSERT_TRUE(deleted.startWriting());
    deleted.startSession(MediaTime::zero());
    ASSERT_TRUE(picture->append(MediaSample::video(movingNoise(320, 180, 0), MediaTime::zero())));
    ASSERT_TRUE(QFile::remove(path(QStringLiteral("intro/raw-2.mov"))));
    picture->markAsFinished();
    EXPECT_TRUE(deleted.finishWriting());
    EXPECT_EQ(deleted.location(), std::nullopt);

    // A finishing file is renamed into place as ever, and found there.
    const QString final = path(QStringLiteral("intro/final.mov"));
    writeMovie(final, {.seconds = 0.5});
    MovieWriter finishing(final, MovieFileType::quickTimeMovie, MovieWriteMode::finishing);
    MovieWriterInput* frames = finishing.addVideoInput(videoSettingsFor(MovieRecipe {}));
    ASSERT_TRUE(finishing.startWriting());
    finishing.startSession(MediaTime::zero());
    ASSERT_TRUE(frames->append(MediaSample::video(movingNoise(320, 180, 0), MediaTime::zero())));
    frames->markAsFinished();
    ASSERT_TRUE(finishing.finishWriting());
    EXPECT_EQ(finishing.location(), final);
    EXPECT_TRUE(hiddenFiles(path(QStringLiteral("intro"))).isEmpty());
}

// Two seconds of capture with sound; the writer's status as an exit code: 0 finished, 1 an append failed,
// 2 the finish failed.
int writeTwoSecondsOfCapture(const QString& target)
{
    MovieWriter writer(target, MovieFileType::quickTimeMovie, MovieWriteMode::capture);
    MovieWriterInput* video = writer.addVideoInput(videoSettingsFor(MovieRecipe {}));
    MovieWriterInput* audio = writer.addAudioInput(AudioSettings {48000, 2, 128000});
    if (!video || !audio || !writer.startWriting())
        return 3;
    writer.startSession(MediaTime::zero());
    for (int f = 0; f < 60; ++f) {
        if (!video->append(MediaSample::video(movingNoise(320, 180, f), MediaTime(f, 30)))
            || !audio->append(MediaSample::sound(tone(48000, 2, 1600, f * 1600), MediaTime(f * 1600, 48000)))) {
            writer.cancelWriting();
            return 1;
        }
    }
    video->markAsFinished();
    audio->markAsFinished();
    return writer.finishWriting() ? 0 : 2;
}

// A disk that fills part-way through a fragment, during the take or as its last fragment is written at the
// stop: the capture file is cut back to its last whole fragment, so it still opens, with the picture up to there.
TEST_F(MovieWriterTest, ACaptureFileCutOffByAFullDiskEndsAtItsLastWholeFragment)
{
    const QString whole = path(QStringLiteral("whole.mov"));
    ASSERT_EQ(writeTwoSecondsOfCapture(whole), 0);
    const QByteArray wholeBytes = readText(whole);
    const SyntheticTake::TopLevelBoxes wholeBoxes = SyntheticTake::topLevelBoxesOf(wholeBytes);
    ASSERT_TRUE(wholeBoxes.endsWhole);
    std::vector<int64_t> moofs;
    for (const auto& [type, offset] : wholeBoxes.boxes) {
        if (type == "moof")
            moofs.push_back(offset);
    }
    ASSERT_GE(moofs.size(), 4u) << "a fragment every half second";

    // The disk fills inside the second fragment's header, inside its picture data, and inside the last
    // fragment's header, which only the finish writes.
    const std::vector<int64_t> limits {moofs[1] + 20, (moofs[1] + moofs[2]) / 2, moofs.back() + 20};
    for (size_t round = 0; round < limits.size(); ++round) {
        const QString cut = path(QStringLiteral("cut-%1.mov").arg(round));
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // A file size limit stands in for a full disk: writes fail with EFBIG.
            std::signal(SIGXFSZ, SIG_IGN);
            const rlim_t size = static_cast<rlim_t>(limits[round]);
            rlimit limit {size, size};
            setrlimit(RLIMIT_FSIZE, &limit);
            _exit(writeTwoSecondsOfCapture(cut));
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_TRUE(WEXITSTATUS(status) == 1 || WEXITSTATUS(status) == 2) << "round " << round << ": the write fails and says so";

        const QByteArray bytes = readText(cut);
        const SyntheticTake::TopLevelBoxes boxes = SyntheticTake::topLevelBoxesOf(bytes);
        EXPECT_TRUE(boxes.endsWhole) << "round " << round << ": " << bytes.size() << " bytes, the disk filled at " << limits[round];
        ASSERT_FALSE(boxes.boxes.empty());
        EXPECT_EQ(boxes.boxes.back().first, QByteArray("mdat")) << "round " << round << ": ends with a fragment's data";
        const QJsonArray videos = streamsOfType(probe(cut), QStringLiteral("video"));
        ASSERT_EQ(videos.size(), 1) << "round " << round << ": the file opens";
        EXPECT_GT(number(videos.at(0).toObject(), "duration"), 0.3) << "round " << round << ": the first fragment at least";
    }
}

// The folder renamed the instant the capture file appears in it (as a user or a file manager may, while the
// writer is still opening it): the writer keeps writing that file, and finds it where it now lies.
TEST_F(MovieWriterTest, AFolderRenamedTheMomentItsCaptureFileAppearsKeepsTheFileWithTheWriter)
{
    for (int round = 0; round < 20; ++round) {
        const QString folderPath = path(QStringLiteral("take %1").arg(round));
        const QString moved = path(QStringLiteral("moved %1").arg(round));
        ASSERT_TRUE(QDir().mkpath(folderPath));
        const int watch = ::inotify_init1(IN_CLOEXEC);
        ASSERT_GE(watch, 0);
        ASSERT_GE(::inotify_add_watch(watch, QFile::encodeName(folderPath).constData(), IN_CREATE), 0);
        std::thread renamer([&] {
            alignas(inotify_event) char events[4096];
            if (::read(watch, events, sizeof events) > 0)
                ::rename(QFile::encodeName(folderPath).constData(), QFile::encodeName(moved).constData());
        });
        MovieWriter writer(folderPath + QStringLiteral("/voice.m4a"), MovieFileType::appleM4A, MovieWriteMode::capture);
        MovieWriterInput* audio = writer.addAudioInput(AudioSettings {48000, 1, 128000});
        ASSERT_TRUE(audio);
        const bool started = writer.startWriting();
        renamer.join();
        ::close(watch);
        ASSERT_TRUE(started) << "round " << round << ": " << (writer.error() ? writer.error()->description.toStdString() : "");
        writer.startSession(MediaTime::zero());
        for (int block = 0; block < 25; ++block)
            ASSERT_TRUE(audio->append(MediaSample::sound(tone(48000, 1, 960, block * 960), MediaTime(block * 960, 48000))));
        audio->markAsFinished();
        ASSERT_TRUE(writer.finishWriting()) << "round " << round;
        ASSERT_EQ(writer.location(), moved + QStringLiteral("/voice.m4a")) << "round " << round;
        EXPECT_NEAR(number(probe(moved + QStringLiteral("/voice.m4a"))[QStringLiteral("format")].toObject(), "duration"), 0.5, 0.03);
    }
}

TEST_F(MovieWriterTest, SoundWithAGapIsPaddedIntoAMonoM4a)
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

    const QJsonObject info = probe(target);
    EXPECT_EQ(info.value(QStringLiteral("format")).toObject().value(QStringLiteral("format_name")).toString(),
        QStringLiteral("mov,mp4,m4a,3gp,3g2,mj2"));
    ASSERT_EQ(streamsOfType(info, QStringLiteral("audio")).size(), 1);
    MovieProbe::expectFields(streamsOfType(info, QStringLiteral("audio")).at(0).toObject(), {{"channels", "1"}, {"sample_rate", "48000"}});
    auto reader = openReader(target);
    MovieReaderOutput* output = reader->addAudioOutput(0, AudioOutputSettings {1000, 1});
    ASSERT_TRUE(reader->startReading());
    std::vector<float> levels;
    for (const auto& block : drain(*output))
        levels.insert(levels.end(), block.audio->samples.begin(), block.audio->samples.end());
    EXPECT_NEAR(static_cast<double>(levels.size()) / 1000, 2.6, 0.03) << "the overlap is cut, the hole kept";
    double hole = 0, sound = 0;
    for (size_t i = 0; i < 300; ++i) {
        hole += std::abs(levels[1100 + i]);
        sound += std::abs(levels[1600 + i]);
    }
    EXPECT_LT(hole / 300, 0.01);
    EXPECT_GT(sound / 300, 0.1);
}

} // namespace

TEST_F(MovieWriterTest, HevcEncoderThreadsKeepTheWritersPriorityAlsoInX265sPool)
{
    // Threads of this process at a lower priority than this one: behind busy programs at normal priority
    // such threads get next to no CPU. x265's pool asks nice() to lower each of its workers.
    auto lowered = [] {
        int count = 0;
        for (const QString& task : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            const QByteArray stat = readText(QStringLiteral("/proc/self/task/%1/stat").arg(task));
            const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
            count += fields.size() > 16 && fields[16].toInt() > getpriority(PRIO_PROCESS, 0) ? 1 : 0;
        }
        return count;
    };
    ASSERT_TRUE(EncoderThreadPriority::poolKeepsPriority()) << "x265's calls to nice() do not reach the program's own";
    for (const bool takeThreading : {true, false}) {
        const int before = lowered();
        MovieWriter writer(path(QStringLiteral("raw-%1.mov").arg(takeThreading)), MovieFileType::quickTimeMovie, MovieWriteMode::capture);
        VideoSettings video;
        video.codec = VideoSettings::Codec::hevc;
        video.width = 320;
        video.height = 180;
        video.preset = "ultrafast";
        video.tune = "zerolatency";
        video.takeThreading = takeThreading;
        MovieWriterInput* input = writer.addVideoInput(video);
        ASSERT_TRUE(input && writer.startWriting());
        writer.startSession(MediaTime::zero());
        auto picture = std::make_shared<PixelBuffer>(320, 180);
        for (int i = 0; i < 10; ++i)
            ASSERT_TRUE(input->append(MediaSample::video(picture, MediaTime(i, 30), MediaTime(1, 30))));
        EXPECT_EQ(lowered() - before, 0) << (takeThreading ? "the take's encoder" : "x265's own threading");
        ASSERT_TRUE(writer.finishWriting());
        EXPECT_EQ(MovieProbe::streams(writer.path(), true).value(QStringLiteral("packets")).toArray().size(), 10);
    }
}
