#include "finishing/FinishOutcome.h"
#include "finishing/Mixdown.h"
#include "platform/media/MovieAsset.h"
#include "support/FakeOverlayRenderer.h"
#include "support/SyntheticTake.h"
#include "support/TestEnvironment.h"
#include "takedata/ExportGate.h"

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
