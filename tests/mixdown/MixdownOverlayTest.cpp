#include "finishing/Mixdown.h"
#include "finishing/MixdownFrameScheduler.h"
#include "platform/media/ExportGate.h"
#include "platform/media/MovieAsset.h"
#include "support/FakeOverlayRenderer.h"
#include "support/SyntheticTake.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>

#include <atomic>
#include <future>
#include <thread>

#include <gtest/gtest.h>

namespace {

using Record = FakeOverlayRenderer::Record;

class MixdownOverlayTest : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        raw = path(QStringLiteral("raw.mov"));
        camera = path(QStringLiteral("face.mov"));
        phone = path(QStringLiteral("iphone.mov"));
        final = path(QStringLiteral("final.mov"));
    }

    Mixdown::Request studioRequest() const
    {
        Mixdown::Request request;
        request.rawURL = raw;
        request.cameraURL = camera;
        request.phoneURL = phone;
        request.layout = ScreenLayout::studio;
        request.outputSize = QSizeF(640, 360);
        request.bubbleRect = QRectF(440, 20, 160, 120); // render space: bottom-right corner
        request.phoneRect = QRectF(20, 100, 60, 120);
        request.clicks = {{0.4, 0.5, 0.5}, {1.2, 0.2, 0.8}};
        request.showClickHighlight = true;
        request.frameRate = 30;
        return request;
    }

    std::optional<Mixdown::MixdownError> compose(const Mixdown::Request& request, std::shared_ptr<Record> record,
        const Mixdown::Progress& progress = {}, Mixdown::Options options = {})
    {
        if (!options.gate)
            options.gate = &gate;
        return Mixdown::composeWithOverlays(request, final, progress, FakeOverlayRenderer::factory(std::move(record)), options);
    }

    static MovieAsset assetOf(const QString& file)
    {
        auto opened = MovieAsset::open(file);
        return std::holds_alternative<MovieAsset>(opened) ? std::get<MovieAsset>(opened) : MovieAsset {};
    }
    QStringList leftovers() const { return QDir(folder->path()).entryList({QStringLiteral(".mixdown-*")}, QDir::Files | QDir::Hidden); }

    ExportGate gate; // each test its own, so a raised shared gate elsewhere cannot stall these
    QString raw, camera, phone, final;
};

