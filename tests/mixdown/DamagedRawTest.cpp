#include "finishing/FinishOutcome.h"
#include "finishing/Mixdown.h"
#include "platform/media/ExportGate.h"
#include "platform/media/MovieAsset.h"
#include "platform/media/MovieWriter.h"
#include "support/FakeOverlayRenderer.h"
#include "support/SyntheticTake.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

using SyntheticTake::boxAfter;

class DamagedRawTest : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        raw = path(QStringLiteral("raw.mov"));
        SyntheticTake::ScreenRecipe screen;
        screen.seconds = 10.0;
        SyntheticTake::writeScreen(raw, screen);
        QFile file(raw);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        bytes = file.readAll();
    }
    QString damaged(const QString& name, const QByteArray& content)
    {
        const QString target = path(name);
        QFile file(target);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return target;
    }
    // Every picture the reader hands out, and how many are mostly flat mid-grey.
    std::pair<int, int> pictures(const QString& movie)
    {
        auto reader = SyntheticTake::openReader(movie);
        MovieReaderOutput* output = reader->addVideoOutput(reader->asset().firstTrack(MovieTrack::MediaType::video)->index);
        reader->startReading();
        int count = 0;
        int grey = 0;
        while (auto sample = output->copyNextSample()) {
            ++count;
            const PixelBuffer& picture = *sample->pixels;
            int flat = 0;
            for (int y = 0; y < picture.height(); ++y) {
                const uchar* row = picture.data() + y * picture.bytesPerRow();
                for (int x = 0; x < picture.width(); ++x)
                    flat += std::abs(row[x * 4] - 128) <= 2 && std::abs(row[x * 4 + 1] - 128) <= 2 && std::abs(row[x * 4 + 2] - 128) <= 2;
            }
            grey += flat > picture.width() * picture.height() / 20;
        }
        return {count, grey};
    }
    std::optional<Mixdown::MixdownError> compose(const QString& movie, const QString& final, Mixdown::LeftOut* leftOut = nullptr)
    {
        Mixdown::Request request;
        request.rawURL = movie;
        request.layout = ScreenLayout::studio;
        request.outputSize = QSizeF(320, 180);
        request.frameRate = 30;
        Mixdown::Options options;
        options.gate = &gate;
        return Mixdown::composeWithOverlays(request, final, {}, FakeOverlayRenderer::factory(std::make_shared<FakeOverlayRenderer::Record>()), options,
            leftOut);
    }
    static double seconds(const QString& movie)
    {
        auto opened = MovieAsset::open(movie);
        return std::holds_alternative<MovieAsset>(opened) ? std::get<MovieAsset>(opened).duration().seconds() : -1;
    }

    ExportGate gate;
    QString raw;
    QByteArray bytes;
};

} // namespace

TEST(FinishOutcome, aShortFinalSaysWhatItKept)
{
    const struct {
        double finished, recorded;
        const char* note;
    } cases[] = {
        {12.15, 20.03, "Finished the first 0:12 of 0:20 — the rest of raw.mov could not be read"},
        {65.9, 125.2, "Finished the first 1:05 of 2:05 — the rest of raw.mov could not be read"},
        {19.6, 20.03, nullptr}, // within half a second: all of it
        {20.1, 20.03, nullptr},
        {3.0, 0.0, nullptr}, // the recorded length is unknown
        {0.0, 8.0, "Finished the first 0:00 of 0:08 — the rest of raw.mov could not be read"},
    };
    for (const auto& c : cases) {
        const auto note = FinishOutcome::shortNote(c.finished, c.recorded, QStringLiteral("raw.mov"));
        EXPECT_EQ(note.value_or(QString()), c.note ? QString::fromUtf8(c.note) : QString()) << c.finished << " of " << c.recorded;
    }
}

TEST(FinishOutcome, leftOutDamagedPicturesAreCountedAfterAShortNote)
{
    const struct {
        int damaged;
        const char* note;
    } cases[] = {
        {0, nullptr},
        {-1, nullptr},
        {1, "1 damaged picture in raw.mov was left out; the picture before it holds"},
        {42, "42 damaged pictures in raw.mov were left out; the picture before each one holds"},
    };
    for (const auto& c : cases) {
        const auto note = FinishOutcome::damagedNote(c.damaged, QStringLiteral("raw.mov"));
        EXPECT_EQ(note.value_or(QString()), c.note ? QString::fromUtf8(c.note) : QString()) << c.damaged;
    }
    EXPECT_EQ(FinishOutcome::joined(FinishOutcome::shortNote(12.15, 20.03, QStringLiteral("raw.mov")), FinishOutcome::damagedNote(2, QStringLiteral("raw.mov"))),
        QStringLiteral("Finished the first 0:12 of 0:20 — the rest of raw.mov could not be read. "
                       "2 damaged pictures in raw.mov were left out; the picture before each one holds"));
    EXPECT_EQ(FinishOutcome::joined(std::nullopt, FinishOutcome::damagedNote(1, QStringLiteral("raw.mov"))),
        QStringLiteral("1 damaged picture in raw.mov was left out; the picture before it holds"));
    EXPECT_EQ(FinishOutcome::joined(std::nullopt, std::nullopt), QString());
}

