// The reader's and the writer's YUV conversions take fast paths; a colour chart keeps them honest. Reading:
// every patch's mean within 2 levels of an accurate decode of the same movie (ffmpeg with accurate rounding and full
// chroma interpolation). Writing: every patch's Y, U and V within 2 levels of swscale's accurate conversion.

#include "media/MediaTestSupport.h"
#include "platform/media/LibavHandles.h"
#include "platform/image/PlanarCompositing.h"
#include "platform/media/PixelBufferViews.h"
#include "platform/media/PlanarPictureConverter.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <array>
#include <vector>

extern "C" {
#include <libswscale/swscale.h>
}

namespace {

constexpr int patch = 48;
constexpr int columns = 8;
constexpr int rows = 4;

// BGR patches: a grey ramp, primaries and secondaries, skin tones, darks and saturated mid tones.
constexpr std::array<std::array<uint8_t, 3>, columns * rows> chart = {{
    {0, 0, 0}, {36, 36, 36}, {73, 73, 73}, {109, 109, 109}, {146, 146, 146}, {182, 182, 182}, {219, 219, 219}, {255, 255, 255},
    {0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {0, 255, 255}, {255, 0, 255}, {255, 255, 0}, {20, 20, 200}, {200, 40, 20},
    {90, 130, 200}, {70, 105, 160}, {140, 170, 230}, {40, 60, 100}, {160, 190, 240}, {60, 90, 140}, {110, 150, 210}, {30, 45, 70},
    {16, 8, 4}, {4, 16, 8}, {8, 4, 16}, {120, 60, 180}, {60, 180, 120}, {180, 120, 60}, {230, 200, 30}, {30, 200, 230},
}};

std::shared_ptr<PixelBuffer> chartPicture(int width, int height, int)
{
    auto picture = std::make_shared<PixelBuffer>(width, height);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = picture->row(y);
        for (int x = 0; x < width; ++x) {
            const auto& colour = chart[static_cast<size_t>(std::min(y / patch, rows - 1) * columns + std::min(x / patch, columns - 1))];
            row[4 * x] = colour[0];
            row[4 * x + 1] = colour[1];
            row[4 * x + 2] = colour[2];
            row[4 * x + 3] = 255;
        }
    }
    return picture;
}

// The first picture decoded by ffmpeg, BGRA, converted with accurate rounding under the movie's BT.709 tags.
QByteArray accurateDecode(const QString& path)
{
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), path, QStringLiteral("-frames:v"),
                                               QStringLiteral("1"), QStringLiteral("-vf"),
                                               QStringLiteral("scale=in_color_matrix=bt709:in_range=tv:out_range=pc:flags=bilinear+accurate_rnd+full_chroma_int"),
                                               QStringLiteral("-pix_fmt"), QStringLiteral("bgra"), QStringLiteral("-f"), QStringLiteral("rawvideo"), QStringLiteral("-")});
    ffmpeg.waitForFinished(60000);
    return ffmpeg.readAllStandardOutput();
}

void expectChartWithinTwoLevels(VideoSettings::Codec codec)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("chart.mov"));
    MediaTestSupport::MovieRecipe recipe;
    recipe.codec = codec;
    recipe.width = columns * patch;
    recipe.height = rows * patch;
    recipe.seconds = 0.2;
    recipe.audioTracks = 0;
    recipe.picture = chartPicture;
    MediaTestSupport::writeMovie(path, recipe);

    const QByteArray accurate = accurateDecode(path);
    ASSERT_EQ(accurate.size(), recipe.width * recipe.height * 4);
    auto reader = MediaTestSupport::openReader(path);
    MovieReaderOutput* output = reader->addVideoOutput(reader->asset().firstTrack(MovieTrack::MediaType::video)->index);
    ASSERT_NE(output, nullptr);
    ASSERT_TRUE(reader->startReading());
    const std::optional<MediaSample> first = output->copyNextSample();
    ASSERT_TRUE(first && first->pixels);
    const PixelBuffer& ours = *first->pixels;

    // Each patch's mean over its interior, as a chart is measured: edges, and the codec's ripples inside a
    // patch, are where chroma interpolation legitimately differs.
    const int inset = 12;
    for (int p = 0; p < columns * rows; ++p) {
        const int x0 = (p % columns) * patch, y0 = (p / columns) * patch;
        double sums[2][3] = {};
        for (int y = y0 + inset; y < y0 + patch - inset; ++y) {
            const uint8_t* row = ours.row(y);
            const auto* reference = reinterpret_cast<const uint8_t*>(accurate.constData()) + static_cast<ptrdiff_t>(y) * recipe.width * 4;
            for (int x = x0 + inset; x < x0 + patch - inset; ++x) {
                for (int c = 0; c < 3; ++c) {
                    sums[0][c] += row[4 * x + c];
                    sums[1][c] += reference[4 * x + c];
                }
            }
        }
        const double count = (patch - 2 * inset) * (patch - 2 * inset);
        for (int c = 0; c < 3; ++c)
            EXPECT_LE(std::abs(sums[0][c] - sums[1][c]) / count, 2.0) << "patch " << p << " channel " << c;
    }
}

