#include "ShortRawMovie.h"
#include "platform/media/ExportGate.h"
#include "shortexport/ShortExport.h"
#include "shortexport/ShortTake.h"
#include "support/MovieProbe.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <csignal>
#include <future>
#include <sys/resource.h>

#include <qcorotask.h>

namespace {

using ShortExport::ExportError;

class ShortExportTest : public SandboxTest {
protected:
    QString raw(const ShortRawMovie::Recipe& recipe, const QString& name = QStringLiteral("raw.mov"))
    {
        const QString file = path(name);
        ShortRawMovie::write(file, recipe);
        return file;
    }

    // A small short of the raw's centre, so the encoder does not dominate the test.
    ShortExport::Request smallRequest(const QString& rawURL, QSizeF frame)
    {
        return {rawURL, ShortFraming::cropRect(frame, {}), QSizeF(144, 256), 30, std::nullopt};
    }

    QStringList hiddenFiles() const { return QDir(folder->path()).entryList(QDir::Hidden | QDir::Files).filter(QRegularExpression("^\\.")); }

    static std::vector<QImage> pictures(const QString& file, std::vector<double>* times = nullptr)
    {
        std::vector<QImage> frames;
        EXPECT_TRUE(MovieProbe::decodeVideo(file, [&](double seconds, const QImage& picture) {
            frames.push_back(picture.copy());
            if (times)
                times->push_back(seconds);
        }));
        return frames;
    }
};

std::string text(const std::variant<QString, ErrorInfo>& outcome)
{
    return std::holds_alternative<ErrorInfo>(outcome) ? std::get<ErrorInfo>(outcome).description.toStdString() : "";
}

QString written(const std::variant<QString, ErrorInfo>& outcome)
{
    return std::holds_alternative<QString>(outcome) ? std::get<QString>(outcome) : QString();
}

TEST_F(ShortExportTest, FinishingATenSecondTakeWritesItsSidecarAndItsShort)
{
    const QString rawURL = raw({1920, 1080, 30, 10.0, true, true, true});
    ShortTake::Settings shortSettings;
    shortSettings.filePosition = {0.25, 0.5};
    shortSettings.tailTrim = 1.5;
    const ShortTake::Outcome outcome = QCoro::waitFor(ShortTake::finish(folder->path(), rawURL, shortSettings));
    ASSERT_TRUE(std::holds_alternative<ShortTake::Result>(outcome)) << std::get<ErrorInfo>(outcome).description.toStdString();
    const ShortTake::Result result = std::get<ShortTake::Result>(outcome);
    EXPECT_EQ(result.shortURL, path(QStringLiteral("short.mov")));
    EXPECT_EQ(result.crop, QRectF(328, 0, 608, 1080));
    EXPECT_EQ(result.feed, QSizeF(1920, 1080));
    EXPECT_NEAR(result.duration, 8.5, 0.01);

    QFile sidecar(path(QStringLiteral("crop.json")));
    ASSERT_TRUE(sidecar.open(QIODevice::ReadOnly));
    const QJsonObject crop = QJsonDocument::fromJson(sidecar.readAll()).object();
    EXPECT_EQ(crop[QStringLiteral("crop")].toObject()[QStringLiteral("x")].toInt(), 328);
    EXPECT_EQ(crop[QStringLiteral("crop")].toObject()[QStringLiteral("width")].toInt(), 608);
    EXPECT_NEAR(crop[QStringLiteral("durationSeconds")].toDouble(), 8.5, 0.01);
    EXPECT_NEAR(crop[QStringLiteral("rawDurationSeconds")].toDouble(), 10.0, 0.01);
    EXPECT_EQ(crop[QStringLiteral("tailTrimmedSeconds")].toDouble(), 1.5);
    EXPECT_EQ(crop[QStringLiteral("stoppedBy")].toString(), QStringLiteral("remote-button"));
    EXPECT_TRUE(hiddenFiles().isEmpty()) << hiddenFiles().join(',').toStdString();

    const QString shortURL = result.shortURL;
    const QJsonObject probe = MovieProbe::streams(shortURL, true);
    const QJsonArray videos = MovieProbe::streamsOfType(probe, QStringLiteral("video"));
    const QJsonArray sounds = MovieProbe::streamsOfType(probe, QStringLiteral("audio"));
    ASSERT_EQ(videos.size(), 1);
    ASSERT_EQ(sounds.size(), 1);
    const QJsonObject video = videos[0].toObject();
    MovieProbe::expectFields(video, {{"codec_name", "h264"}, {"profile", "High"}, {"width", "1080"}, {"height", "1920"},
                                        {"has_b_frames", "0"}, {"color_primaries", "bt709"}, {"color_transfer", "bt709"},
                                        {"color_space", "bt709"}, {"r_frame_rate", "30/1"}});
    EXPECT_NEAR(MovieProbe::number(video, QStringLiteral("nb_frames")), 255, 1);
    EXPECT_NEAR(MovieProbe::number(video, QStringLiteral("bit_rate")), 16e6, 1.6e6);
    int sinceKey = 0;
    int widestGap = 0;
    for (const QJsonObject& packet : MovieProbe::packetsOf(probe, video[QStringLiteral("index")].toInt())) {
        sinceKey = packet[QStringLiteral("flags")].toString().contains('K') ? 0 : sinceKey + 1;
        widestGap = std::max(widestGap, sinceKey + 1);
    }
    EXPECT_LE(widestGap, 60);
    MovieProbe::expectFields(sounds[0].toObject(), {{"codec_name", "aac"}, {"channels", "1"}, {"sample_rate", "48000"}});

    // Each flash shows within one frame of its tone.
    std::vector<double> times;
    const std::vector<QImage> frames = pictures(shortURL, &times);
    std::vector<double> flashes;
    for (size_t i = 0; i < frames.size(); ++i) {
        if (ShortRawMovie::isFlash(frames[i]) && (flashes.empty() || times[i] - flashes.back() > 0.5))
            flashes.push_back(times[i]);
    }
    MovieProbe::Sound sound;
    ASSERT_TRUE(MovieProbe::decodeAudio(shortURL, 0, sound));
    std::vector<double> tones;
    for (size_t i = 0; i < sound.mono.size(); ++i) {
        const double time = sound.startSeconds + static_cast<double>(i) / sound.sampleRate;
        if (std::abs(sound.mono[i]) > 0.1f && (tones.empty() || time - tones.back() > 0.5))
            tones.push_back(time);
    }
    ASSERT_EQ(flashes.size(), 9u);
    ASSERT_EQ(tones.size(), 9u);
    for (size_t k = 0; k < flashes.size(); ++k) {
        EXPECT_NEAR(flashes[k], static_cast<double>(k), 1.0 / 30 + 1e-6);
        EXPECT_NEAR(flashes[k], tones[k], 1.0 / 30) << k;
    }
}

TEST_F(ShortExportTest, ExportsOnlyTheAskedRangeWithItsSoundAndWaitsForTheGate)
{
    const QString rawURL = raw({192, 108, 30, 20.0, true, true, false});
    ShortExport::Request request = smallRequest(rawURL, {192, 108});
    request.timeRange = ShortExport::Request::TimeRange {MediaTime::zero(), MediaTime::fromSeconds(12.5, 600)};
    const QString to = path(QStringLiteral("short.mov"));
    const auto outcome = ShortExport::exportShort(request, to);
    ASSERT_EQ(written(outcome), to) << text(outcome);
    std::vector<double> times;
    const std::vector<QImage> frames = pictures(to, &times);
    ASSERT_FALSE(frames.empty());
    EXPECT_LE(frames.size(), 375u);
    EXPECT_GE(frames.size(), 374u);
    EXPECT_NEAR(times.front(), 0.0, 1e-3);
    EXPECT_NEAR(times.back(), (static_cast<double>(frames.size()) - 1) / 30, 1e-3);
    EXPECT_EQ(ShortRawMovie::frameNumber(frames[40]), 40);
    MovieProbe::Sound sound;
    ASSERT_TRUE(MovieProbe::decodeAudio(to, 0, sound));
    EXPECT_NEAR(sound.mono.size() / 48000.0, 12.5, 0.05);

    // Without sound the short has pictures only; a raised gate holds that export until it falls.
    const QString silent = raw({192, 108, 30, 1.0, false, true, false}, QStringLiteral("silent.mov"));
    const QString silentShort = path(QStringLiteral("silent-short.mov"));
    ExportGate gate;
    gate.setPaused(true);
    auto running = std::async(std::launch::async, [&] { return ShortExport::exportShort(smallRequest(silent, {192, 108}), silentShort, {&gate, 0.01}); });
    EXPECT_EQ(running.wait_for(std::chrono::milliseconds(500)), std::future_status::timeout);
    EXPECT_FALSE(QFile::exists(silentShort));
    gate.setPaused(false);
    ASSERT_EQ(running.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    ASSERT_EQ(written(running.get()), silentShort);
    EXPECT_EQ(pictures(silentShort).size(), 30u);
    const QJsonObject probe = MovieProbe::streams(silentShort);
    EXPECT_EQ(MovieProbe::streamsOfType(probe, QStringLiteral("video")).size(), 1);
    EXPECT_EQ(MovieProbe::streamsOfType(probe, QStringLiteral("audio")).size(), 0);
}

TEST_F(ShortExportTest, PacesTwentyFourAndSixtyFrameCamerasToThirty)
{
    for (const int rate : {24, 60}) {
        const QString rawURL = raw({192, 108, rate, 1.0, false, true, false, false}, QStringLiteral("raw-%1.mov").arg(rate));
        const QString to = path(QStringLiteral("short-%1.mov").arg(rate));
        ASSERT_EQ(written(ShortExport::exportShort(smallRequest(rawURL, {192, 108}), to)), to);
        std::vector<int> shown;
        for (const QImage& frame : pictures(to))
            shown.push_back(ShortRawMovie::frameNumber(frame));
        ASSERT_EQ(shown.size(), 30u) << rate;
        for (size_t n = 1; n < shown.size(); ++n) {
            const int step = shown[n] - shown[n - 1];
            if (rate == 60) {
                EXPECT_EQ(step, 2) << n; // every other raw frame dropped
            } else {
                EXPECT_TRUE(step == 0 || step == 1) << n; // every raw frame shown, some twice
            }
        }
        if (rate == 24) {
            EXPECT_EQ(shown.back(), 23);
        }
    }
}

TEST_F(ShortExportTest, AShortThatHoldsLessThanTheTakeIsKeptAndSaysSo)
{
    // The camera stopped after 1 s while the microphone ran on to 3 s: the short has the first second.
    ShortRawMovie::Recipe recipe {192, 108, 30, 3.0, true, true, false};
    recipe.pictureSeconds = 1.0;
    const QString rawURL = raw(recipe);
    const ShortTake::Outcome outcome = QCoro::waitFor(ShortTake::finish(folder->path(), rawURL, ShortTake::Settings {}));
    ASSERT_TRUE(std::holds_alternative<ShortTake::Result>(outcome)) << std::get<ErrorInfo>(outcome).description.toStdString();
    const ShortTake::Result& result = std::get<ShortTake::Result>(outcome);
    EXPECT_TRUE(QFile::exists(result.shortURL));
    EXPECT_EQ(result.note, QStringLiteral("Finished the first 0:01 of 0:03 — the rest of raw.mov could not be read"));

    const QString whole = raw({192, 108, 30, 2.0, true, true, false});
    const ShortTake::Outcome full = QCoro::waitFor(ShortTake::finish(folder->path(), whole, ShortTake::Settings {}));
    ASSERT_TRUE(std::holds_alternative<ShortTake::Result>(full));
    EXPECT_EQ(std::get<ShortTake::Result>(full).note, std::nullopt) << "a whole short says nothing more";
}

TEST_F(ShortExportTest, AnExportWhosePictureHalfStopsEarlyKeepsAShorterShortWithAllItsSound)
{
    // The camera's picture shrank a second into the take: the crop no longer fits the pictures after it.
    const QString rawURL = path(QStringLiteral("raw.mov"));
    ASSERT_TRUE(ShortRawMovie::writeResized(rawURL, {192, 108}, 1.0, {96, 54}, 3.0));
    const ShortTake::Outcome outcome = QCoro::waitFor(ShortTake::finish(folder->path(), rawURL, ShortTake::Settings {}));
    ASSERT_TRUE(std::holds_alternative<ShortTake::Result>(outcome)) << std::get<ErrorInfo>(outcome).description.toStdString();
    const ShortTake::Result& result = std::get<ShortTake::Result>(outcome);
    EXPECT_EQ(result.feed, QSizeF(192, 108));
    EXPECT_EQ(pictures(result.shortURL).size(), 30u);
    MovieProbe::Sound sound;
    ASSERT_TRUE(MovieProbe::decodeAudio(result.shortURL, 0, sound));
    EXPECT_NEAR(sound.mono.size() / 48000.0, 3.0, 0.05) << "the sound half runs on to its end";
    EXPECT_EQ(result.note, QStringLiteral("Finished the first 0:01 of 0:03 — the rest of raw.mov could not be read"));
    EXPECT_TRUE(readLog().contains(QStringLiteral("short export: pictures stopped after 30 frames: a raw picture of ")));
    EXPECT_TRUE(hiddenFiles().isEmpty()) << hiddenFiles().join(',').toStdString();
}

TEST_F(ShortExportTest, AnExportWhoseSoundHalfEndsFirstKeepsEveryPictureAndSaysWhereTheSoundStops)
{
    // The microphone gave out a second into the take while the camera filmed on.
    ShortRawMovie::Recipe recipe {192, 108, 30, 3.0, true, true, false};
    recipe.soundSeconds = 1.0;
    const QString rawURL = raw(recipe);
    const ShortTake::Outcome outcome = QCoro::waitFor(ShortTake::finish(folder->path(), rawURL, ShortTake::Settings {}));
    ASSERT_TRUE(std::holds_alternative<ShortTake::Result>(outcome)) << std::get<ErrorInfo>(outcome).description.toStdString();
    const ShortTake::Result& result = std::get<ShortTake::Result>(outcome);
    EXPECT_EQ(pictures(result.shortURL).size(), 90u);
    MovieProbe::Sound sound;
    ASSERT_TRUE(MovieProbe::decodeAudio(result.shortURL, 0, sound));
    EXPECT_NEAR(sound.mono.size() / 48000.0, 1.0, 0.05);
    // Every picture is there: only the sound is said to stop.
    EXPECT_EQ(result.note, QStringLiteral("The sound stops at 0:01 of 0:03 — the rest of the sound in raw.mov was lost"));
    EXPECT_FALSE(readLog().contains(QStringLiteral("pictures stopped")));
}

TEST_F(ShortExportTest, ACropThatCannotBeCutRecordsItAndLeavesAnEarlierShortAsItWas)
{
    const QString rawURL = raw({192, 108, 30, 1.0, true, true, false});
    QFile earlier(path(QStringLiteral("short.mov")));
    ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
    earlier.write("an earlier short");
    earlier.close();
    const ShortTake::Outcome outcome = ShortTake::finishMeasured(folder->path(), rawURL, QSizeF(1, 1), ShortTake::Settings {});
    ASSERT_TRUE(std::holds_alternative<ErrorInfo>(outcome));
    EXPECT_EQ(std::get<ErrorInfo>(outcome).description, QStringLiteral("The 9:16 crop does not fit inside the recorded frame."));
    EXPECT_TRUE(QFile::exists(path(QStringLiteral("crop.json"))));
    ASSERT_TRUE(earlier.open(QIODevice::ReadOnly));
    EXPECT_EQ(earlier.readAll(), QByteArray("an earlier short"));
    EXPECT_TRUE(hiddenFiles().isEmpty()) << hiddenFiles().join(',').toStdString();
}

TEST_F(ShortExportTest, AnUnusableCropStillLeavesItsSidecarWithTheZeroCrop)
{
    const QString rawURL = raw({192, 108, 30, 1.0, true, true, false});
    const ShortTake::Outcome outcome = ShortTake::finishMeasured(folder->path(), rawURL, QSizeF(1, 1), ShortTake::Settings {});
    ASSERT_TRUE(std::holds_alternative<ErrorInfo>(outcome));
    EXPECT_EQ(std::get<ErrorInfo>(outcome).description, QStringLiteral("The 9:16 crop does not fit inside the recorded frame."));
    QFile sidecar(path(QStringLiteral("crop.json")));
    ASSERT_TRUE(sidecar.open(QIODevice::ReadOnly)) << "the sidecar is written before the export refuses";
    const QJsonObject json = QJsonDocument::fromJson(sidecar.readAll()).object();
    const QJsonObject crop = json[QStringLiteral("crop")].toObject();
    for (const char* key : {"x", "y", "width", "height"}) {
        ASSERT_TRUE(crop.contains(QLatin1String(key))) << key;
        EXPECT_EQ(crop[QLatin1String(key)].toInt(-1), 0) << key;
    }
    EXPECT_EQ(json[QStringLiteral("feed")].toObject()[QStringLiteral("width")].toInt(), 1);
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("short.mov"))));
}