TEST_F(MixdownOverlayTest, StudioExportWritesTheFinishingFormatWithEveryOverlayInPlace)
{
    SyntheticTake::ScreenRecipe screen;
    screen.seconds = 3.0;
    SyntheticTake::writeScreen(raw, screen);
    SyntheticTake::writeOverlay(camera, {}); // 0.5 s … 2.0 s, opening with an empty edit
    SyntheticTake::OverlayRecipe iphone;
    iphone.start = 0;
    iphone.end = 1.5;
    iphone.portrait = true;
    SyntheticTake::writeOverlay(phone, iphone);
    auto record = std::make_shared<Record>();
    const auto failure = compose(studioRequest(), record);
    ASSERT_FALSE(failure) << failure->description().toStdString();
    EXPECT_TRUE(leftovers().isEmpty());

    // What the compositor was set up with.
    EXPECT_EQ(record->renderSize, QSize(640, 360));
    EXPECT_TRUE(record->hasCamera);
    EXPECT_TRUE(record->hasPhone);
    EXPECT_EQ(record->clicks, 2u);

    // Format: H.264 High without B-frames at the asked size, 5 bits per pixel, a key frame every 2 s.
    const MovieAsset asset = assetOf(final);
    const MovieTrack* video = asset.firstTrack(MovieTrack::MediaType::video);
    ASSERT_NE(video, nullptr);
    EXPECT_EQ(video->codecName, "h264");
    EXPECT_EQ(video->profileName, "High");
    EXPECT_EQ(SyntheticTake::probeField(final, QStringLiteral("video"), QStringLiteral("has_b_frames")), QStringLiteral("0"));
    EXPECT_EQ(video->width, 640);
    EXPECT_EQ(video->height, 360);
    const auto packets = SyntheticTake::packets(final, video->index);
    const MediaTime rawDuration = assetOf(raw).duration();
    EXPECT_EQ(static_cast<int64_t>(packets.size()), Mixdown::FrameScheduler::frameCount(rawDuration, 30));
    EXPECT_NEAR(static_cast<double>(packets.size()), rawDuration.seconds() * 30, 1.0);
    int sinceKey = 0;
    size_t bytes = 0;
    for (size_t i = 0; i < packets.size(); ++i) {
        sinceKey = packets[i].keyFrame ? 0 : sinceKey + 1;
        EXPECT_LT(sinceKey, 60) << "packet " << i;
        EXPECT_EQ(packets[i].pts, packets[i].dts) << "frames leave in presentation order";
        if (i > 0) {
            EXPECT_EQ(packets[i].pts - packets[i - 1].pts, MediaTime(1, 30));
        }
        bytes += packets[i].bytes.size();
    }
    const double bitRate = static_cast<double>(bytes) * 8 / (static_cast<double>(packets.size()) / 30);
    EXPECT_NEAR(bitRate, 640 * 360 * 5.0, 640 * 360 * 0.5) << "within 10 %";

    // Sound: one stereo AAC track, the microphone's beep still at 1.0 s.
    ASSERT_EQ(asset.tracks(MovieTrack::MediaType::audio).size(), 1u);
    EXPECT_EQ(asset.firstTrack(MovieTrack::MediaType::audio)->channels, 2);
    EXPECT_EQ(asset.firstTrack(MovieTrack::MediaType::audio)->codecName, "aac");
    double soundStart = 0;
    const auto sound = SyntheticTake::sound(final, &soundStart);
    EXPECT_NEAR(SyntheticTake::firstLoudTime(sound, soundStart, 0.3f), 1.0, 1.0 / 30);

    // Camera placement: the picture 0.2 s into the late camera held from 0, live frames after, gone at its end.
    ASSERT_EQ(record->frames.size(), packets.size());
    for (const auto& seen : record->frames) {
        const double t = seen.time.seconds();
        EXPECT_TRUE(seen.screen);
        if (t < 0.7) {
            EXPECT_EQ(seen.cameraPicture, 6) << "held at " << t;
        } else if (t < 2.0) {
            EXPECT_EQ(seen.cameraPicture, std::lround((t - 0.5) * 30)) << "live at " << t;
        } else {
            EXPECT_EQ(seen.cameraPicture, -1) << "ended at " << t;
        }
        EXPECT_EQ(seen.phone, t < 1.5) << t;
    }

    // The camera card where the geometry says: bubble (440, 20, 160, 120) bottom-left = rows 220…339 from the top.
    const auto pictures = SyntheticTake::pictures(final);
    ASSERT_GT(pictures.size(), 45u);
    const PixelBuffer& atOneAndAHalf = *pictures[45].pixels;
    EXPECT_NEAR(SyntheticTake::pictureNumber(atOneAndAHalf, 520, 280), 30, 1);
    EXPECT_EQ(SyntheticTake::pictureNumber(atOneAndAHalf, 520, 200), -1) << "above the card";
    EXPECT_EQ(SyntheticTake::pictureNumber(atOneAndAHalf, 420, 280), -1) << "left of the card";
    EXPECT_NEAR(SyntheticTake::pictureNumber(*pictures[0].pixels, 520, 280), 6, 1);
    EXPECT_EQ(SyntheticTake::pictureNumber(*pictures.back().pixels, 520, 280), -1);
}