TEST(FinishOutcome, aFinalWhoseSoundStopsEarlySaysWhereAndNothingElseDoes)
{
    const struct {
        double sound, picture;
        const char* note;
    } cases[] = {
        {56.5, 282.0, "The sound stops at 0:56 of 4:42 — the rest of the sound in raw.mov was lost"},
        {9.4, 10.0, "The sound stops at 0:09 of 0:10 — the rest of the sound in raw.mov was lost"},
        {9.6, 10.0, nullptr}, // the last block and a frame of rounding: all of it
        {10.3, 10.0, nullptr},
        {0.0, 10.0, nullptr}, // no sound track: nothing was meant to be heard
        {4.0, 0.0, nullptr}, // the picture's length is unknown
    };
    for (const auto& c : cases) {
        const auto note = FinishOutcome::shortSoundNote(c.sound, c.picture, QStringLiteral("raw.mov"));
        EXPECT_EQ(note.value_or(QString()), c.note ? QString::fromUtf8(c.note) : QString()) << c.sound << " of " << c.picture;
    }
    EXPECT_EQ(FinishOutcome::joined(FinishOutcome::shortNote(12.15, 20.03, QStringLiteral("raw.mov")), std::nullopt,
                  FinishOutcome::damagedNote(1, QStringLiteral("raw.mov"))),
        QStringLiteral("Finished the first 0:12 of 0:20 — the rest of raw.mov could not be read. "
                       "1 damaged picture in raw.mov was left out; the picture before it holds"));
    EXPECT_EQ(FinishOutcome::joined(std::nullopt, FinishOutcome::shortSoundNote(2.0, 4.0, QStringLiteral("raw.mov")), std::nullopt),
        QStringLiteral("The sound stops at 0:02 of 0:04 — the rest of the sound in raw.mov was lost"));
}

TEST(FinishOutcome, aPartAndItsWholeThatReadTheSameInSecondsShowTheirTenths)
{
    const struct {
        double part, whole;
        const char* shown; // as both notes say it
    } cases[] = {
        {3.2, 3.9, "0:03.2 of 0:03.9"},
        {3.0, 3.6, "0:03.0 of 0:03.6"},
        {2.3, 2.9, "0:02.3 of 0:02.9"}, // 2.3 s is 22.999… tenths
        {0.1, 0.7, "0:00.1 of 0:00.7"},
        {65.05, 65.99, "1:05.0 of 1:05.9"},
        {59.4, 60.0, "0:59 of 1:00"}, // whole seconds already differ
        {12.15, 20.03, "0:12 of 0:20"},
        {0.4, 1.0, "0:00 of 0:01"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.part) + " of " + std::to_string(c.whole));
        EXPECT_EQ(FinishOutcome::shortSoundNote(c.part, c.whole, QStringLiteral("raw.mov")).value_or(QString()).toStdString(),
            "The sound stops at " + std::string(c.shown) + " — the rest of the sound in raw.mov was lost");
        EXPECT_EQ(FinishOutcome::shortNote(c.part, c.whole, QStringLiteral("raw.mov")).value_or(QString()).toStdString(),
            "Finished the first " + std::string(c.shown) + " — the rest of raw.mov could not be read");
    }
    // Nothing finished of a take shorter than a second.
    EXPECT_EQ(FinishOutcome::shortNote(0.0, 0.8, QStringLiteral("raw.mov")).value_or(QString()).toStdString(),
        "Finished the first 0:00.0 of 0:00.8 — the rest of raw.mov could not be read");
}

TEST_F(DamagedRawTest, aRawWhoseSoundStopsEarlyFinishesAndItsFinalSaysSo)
{
    // Four seconds of picture with the sound of its first one and a half, as a full disk used to leave a take.
    const QString shortSound = path(QStringLiteral("short-sound.mov"));
    {
        SyntheticTake::MovieRecipe recipe;
        recipe.codec = VideoSettings::Codec::hevc;
        MovieWriter writer(shortSound, MovieFileType::quickTimeMovie, MovieWriteMode::capture);
        MovieWriterInput* video = writer.addVideoInput(SyntheticTake::videoSettingsFor(recipe));
        MovieWriterInput* audio = writer.addAudioInput(AudioSettings {48000, 2, 128000});
        ASSERT_TRUE(video && audio);
        video->setExpectsMediaDataInRealTime(true);
        audio->setExpectsMediaDataInRealTime(true);
        ASSERT_TRUE(writer.startWriting());
        writer.startSession(MediaTime::zero());
        for (int f = 0; f < 120; ++f) {
            ASSERT_TRUE(video->append(MediaSample::video(SyntheticTake::movingNoise(320, 180, f), MediaTime(f, 30), MediaTime(1, 30))));
            if (f < 45) {
                ASSERT_TRUE(audio->append(MediaSample::sound(SyntheticTake::tone(48000, 2, 1600, f * 1600), MediaTime(f * 1600, 48000))));
            }
        }
        video->markAsFinished();
        audio->markAsFinished();
        ASSERT_TRUE(writer.finishWriting());
    }
    const QString final = path(QStringLiteral("final.mov"));
    const auto failure = compose(shortSound, final);
    ASSERT_FALSE(failure) << failure->description().toStdString();
    EXPECT_EQ(FinishOutcome::shortSoundNoteFor(final, 4.0, QStringLiteral("raw.mov")).value_or(QString()),
        QStringLiteral("The sound stops at 0:01 of 0:04 — the rest of the sound in raw.mov was lost"));
    // A whole take's final and an unreadable file say nothing.
    const QString whole = path(QStringLiteral("whole.mov"));
    ASSERT_FALSE(compose(raw, whole));
    EXPECT_FALSE(FinishOutcome::shortSoundNoteFor(whole, 10.0, QStringLiteral("raw.mov")));
    EXPECT_FALSE(FinishOutcome::shortSoundNoteFor(path(QStringLiteral("missing.mov")), 4.0, QStringLiteral("raw.mov")));
}