TEST_F(ShortExportTest, ARawWithoutVideoIsRefusedByBothEntryPoints)
{
    const QString rawURL = raw({192, 108, 30, 1.0, true, false, false});
    const ErrorInfo noVideo = ExportError {ExportError::Kind::noVideoTrack, {}}.info();
    const auto size = ShortExport::frameSize(rawURL);
    ASSERT_TRUE(std::holds_alternative<ErrorInfo>(size));
    EXPECT_EQ(std::get<ErrorInfo>(size).description, QStringLiteral("The raw recording has no video track."));
    EXPECT_EQ(text(ShortExport::exportShort(smallRequest(rawURL, {192, 108}), path(QStringLiteral("short.mov")))), noVideo.description.toStdString());
    const auto finished = QCoro::waitFor(ShortTake::finish(folder->path(), rawURL, ShortTake::Settings {}));
    ASSERT_TRUE(std::holds_alternative<ErrorInfo>(finished));
    EXPECT_EQ(std::get<ErrorInfo>(finished).domain, noVideo.domain);
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("crop.json"))));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("short.mov"))));
}

TEST_F(ShortExportTest, ACropOutsideTheFrameIsRefusedAndAFailedWriteKeepsTheEarlierShort)
{
    const QSizeF frame(192, 108);
    const std::vector<std::pair<QRectF, bool>> crops {
        {QRectF(10, 10, 1.5, 1), false}, {QRectF(0, 0, 192, 108), true}, {QRectF(-0.5, 0, 60, 108), false},
        {QRectF(132.5, 0, 59.5, 108), true}, {QRectF(133, 0, 60, 108), false}, {QRectF(0, 0, 0, 0), false},
    };
    for (const auto& [crop, fits] : crops)
        EXPECT_EQ(std::holds_alternative<QRect>(ShortExport::checkCrop(crop, frame)), fits) << crop.x() << "," << crop.width();

    const QString rawURL = raw({192, 108, 30, 2.0, true, true, true});
    const QString to = path(QStringLiteral("short.mov"));
    QFile earlier(to);
    ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
    earlier.write("an earlier short");
    earlier.close();

    ShortExport::Request bad = smallRequest(rawURL, frame);
    bad.crop = QRectF(-0.5, 0, 60, 108);
    EXPECT_EQ(text(ShortExport::exportShort(bad, to)), "The 9:16 crop does not fit inside the recorded frame.");
    ShortExport::Request still = smallRequest(rawURL, frame);
    still.frameRate = 0;
    EXPECT_EQ(text(ShortExport::exportShort(still, to)), "Short export failed: the frame rate 0 is not above 0");

    // A full disk, as far as this process can tell: the short's first megabyte does not fit.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous {};
    getrlimit(RLIMIT_FSIZE, &previous);
    rlimit small = previous;
    small.rlim_cur = 64 * 1024;
    setrlimit(RLIMIT_FSIZE, &small);
    ShortExport::Request large = smallRequest(rawURL, frame);
    large.outputSize = QSizeF(540, 960);
    const auto outcome = ShortExport::exportShort(large, to);
    setrlimit(RLIMIT_FSIZE, &previous);
    ASSERT_TRUE(std::holds_alternative<ErrorInfo>(outcome));
    EXPECT_TRUE(std::get<ErrorInfo>(outcome).description.startsWith(QStringLiteral("Short export failed: "))) << text(outcome);
    ASSERT_TRUE(earlier.open(QIODevice::ReadOnly));
    EXPECT_EQ(earlier.readAll(), QByteArray("an earlier short"));
    EXPECT_TRUE(hiddenFiles().isEmpty()) << hiddenFiles().join(',').toStdString();
}

TEST_F(ShortExportTest, AnExportHeldForATakeWhenTheStudioQuitsEndsAtOnceAndKeepsTheEarlierShort)
{
    const QString rawURL = raw({192, 108, 30, 2.0, true, true, false});
    const QString to = path(QStringLiteral("short.mov"));
    QFile earlier(to);
    ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
    earlier.write("an earlier short");
    earlier.close();
    ExportGate gate;
    gate.setPaused(true);
    auto running = std::async(std::launch::async, [&] { return ShortExport::exportShort(smallRequest(rawURL, {192, 108}), to, {&gate, 0.01}); });
    ASSERT_EQ(running.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout) << "held while the take films";

    gate.abandon();
    EXPECT_FALSE(gate.isPaused()) << "nothing waits for the take once the studio quits";
    ASSERT_EQ(running.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_EQ(text(running.get()), "Short export failed: the studio quit before the short was finished");
    ASSERT_TRUE(earlier.open(QIODevice::ReadOnly));
    EXPECT_EQ(earlier.readAll(), QByteArray("an earlier short"));
    EXPECT_TRUE(hiddenFiles().isEmpty()) << hiddenFiles().join(',').toStdString();
}

} // namespace
