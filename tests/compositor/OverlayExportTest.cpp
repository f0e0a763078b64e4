#include "CompositorFixture.h"

#include "compositing/FestrinCompositorRenderer.h"
#include "compositing/StudioGeometry.h"
#include "finishing/Mixdown.h"
#include "platform/media/MovieReader.h"
#include "platform/media/MovieWriter.h"
#include "platform/media/PlanarPictureConverter.h"
#include "platform/system/ProcessMemory.h"
#include "support/TestEnvironment.h"

#include <cmath>

using namespace CompositorTesting;

namespace {

constexpr int fps = 30;

// A flat one-second movie: the screen recording or a camera recording.
void writeFlatMovie(const QString& path, int w, int h, const Pixel& color)
{
    MovieWriter writer(path, MovieFileType::quickTimeMovie, MovieWriteMode::finishing);
    VideoSettings settings;
    settings.width = w;
    settings.height = h;
    settings.averageBitRate = 1'000'000;
    settings.expectedFrameRate = fps;
    settings.preset = "ultrafast";
    MovieWriterInput* video = writer.addVideoInput(settings);
    ASSERT_NE(video, nullptr);
    ASSERT_TRUE(writer.startWriting());
    writer.startSession(MediaTime::zero());
    const auto picture = solid(w, h, color);
    for (int f = 0; f < fps; ++f)
        ASSERT_TRUE(video->append(MediaSample::video(picture, MediaTime(f, fps), MediaTime(1, fps))));
    ASSERT_TRUE(writer.finishWriting());
}

// The finished movie's frame count and its middle picture, decoded by the studio's own reader (which
// honours the colour tags the writer sets).
struct Probe {
    std::shared_ptr<const PixelBuffer> picture;
    int frames = 0;
    Pixel at(double x, double y) const { return CompositorTesting::at(*picture, x, y); }
};

Probe probe(const QString& path)
{
    Probe result;
    auto opened = MovieReader::open(path);
    EXPECT_TRUE(std::holds_alternative<std::unique_ptr<MovieReader>>(opened));
    if (!std::holds_alternative<std::unique_ptr<MovieReader>>(opened))
        return result;
    MovieReader& reader = *std::get<std::unique_ptr<MovieReader>>(opened);
    MovieReaderOutput* output = reader.addVideoOutput(0);
    EXPECT_NE(output, nullptr);
    if (!output || !reader.startReading())
        return result;
    while (const std::optional<MediaSample> sample = output->copyNextSample()) {
        ++result.frames;
        if (std::abs(sample->presentationTime().seconds() - 0.5) < 0.5 / fps)
            result.picture = sample->pixels;
    }
    return result;
}

class OverlayExportTest : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        writeFlatMovie(path(QStringLiteral("raw.mov")), width, height, screenColor);
        writeFlatMovie(path(QStringLiteral("camera.mov")), 320, 180, cameraColor);
        request.rawURL = path(QStringLiteral("raw.mov"));
        request.cameraURL = path(QStringLiteral("camera.mov"));
        request.frameRate = fps;
    }

    Probe exported(const QString& name)
    {
        const QString target = path(name);
        const auto error = Mixdown::composeWithOverlays(request, target, {}, FestrinCompositorRenderer::factory());
        EXPECT_FALSE(error.has_value()) << (error ? error->description().toStdString() : std::string());
        return probe(target);
    }

    Mixdown::Request request;
};

} // namespace