TEST_F(MixdownOverlayTest, RenderSizeFollowsTheLook)
{
    SyntheticTake::writeScreen(raw, {});
    struct Case {
        const char* name;
        ScreenLayout layout;
        std::optional<QSizeF> outputSize;
        QSize expected;
    };
    const Case cases[] = {
        {"classic with an output size keeps the screen's size", ScreenLayout::classic, QSizeF(640, 360), QSize(320, 180)},
        {"studio without an output size uses the screen's", ScreenLayout::studio, std::nullopt, QSize(320, 180)},
        {"studio with an output size uses it", ScreenLayout::studio, QSizeF(480, 270), QSize(480, 270)},
    };
    for (const Case& c : cases) {
        Mixdown::Request request;
        request.rawURL = raw;
        request.layout = c.layout;
        request.outputSize = c.outputSize;
        request.pointer = PointerPath {}; // something to draw, so the classic look is rendered too
        request.clicks = {{0.5, 0.5, 0.5}};
        request.showClickHighlight = false;
        request.frameRate = 30;
        auto record = std::make_shared<Record>();
        ASSERT_FALSE(compose(request, record)) << c.name;
        EXPECT_EQ(record->renderSize, c.expected) << c.name;
        EXPECT_EQ(record->clicks, 0u) << "highlight off: no clicks for the compositor";
        // The track lives in its asset: keep the asset for as long as the track is read.
        const MovieAsset finalAsset = assetOf(final);
        const MovieTrack* video = finalAsset.firstTrack(MovieTrack::MediaType::video);
        ASSERT_NE(video, nullptr);
        EXPECT_EQ(QSize(video->width, video->height), c.expected) << c.name;
    }
    EXPECT_EQ(Mixdown::finishingVideoSettings(QSize(1280, 720), 30).averageBitRate, 4'608'000);
    EXPECT_EQ(Mixdown::finishingVideoSettings(QSize(1920, 1080), 60).averageBitRate, 10'368'000);
    EXPECT_EQ(Mixdown::finishingVideoSettings(QSize(1920, 1080), 30).maxKeyFrameInterval, 60);
    EXPECT_FALSE(Mixdown::finishingVideoSettings(QSize(1920, 1080), 30).allowFrameReordering);
}

TEST_F(MixdownOverlayTest, ExportRangeStartsTheFileAtItsStartAndKeepsTheTakeTimeline)
{
    SyntheticTake::writeScreen(raw, {});
    SyntheticTake::writeOverlay(camera, {});
    Mixdown::Request request = studioRequest();
    request.phoneURL.reset();
    request.exportRange = Mixdown::Request::TimeRange {MediaTime(1, 2), MediaTime(10, 1)}; // runs past the end: cut
    auto record = std::make_shared<Record>();
    std::vector<double> reports;
    ASSERT_FALSE(compose(request, record, [&](double p) { reports.push_back(p); }));

    ASSERT_FALSE(record->frames.empty());
    EXPECT_EQ(record->frames.front().time, MediaTime(1, 2));
    EXPECT_EQ(record->frames.front().cameraPicture, 6) << "the held frame is still due at 0.5 s";
    const MediaTime rawDuration = assetOf(raw).duration();
    EXPECT_EQ(static_cast<int64_t>(record->frames.size()), Mixdown::FrameScheduler::frameCount(rawDuration - MediaTime(1, 2), 30));
    EXPECT_DOUBLE_EQ(reports.front(), 0.0);
    EXPECT_DOUBLE_EQ(reports.back(), 1.0);

    double soundStart = 0;
    const auto sound = SyntheticTake::sound(final, &soundStart);
    EXPECT_NEAR(SyntheticTake::firstLoudTime(sound, soundStart, 0.3f), 0.5, 1.0 / 30) << "the beep at take time 1.0 s";
    const auto packets = SyntheticTake::packets(final, 0);
    ASSERT_FALSE(packets.empty());
    EXPECT_EQ(packets.front().pts, MediaTime::zero());
}

TEST_F(MixdownOverlayTest, ScreenStartingJustAfterZeroIsHeldFromZeroAndMissingOverlaysAreLeftOut)
{
    SyntheticTake::ScreenRecipe screen;
    screen.firstFrame = 0.05;
    SyntheticTake::writeScreen(raw, screen);
    Mixdown::Request request = studioRequest(); // neither overlay file exists
    auto record = std::make_shared<Record>();
    const auto failure = compose(request, record);
    ASSERT_FALSE(failure) << failure->description().toStdString();
    EXPECT_FALSE(record->hasCamera);
    EXPECT_FALSE(record->hasPhone);
    ASSERT_FALSE(record->frames.empty());
    EXPECT_EQ(record->frames.front().time, MediaTime::zero());
    EXPECT_TRUE(record->frames.front().screen) << "the first screen frame is held from 0";
}