// swscale's accurate BGRA → 4:2:0 BT.709 limited-range conversion of the chart, planes packed one after another.
struct AccuratePlanes {
    std::vector<uint8_t> bytes;
    int width = 0;
    int height = 0;
    const uint8_t* plane(int index) const
    {
        const size_t luma = static_cast<size_t>(width) * static_cast<size_t>(height);
        return bytes.data() + (index == 0 ? 0 : luma + (index == 2 ? luma / 4 : 0));
    }
    int stride(int index) const { return index == 0 ? width : width / 2; }
};

AccuratePlanes accurateEncode(const PixelBuffer& picture)
{
    AccuratePlanes planes;
    planes.width = picture.width();
    planes.height = picture.height();
    planes.bytes.resize(static_cast<size_t>(planes.width) * static_cast<size_t>(planes.height) * 3 / 2);
    Libav::Sws context(sws_getContext(planes.width, planes.height, AV_PIX_FMT_BGRA, planes.width, planes.height, AV_PIX_FMT_YUV420P,
        SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr));
    EXPECT_TRUE(context);
    if (!context)
        return planes;
    sws_setColorspaceDetails(context.get(), sws_getCoefficients(SWS_CS_DEFAULT), 1, sws_getCoefficients(SWS_CS_ITU709), 0, 0, 1 << 16, 1 << 16);
    const uint8_t* in[4] = {picture.data(), nullptr, nullptr, nullptr};
    const int inStride[4] = {static_cast<int>(picture.bytesPerRow()), 0, 0, 0};
    uint8_t* out[4] = {const_cast<uint8_t*>(planes.plane(0)), const_cast<uint8_t*>(planes.plane(1)), const_cast<uint8_t*>(planes.plane(2)), nullptr};
    const int outStride[4] = {planes.stride(0), planes.stride(1), planes.stride(2), 0};
    sws_scale(context.get(), in, inStride, 0, planes.height, out, outStride);
    return planes;
}

// Every patch's Y, U and V (away from its edges) within 2 levels of the accurate conversion.
template <typename Planes>
void expectPatchesNearAccurate(const Planes& ours, const AccuratePlanes& accurate)
{
    const int inset = 12;
    for (int p = 0; p < columns * rows; ++p) {
        int worst = 0;
        for (int plane = 0; plane < 3; ++plane) {
            const int shift = plane == 0 ? 0 : 1;
            const int x0 = ((p % columns) * patch + inset) >> shift, x1 = ((p % columns + 1) * patch - inset) >> shift;
            const int y0 = ((p / columns) * patch + inset) >> shift, y1 = ((p / columns + 1) * patch - inset) >> shift;
            for (int y = y0; y < y1; ++y) {
                for (int x = x0; x < x1; ++x)
                    worst = std::max(worst, std::abs(ours.plane(plane)[y * ours.stride(plane) + x] - accurate.plane(plane)[y * accurate.stride(plane) + x]));
            }
        }
        EXPECT_LE(worst, 2) << "patch " << p;
    }
}

TEST(ColourChartTest, ChartEncodesWithinTwoLevelsOfTheAccuratePath)
{
    const int width = columns * patch, height = rows * patch;
    const std::shared_ptr<PixelBuffer> picture = chartPicture(width, height, 0);
    // Ours: the conversion every encoder uses, as a drawing thread hands frames over.
    PlanarPictureConverter converter(width, height);
    auto converted = converter.convert(*picture);
    ASSERT_TRUE(std::holds_alternative<std::shared_ptr<const PlanarPicture>>(converted));
    expectPatchesNearAccurate(*std::get<0>(converted), accurateEncode(*picture));
}

TEST(ColourChartTest, ChartDrawnIntoPlanesIsWithinTwoLevelsOfTheAccuratePath)
{
    // The studio's frames are drawn straight into the encoder's planes: the same matrix, the same bound.
    const std::shared_ptr<PixelBuffer> picture = chartPicture(columns * patch, rows * patch, 0);
    struct Drawn {
        PlanarImage image;
        const uint8_t* plane(int index) const { return image.planes[index].data; }
        int stride(int index) const { return static_cast<int>(image.planes[index].step[0]); }
    };
    const Drawn drawn {PlanarCompositing::fromBgra(PixelBufferViews::mat(*picture))};
    expectPatchesNearAccurate(drawn, accurateEncode(*picture));
}

TEST(ColourChartTest, H264ChartDecodesWithinTwoLevelsOfTheAccuratePath) { expectChartWithinTwoLevels(VideoSettings::Codec::h264); }

TEST(ColourChartTest, HevcChartDecodesWithinTwoLevelsOfTheAccuratePath) { expectChartWithinTwoLevels(VideoSettings::Codec::hevc); }

} // namespace