TEST_F(DamagedRawTest, aCutRawFinishesWhatWasReadAndSaysHowMuch)
{
    const QString cut = damaged(QStringLiteral("cut.mov"), bytes.left(bytes.size() * 6 / 10));
    const QString final = path(QStringLiteral("final.mov"));
    const auto failure = compose(cut, final);
    ASSERT_FALSE(failure) << failure->description().toStdString();
    const double finished = seconds(final);
    EXPECT_NEAR(finished, 6.0, 1.0);
    EXPECT_EQ(FinishOutcome::shortNote(finished, 10.0, QStringLiteral("raw.mov")).value_or(QString()),
        QStringLiteral("Finished the first 0:0%1 of 0:10 — the rest of raw.mov could not be read").arg(static_cast<int>(finished)));
}

TEST_F(DamagedRawTest, randomBytesInThePicturesAreLeftOutAndCountedNeverDrawnGrey)
{
    const auto [whole, wholeGrey] = pictures(raw);
    EXPECT_EQ(whole, 300);
    EXPECT_EQ(wholeGrey, 0);
    const QByteArray noisy = SyntheticTake::withRandomBytes(bytes, boxAfter(bytes, "mdat", bytes.size() * 4 / 10) + 16, 30000, 7);
    const QString damagedRaw = damaged(QStringLiteral("random.mov"), noisy);

    const auto [count, grey] = pictures(damagedRaw);
    EXPECT_EQ(grey, 0);
    EXPECT_LT(count, 300);
    EXPECT_GT(count, 240) << "no more than up to the next key frame is left out";
    const auto counted = QRegularExpression(QStringLiteral("random.mov: left out (\\d+) damaged picture")).match(readLog());
    ASSERT_TRUE(counted.hasMatch()) << qPrintable(readLog());
    EXPECT_GT(counted.captured(1).toInt(), 0);
    EXPECT_LE(counted.captured(1).toInt(), 300 - count);

    const QString final = path(QStringLiteral("final.mov"));
    Mixdown::LeftOut leftOut;
    const auto failure = compose(damagedRaw, final, &leftOut);
    ASSERT_FALSE(failure) << failure->description().toStdString();
    EXPECT_NEAR(seconds(final), 10.0, 0.1) << "the picture before each left-out one shows instead";
    EXPECT_EQ(leftOut.damagedPictures, counted.captured(1).toInt()) << "the render counts what the reader logged as left out";
}

TEST_F(DamagedRawTest, aDamagedFragmentHeaderKeepsTheReadablePartBeforeIt)
{
    const QByteArray broken = SyntheticTake::withRandomBytes(bytes, boxAfter(bytes, "moof", bytes.size() / 2) - 100, 500, 11);
    const QString damagedRaw = damaged(QStringLiteral("header.mov"), broken);
    const QString final = path(QStringLiteral("final.mov"));
    const auto failure = compose(damagedRaw, final);
    ASSERT_FALSE(failure) << failure->description().toStdString();
    const double finished = seconds(final);
    EXPECT_GT(finished, 4.0);
    EXPECT_TRUE(FinishOutcome::shortNote(finished, 10.0, QStringLiteral("header.mov")));
    EXPECT_EQ(pictures(final).second, 0);
}

// A take of a still screen (tiny pictures, many fragments) with 30000 random bytes over several of them, as the
// studio recorded it: its decoder refuses the final drain, which once read a packet that was not there.
TEST_F(DamagedRawTest, aDecoderThatRefusesItsDrainEndsTheRenderWithWhatItRead)
{
    const QString final = path(QStringLiteral("final.mov"));
    Mixdown::LeftOut leftOut;
    const auto failure = compose(QStringLiteral(OLVENNAR_TEST_DATA "/damaged-still-screen.mov"), final, &leftOut);
    ASSERT_FALSE(failure) << failure->description().toStdString();
    EXPECT_GT(seconds(final), 4.0);
    EXPECT_EQ(pictures(final).second, 0);
}