TEST_F(MixdownOverlayTest, ScreenTrackWithoutAnyPictureFailsAsMissingScreenFrame)
{
    SyntheticTake::ScreenRecipe recipe;
    recipe.pictures = false;
    SyntheticTake::writeScreen(raw, recipe);
    auto record = std::make_shared<Record>();
    const auto failure = compose(studioRequest(), record);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->description(), QStringLiteral("Mixdown failed: A screen frame was missing during export."));
    EXPECT_FALSE(QFile::exists(final));
    EXPECT_TRUE(leftovers().isEmpty());
}

TEST_F(MixdownOverlayTest, AFailedFrameKeepsTheOldFinalAndLeavesNoSibling)
{
    SyntheticTake::writeScreen(raw, {});
    QFile old(final);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("a good final");
    old.close();
    auto record = std::make_shared<Record>();
    record->failAtFrame = 10;
    const auto failure = compose(studioRequest(), record);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->description(), QStringLiteral("Mixdown failed: Could not allocate a frame to render into."));
    QFile kept(final);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("a good final"));
    EXPECT_TRUE(leftovers().isEmpty());
}

TEST_F(MixdownOverlayTest, AQuitWhileAFrameIsStillBeingDrawnGivesTheFileUpWithoutWaitingForTheDrawing)
{
    // Without sound, so nothing but the held frame keeps the writer waiting.
    SyntheticTake::ScreenRecipe screen;
    screen.seconds = 3.0;
    screen.audioTracks = 0;
    SyntheticTake::writeScreen(raw, screen);
    QFile old(final);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("a good final");
    old.close();
    // Frame 20 is held the way a first frame's bake holds its renderer, until the test lets it go.
    std::promise<void> drawing;
    std::promise<void> released;
    std::shared_future<void> letGo = released.get_future().share();
    auto record = std::make_shared<Record>();
    record->beforeFrame = [&drawing, letGo](int64_t index) {
        if (index != 20)
            return;
        drawing.set_value();
        letGo.wait();
    };
    std::optional<Mixdown::MixdownError> failure;
    std::atomic<double> progress {0};
    std::thread exporting([&] { failure = compose(studioRequest(), record, [&progress](double fraction) { progress = fraction; }); });
    drawing.get_future().wait();
    ASSERT_FALSE(leftovers().isEmpty()) << "the render is writing its hidden sibling";
    // Frame 19 (0.21 of the movie) is written, so the encoder now waits for frame 20.
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return progress >= 0.21; }, 10000));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));

    gate.abandon();
    // The sibling goes while the frame is still being drawn: a quitting studio need not wait for it.
    EXPECT_TRUE(TestEnvironment::waitUntil([&] { return leftovers().isEmpty(); }, 5000));
    released.set_value();
    exporting.join();
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->description(), QStringLiteral("Mixdown failed: the studio quit before the movie was finished"));
    QFile kept(final);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("a good final"));
    EXPECT_TRUE(leftovers().isEmpty());
}

TEST_F(MixdownOverlayTest, SoundThatCannotBeDecodedFailsTheJobInsteadOfASilentFinal)
{
    SyntheticTake::writeScreen(raw, {});
    // Make the system-sound track's codec unknown: rename its sample entry and clear the decoder type in its esds.
    QFile file(raw);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    const qsizetype secondTable = bytes.indexOf("stsd", bytes.indexOf("stsd") + 4);
    ASSERT_GT(secondTable, 0);
    bytes.replace(secondTable + 16, 4, "zzzz");
    const qsizetype objectType = bytes.indexOf(QByteArray("\x40\x15", 2), bytes.indexOf("esds", secondTable));
    ASSERT_GT(objectType, 0);
    bytes[objectType] = '\xff';
    file.seek(0);
    file.write(bytes);
    file.close();

    for (bool overlays : {false, true}) {
        Mixdown::Request request = studioRequest();
        const auto failure = overlays ? compose(request, std::make_shared<Record>()) : Mixdown::composePassthrough(raw, final, {});
        ASSERT_TRUE(failure) << (overlays ? "overlay export" : "copy");
        EXPECT_EQ(failure->description(), QStringLiteral("Could not read the raw recording: audio track rejected"));
        EXPECT_FALSE(QFile::exists(final));
    }
}

} // namespace
