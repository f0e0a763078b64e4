#include "finishing/FinishOutcome.h"
#include "finishing/Mixdown.h"
#include "platform/media/MovieAsset.h"
#include "support/FakeOverlayRenderer.h"
#include "support/SyntheticTake.h"
#include "support/TestEnvironment.h"
#include "takedata/ExportGate.h"

#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

// Byte offsets of the top-level boxes of a movie file, by type.
std::vector<std::pair<QByteArray, qint64>> boxes(const QByteArray& bytes)
{
    std::vector<std::pair<QByteArray, qint64>> found;
    for (qint64 at = 0; at + 8 <= bytes.size();) {
        const auto* p = reinterpret_cast<const uchar*>(bytes.constData() + at);
        const qint64 size = (qint64(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
        found.emplace_back(bytes.mid(at + 4, 4), at);
        if (size < 8)
            break;
        at += size;
    }
    return found;
}

// The offset of the first top-level box of this type at or after `from`.
qint64 boxAfter(const QByteArray& bytes, const char* type, qint64 from)
{
    for (const auto& [found, at] : boxes(bytes)) {
        if (found == type && at >= from)
            return at;
    }
    ADD_FAILURE() << "no " << type << " box after " << from;
    return 0;
}

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
    std::optional<Mixdown::MixdownError> compose(const QString& movie, const QString& final)
    {
        Mixdown::Request request;
        request.rawURL = movie;
        request.layout = ScreenLayout::studio;
        request.outputSize = QSizeF(320, 180);
        request.frameRate = 30;
        Mixdown::Options options;
        options.gate = &gate;
        return Mixdown::composeWithOverlays(request, final, {}, FakeOverlayRenderer::factory(std::make_shared<FakeOverlayRenderer::Record>()), options);
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
    QByteArray noisy = bytes;
    const qint64 at = boxAfter(bytes, "mdat", bytes.size() * 4 / 10) + 16;
    QRandomGenerator random(7);
    for (qint64 i = at; i < std::min<qint64>(at + 30000, bytes.size()); ++i)
        noisy[i] = static_cast<char>(random.bounded(256));
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
    const auto failure = compose(damagedRaw, final);
    ASSERT_FALSE(failure) << failure->description().toStdString();
    EXPECT_NEAR(seconds(final), 10.0, 0.1) << "the picture before each left-out one shows instead";
}

TEST_F(DamagedRawTest, aDamagedFragmentHeaderKeepsTheReadablePartBeforeIt)
{
    QByteArray broken = bytes;
    const qint64 moof = boxAfter(bytes, "moof", bytes.size() / 2);
    QRandomGenerator random(11);
    for (qint64 i = moof - 100; i < moof + 400; ++i)
        broken[i] = static_cast<char>(random.bounded(256));
    const QString damagedRaw = damaged(QStringLiteral("header.mov"), broken);
    const QString final = path(QStringLiteral("final.mov"));
    const auto failure = compose(damagedRaw, final);
    ASSERT_FALSE(failure) << failure->description().toStdString();
    const double finished = seconds(final);
    EXPECT_GT(finished, 4.0);
    EXPECT_TRUE(FinishOutcome::shortNote(finished, 10.0, QStringLiteral("header.mov")));
    EXPECT_EQ(pictures(final).second, 0);
}