TEST_F(OverlayExportTest, StudioExportShowsTheCameraCardWhereTheGeometrySays)
{
    request.layout = ScreenLayout::studio;
    request.faceLayout = FaceLayout::bottomRight;
    request.background = StudioBackground::linen;
    const Probe out = exported(QStringLiteral("final.mov"));
    EXPECT_EQ(out.frames, fps);
    ASSERT_TRUE(out.picture);
    ASSERT_EQ(QSize(out.picture->width(), out.picture->height()), QSize(width, height));
    const StudioGeometry geometry(QSizeF(width, height), 16.0 / 9.0, FaceLayout::bottomRight, StudioBackground::linen);
    const QRectF card = geometry.cardRect;
    const QPointF c(card.x() + card.width() / 2, card.y() + card.height() / 2);
    EXPECT_TRUE(out.at(c.x(), c.y()).near(cameraColor, 12)) << out.at(c.x(), c.y());
    const QRectF window = geometry.windowRect;
    EXPECT_TRUE(out.at(window.x() + window.width() / 2, window.y() + window.height() / 2).near(screenColor, 12));
    // Flipped, the card's middle lands on the window or the room: no camera there.
    EXPECT_FALSE(out.at(c.x(), height - c.y()).near(cameraColor, 60));
}

TEST(FestrinCompositorRendererTest, ReportsAMissingScreenAndIgnoresTracksTheExportDoesNotHave)
{
    Mixdown::Request request;
    request.bubbleRect = QRectF(300, 100, 120, 120);
    const OverlayFrameRenderer::Setup setup{request, QSize(width, height), QSize(width, height), false, false, {}};
    FestrinCompositorRenderer renderer(setup);
    EXPECT_EQ(renderer.instruction().requiredSourceTrackIDs(), std::vector<int32_t>{1});
    PixelBuffer out(width, height);
    OverlayFrameRenderer::Frame frame;
    const std::optional<ErrorInfo> missing = renderer.render(frame, out);
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->description, QStringLiteral("A screen frame was missing during export."));

    frame.screen = solid(width, height, screenColor);
    frame.camera = solid(64, 64, cameraColor);
    EXPECT_FALSE(renderer.render(frame, out));
    EXPECT_TRUE(at(out, 360, 160).near(screenColor, 0));
}

TEST(FestrinCompositorRendererTest, AScreenDecodedAsPlanesIsDrawnWithoutBgraAndRepeatsWhenMissing)
{
    Mixdown::Request request;
    request.layout = ScreenLayout::studio;
    request.faceLayout = FaceLayout::tallLeft;
    request.background = StudioBackground::linen;
    FestrinCompositorRenderer renderer({request, QSize(width, height), QSize(width, height), false, false, {}});
    ASSERT_TRUE(renderer.drawsPlanar());
    PlanarPictureConverter decoder(width, height);
    auto decoded = decoder.convert(*solid(width, height, screenColor));
    ASSERT_TRUE(std::holds_alternative<std::shared_ptr<const PlanarPicture>>(decoded));
    OverlayFrameRenderer::Frame frame;
    frame.screenPlanes = std::get<0>(decoded);
    frame.time = MediaTime(1, 2);
    const StudioGeometry geometry(QSizeF(width, height), 16.0 / 9.0, FaceLayout::tallLeft, StudioBackground::linen);
    const int row = height - 1 - static_cast<int>(geometry.windowRect.y() + geometry.windowRect.height() / 2);
    const int column = static_cast<int>(geometry.windowRect.x() + geometry.windowRect.width() / 2);
    const uint8_t screenLuma = frame.screenPlanes->plane(0)[row * frame.screenPlanes->stride(0) + column];
    for (int repeat = 0; repeat < 2; ++repeat) {
        PlanarImage planes(width, height);
        ASSERT_FALSE(renderer.renderPlanar(frame, planes.canvas()));
        EXPECT_EQ(planes.planes[0].at<uint8_t>(row, column), screenLuma) << repeat;
        // A frame without a screen picture shows the last one.
        frame.screenPlanes.reset();
    }
    // Drawn in BGRA (a preview), the planes are converted at the edge.
    frame.screenPlanes = std::get<0>(decoded);
    PixelBuffer bgra(width, height);
    ASSERT_FALSE(renderer.render(frame, bgra));
    EXPECT_NEAR(at(bgra, geometry.windowRect.center().x(), geometry.windowRect.center().y()).red, screenColor.red, 2);
}

