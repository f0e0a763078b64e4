#include "MediaTestSupport.h"

#include "platform/media/PlanarPictureConverter.h"
#include "platform/media/PixelBuffer.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace MediaTestSupport;

namespace {

class PlanarPictureTest : public SandboxTest {
protected:
    // Writes `frames` pictures of moving noise at 320x180, as BGRA samples or converted to planar ones first.
    bool writeVideo(const QString& target, bool planar, int frames)
    {
        MovieRecipe recipe;
        MovieWriter writer(target, MovieFileType::quickTimeMovie, MovieWriteMode::finishing);
        MovieWriterInput* input = writer.addVideoInput(videoSettingsFor(recipe));
        if (!input || !writer.startWriting())
            return false;
        input->setExpectsMediaDataInRealTime(false);
        writer.startSession(MediaTime::zero());
        PlanarPictureConverter converter(recipe.width, recipe.height);
        for (int k = 0; k < frames; ++k) {
            const std::shared_ptr<PixelBuffer> picture = movingNoise(recipe.width, recipe.height, k);
            MediaSample sample = MediaSample::video(picture, MediaTime(k, 30), MediaTime(1, 30));
            if (planar) {
                auto converted = converter.convert(*picture);
                if (!std::holds_alternative<std::shared_ptr<const PlanarPicture>>(converted))
                    return false;
                sample = MediaSample::video(std::get<0>(converted), MediaTime(k, 30), MediaTime(1, 30));
            }
            if (!input->append(sample))
                return false;
        }
        input->markAsFinished();
        return writer.finishWriting();
    }

    std::vector<QByteArray> decodedPictures(const QString& file)
    {
        std::vector<QByteArray> pictures;
        auto reader = openReader(file);
        MovieReaderOutput* output = reader->addVideoOutput(reader->asset().firstTrack(MovieTrack::MediaType::video)->index);
        if (!output || !reader->startReading())
            return pictures;
        while (std::optional<MediaSample> sample = output->copyNextSample())
            pictures.emplace_back(reinterpret_cast<const char*>(sample->pixels->data()), static_cast<qsizetype>(sample->pixels->byteCount()));
        return pictures;
    }
};

TEST_F(PlanarPictureTest, PlanarSamplesEncodeExactlyAsTheirBgraPictures)
{
    const QString bgra = path(QStringLiteral("bgra.mov"));
    const QString planar = path(QStringLiteral("planar.mov"));
    ASSERT_TRUE(writeVideo(bgra, false, 45));
    ASSERT_TRUE(writeVideo(planar, true, 45));
    const std::vector<QByteArray> expected = decodedPictures(bgra);
    const std::vector<QByteArray> actual = decodedPictures(planar);
    ASSERT_EQ(expected.size(), 45u);
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t k = 0; k < expected.size(); ++k)
        EXPECT_TRUE(actual[k] == expected[k]) << "picture " << k;
}

TEST_F(PlanarPictureTest, PicturesOutliveTheirConverterAndKeepTheirOwnPlanes)
{
    std::shared_ptr<const PlanarPicture> white, black;
    {
        PlanarPictureConverter converter(64, 35);
        PixelBuffer picture(64, 35);
        picture.fill(255, 255, 255, 255);
        white = std::get<0>(converter.convert(picture));
        picture.fill(0, 0, 0, 255);
        black = std::get<0>(converter.convert(picture));
    }
    // Limited range: white is luma 235, black 16; odd heights round the chroma rows up; rows start aligned.
    ASSERT_EQ(white->width(), 64);
    ASSERT_EQ(white->height(), 35);
    EXPECT_EQ(white->plane(0)[0], 235);
    EXPECT_EQ(white->plane(0)[34 * white->stride(0) + 63], 235);
    EXPECT_EQ(black->plane(0)[34 * black->stride(0) + 63], 16);
    EXPECT_EQ(white->plane(1)[17 * white->stride(1) + 31], 128);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(white->plane(1)) % 64, 0u);
    EXPECT_NE(white->plane(0), black->plane(0));
}

TEST_F(PlanarPictureTest, AWrongSizedPlanarSampleIsRefusedWithoutWriting)
{
    MovieRecipe recipe;
    MovieWriter writer(path(QStringLiteral("final.mov")), MovieFileType::quickTimeMovie, MovieWriteMode::finishing);
    MovieWriterInput* input = writer.addVideoInput(videoSettingsFor(recipe));
    ASSERT_TRUE(input && writer.startWriting());
    writer.startSession(MediaTime::zero());
    PlanarPictureConverter converter(recipe.width / 2, recipe.height / 2);
    const auto picture = std::get<0>(converter.convert(*movingNoise(recipe.width, recipe.height, 0)));
    EXPECT_FALSE(input->append(MediaSample::video(picture, MediaTime::zero(), MediaTime(1, 30))));
    ASSERT_TRUE(writer.error());
    EXPECT_TRUE(writer.error()->description.contains(QStringLiteral("another size or format"))) << qUtf8Printable(writer.error()->description);
    EXPECT_FALSE(std::holds_alternative<std::shared_ptr<const PlanarPicture>>(PlanarPictureConverter(0, 0).convert(PixelBuffer(4, 4))));
}

} // namespace