TEST(FestrinCompositorRendererTest, TheStudioLookWithoutAPhoneDrawsIntoTheEncodersPlanes)
{
    Mixdown::Request request;
    request.layout = ScreenLayout::studio;
    request.faceLayout = FaceLayout::bottomRight;
    request.background = StudioBackground::clay;
    const OverlayFrameRenderer::Setup setup {request, QSize(width, height), QSize(width, height), true, false, {}};
    FestrinCompositorRenderer renderer(setup);
    ASSERT_TRUE(renderer.drawsPlanar());
    // A phone overlay or the classic look keeps the BGRA way.
    EXPECT_FALSE(FestrinCompositorRenderer({request, QSize(width, height), QSize(width, height), true, true, {}}).drawsPlanar());
    Mixdown::Request classic = request;
    classic.layout = ScreenLayout::classic;
    EXPECT_FALSE(FestrinCompositorRenderer({classic, QSize(width, height), QSize(width, height), true, false, {}}).drawsPlanar());

    PlanarImage planes(width, height);
    OverlayFrameRenderer::Frame frame;
    const std::optional<ErrorInfo> missing = renderer.renderPlanar(frame, planes.canvas());
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->description, QStringLiteral("A screen frame was missing during export."));

    frame.screen = solid(width, height, screenColor);
    frame.camera = solid(320, 180, cameraColor);
    frame.time = MediaTime(1, 2);
    ASSERT_FALSE(renderer.renderPlanar(frame, planes.canvas()));
    PixelBuffer bgra(width, height);
    ASSERT_FALSE(renderer.render(frame, bgra));
    // The window's and the card's middles, in the encoder's colour (BT.709 limited range) of what the BGRA way draws.
    const StudioGeometry geometry(QSizeF(width, height), 16.0 / 9.0, FaceLayout::bottomRight, StudioBackground::clay);
    const auto luma = [](const Pixel& p) { return 16 + 219.0 / 255 * (0.2126 * p.red + 0.7152 * p.green + 0.0722 * p.blue); };
    for (const QRectF& rect : {geometry.windowRect, geometry.cardRect}) {
        const double x = rect.x() + rect.width() / 2, y = rect.y() + rect.height() / 2;
        const int row = height - 1 - static_cast<int>(y);
        EXPECT_NEAR(planes.planes[0].at<uint8_t>(row, static_cast<int>(x)), luma(at(bgra, x, y)), 2);
    }
    const QRectF window = geometry.windowRect;
    EXPECT_NEAR(planes.planes[0].at<uint8_t>(height - 1 - static_cast<int>(window.y() + window.height() / 2), static_cast<int>(window.x() + window.width() / 2)),
        luma(screenColor), 2);

    // The camera decoded as planes draws the same card.
    PlanarPictureConverter cameraDecoder(320, 180);
    frame.cameraPlanes = std::get<0>(cameraDecoder.convert(*frame.camera));
    frame.camera.reset();
    PlanarImage fromPlanes(width, height);
    ASSERT_FALSE(renderer.renderPlanar(frame, fromPlanes.canvas()));
    const QRectF card = geometry.cardRect;
    const int cardRow = height - 1 - static_cast<int>(card.y() + card.height() / 2), cardColumn = static_cast<int>(card.x() + card.width() / 2);
    for (int i = 0; i < 3; ++i) {
        const int r = i == 0 ? cardRow : cardRow / 2, c = i == 0 ? cardColumn : cardColumn / 2;
        EXPECT_NEAR(fromPlanes.planes[i].at<uint8_t>(r, c), planes.planes[i].at<uint8_t>(r, c), 2) << "plane " << i;
    }
    // Drawn in BGRA (a preview), the planes are converted at the edge.
    PixelBuffer bgraFromPlanes(width, height);
    ASSERT_FALSE(renderer.render(frame, bgraFromPlanes));
    const Pixel middle = at(bgraFromPlanes, card.x() + card.width() / 2, card.y() + card.height() / 2);
    EXPECT_NEAR(luma(middle), planes.planes[0].at<uint8_t>(cardRow, cardColumn), 2);
    frame.cameraPlanes.reset();
    PlanarImage withoutCamera(width, height);
    ASSERT_FALSE(renderer.renderPlanar(frame, withoutCamera.canvas()));
    EXPECT_GT(std::abs(withoutCamera.planes[0].at<uint8_t>(cardRow, cardColumn) - fromPlanes.planes[0].at<uint8_t>(cardRow, cardColumn)), 10)
        << "the card came from the planes";
}

TEST(FestrinCompositorRendererTest, PanelsMeasuredOnAWideScreenAreDrawnWhereTheyStoodInASmaller1080pStudioFinal)
{
    // Measured on a 2560 × 1440 recording: a phone 40 pixels in from the right edge, the bubble above it.
    Mixdown::Request request;
    request.layout = ScreenLayout::studio;
    request.faceLayout = FaceLayout::bottomRight;
    request.background = StudioBackground::linen;
    request.phoneRect = QRectF(2280, 300, 240, 520);
    request.phoneCornerRadius = 22;
    request.phoneShowsFrame = false;
    request.bubbleRect = QRectF(2000, 1000, 320, 320);
    request.bubbleCornerRadius = 160;
    const QSize output(1920, 1080);
    FestrinCompositorRenderer renderer({request, output, QSize(2560, 1440), false, true, {}});
    const CompositorSettings& settings = renderer.instruction().settings();
    EXPECT_EQ(settings.phoneRect, QRectF(1710, 225, 180, 390));
    EXPECT_DOUBLE_EQ(settings.phoneCornerRadius, 16.5);
    EXPECT_EQ(settings.bubbleRect, QRectF(1500, 750, 240, 240));
    EXPECT_DOUBLE_EQ(settings.bubbleCornerRadius, 120);

    OverlayFrameRenderer::Frame frame;
    frame.screen = solid(2560, 1440, screenColor);
    frame.phone = solid(180, 390, phoneColor);
    frame.time = MediaTime(1, 2);
    PixelBuffer out(output.width(), output.height());
    ASSERT_FALSE(renderer.render(frame, out));
    // The phone's middle and the inside of its edges, all within the frame.
    for (const QPointF& point : {QPointF(1800, 420), QPointF(1712, 420), QPointF(1888, 420), QPointF(1800, 227), QPointF(1800, 613)})
        EXPECT_TRUE(at(out, point.x(), point.y()).near(phoneColor, 2)) << point.x() << ", " << point.y() << ": " << at(out, point.x(), point.y());
    EXPECT_FALSE(at(out, 1700, 420).near(phoneColor, 60));
    EXPECT_FALSE(at(out, 1800, 625).near(phoneColor, 60));

    // A final as large as the recording keeps the measured pixels.
    FestrinCompositorRenderer sameSize({request, QSize(2560, 1440), QSize(2560, 1440), false, true, {}});
    EXPECT_EQ(sameSize.instruction().settings().phoneRect, request.phoneRect);
    EXPECT_DOUBLE_EQ(sameSize.instruction().settings().phoneCornerRadius, 22);
}

// An export draws with several renderers at once: they share the plan's pointer track, a day's of which is
// some 170 MB, instead of each keeping a copy of it.
TEST(FestrinCompositorRendererTest, RenderersOfOneExportShareTheDayLongPointerTrackOfItsPlan)
{
    Mixdown::Request request;
    PointerPath pointer;
    pointer.xs.assign(static_cast<size_t>(3600 * PointerPath::rate), 0.5);
    pointer.ys = pointer.xs;
    request.pointer = std::move(pointer);
    const OverlayFrameRenderer::Setup setup{request, QSize(width, height), QSize(width, height), false, false, {}};
    const long before = ProcessMemory::residentKilobytes();
    ASSERT_GT(before, 0);
    std::vector<std::unique_ptr<OverlayFrameRenderer>> renderers;
    for (int i = 0; i < 4; ++i)
        renderers.push_back(FestrinCompositorRenderer::factory()(setup));
    // An hour's track is some 7 MB: four copies would hold 28 MB more.
    EXPECT_LT(ProcessMemory::residentKilobytes() - before, 5 * 1024) << "kB more with four renderers";
}
