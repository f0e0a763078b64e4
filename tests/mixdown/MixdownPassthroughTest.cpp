#include "finishing/Mixdown.h"
#include "finishing/MixdownProgress.h"
#include "platform/media/MovieAsset.h"
#include "support/SyntheticTake.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <mutex>

namespace {

class MixdownPassthroughTest : public SandboxTest {
protected:
    QStringList leftovers() const { return QDir(folder->path()).entryList({QStringLiteral(".mixdown-*")}, QDir::Files | QDir::Hidden); }
    static void writeFile(const QString& file, const QByteArray& bytes)
    {
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(bytes);
    }
    static MovieAsset assetOf(const QString& file)
    {
        auto opened = MovieAsset::open(file);
        return std::holds_alternative<MovieAsset>(opened) ? std::get<MovieAsset>(opened) : MovieAsset {};
    }
};

TEST_F(MixdownPassthroughTest, CopiesEveryScreenPacketAndMixesBothTracksIntoOneStereoAac)
{
    const QString raw = path(QStringLiteral("raw.mov"));
    SyntheticTake::writeScreen(raw, {});
    const QString final = path(QStringLiteral("final.mov"));
    std::mutex lock;
    std::vector<double> reports;
    const auto failure = Mixdown::composePassthrough(raw, final, [&](double p) {
        std::lock_guard guard(lock);
        reports.push_back(p);
    });
    ASSERT_FALSE(failure) << failure->description().toStdString();

    const auto source = SyntheticTake::packets(raw, 0);
    const auto copy = SyntheticTake::packets(final, 0);
    ASSERT_EQ(copy.size(), source.size());
    for (size_t i = 0; i < copy.size(); ++i) {
        EXPECT_EQ(copy[i].bytes, source[i].bytes) << "packet " << i;
        EXPECT_EQ(copy[i].keyFrame, source[i].keyFrame) << "packet " << i;
        EXPECT_NEAR(copy[i].pts.seconds(), source[i].pts.seconds(), 1e-3) << "packet " << i;
    }

    const MovieAsset asset = assetOf(final);
    ASSERT_EQ(asset.tracks(MovieTrack::MediaType::audio).size(), 1u);
    const MovieTrack& sound = *asset.firstTrack(MovieTrack::MediaType::audio);
    EXPECT_EQ(sound.codecName, "aac");
    EXPECT_EQ(sound.channels, 2);
    EXPECT_EQ(sound.sampleRate, 48000);
    EXPECT_EQ(asset.firstTrack(MovieTrack::MediaType::video)->codecName, "hevc");
    EXPECT_EQ(asset.firstTrack(MovieTrack::MediaType::video)->width, 320);

    // Both tracks are in the mix: the quiet system tone throughout, the microphone's beep at 1.0 s.
    double start = 0;
    const std::vector<float> mixed = SyntheticTake::sound(final, &start);
    EXPECT_NEAR(SyntheticTake::firstLoudTime(mixed, start, 0.3f), 1.0, 1.0 / 30);
    float quietPeak = 0;
    for (size_t i = 48000; i < 96000 && i < mixed.size(); i += 2)
        quietPeak = std::max(quietPeak, std::abs(mixed[i]));
    EXPECT_NEAR(quietPeak, 0.1f, 0.03f) << "system sound present";

    // The throttle's rules are pinned below; here only that the copy reports through it to the end.
    ASSERT_FALSE(reports.empty());
    EXPECT_DOUBLE_EQ(reports.back(), 1.0);
    EXPECT_LE(reports.size(), 101u);
    EXPECT_TRUE(leftovers().isEmpty());
}

TEST_F(MixdownPassthroughTest, ReplacesAnExistingFinalAndWorksWithoutSound)
{
    const QString raw = path(QStringLiteral("raw.mov"));
    SyntheticTake::ScreenRecipe recipe;
    recipe.audioTracks = 0;
    recipe.firstFrame = 0.02;
    SyntheticTake::writeScreen(raw, recipe);
    const QString final = path(QStringLiteral("final.mov"));
    writeFile(final, "an older final");
    ASSERT_FALSE(Mixdown::composePassthrough(raw, final, {}));
    const MovieAsset asset = assetOf(final);
    EXPECT_EQ(asset.tracks(MovieTrack::MediaType::audio).size(), 0u);
    EXPECT_EQ(asset.tracks(MovieTrack::MediaType::video).size(), 1u);
    EXPECT_TRUE(leftovers().isEmpty());
}

TEST_F(MixdownPassthroughTest, RawWithoutVideoFailsAndKeepsTheOldFinal)
{
    const QString raw = path(QStringLiteral("raw.mov"));
    SyntheticTake::ScreenRecipe recipe;
    recipe.video = false;
    SyntheticTake::writeScreen(raw, recipe);
    const QString final = path(QStringLiteral("final.mov"));
    writeFile(final, "a good final");
    const auto failure = Mixdown::composePassthrough(raw, final, {});
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->description(), QStringLiteral("The raw recording has no video track."));
    QFile kept(final);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("a good final"));
    EXPECT_TRUE(leftovers().isEmpty());

    EXPECT_TRUE(Mixdown::composePassthrough(path(QStringLiteral("missing.mov")), final, {}));
}

void expectFractions(const std::vector<double>& actual, const std::vector<double>& expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i)
        EXPECT_NEAR(actual[i], expected[i], 1e-9) << "report " << i;
}

TEST(MixdownProgressTest, ClampsThrottlesAndEndsAtOne)
{
    std::vector<double> reports;
    Mixdown::ProgressThrottle throttle([&](double p) { reports.push_back(p); }, 10.0, 20.0);
    for (double t : {9.0, 10.0, 10.1, 10.3, 20.0, 20.1, 29.9, 30.0, 31.0})
        throttle.sampleAppended(t);
    expectFractions(reports, {0.0, 0.015, 0.5, 0.995, 1.0});
    throttle.finish();
    EXPECT_EQ(reports.size(), 5u) << "1.0 is reported once";

    // The last picture starts before the end of the take: a finished movie still reports 1.0.
    std::vector<double> tail;
    Mixdown::ProgressThrottle shortOfTheEnd([&](double p) { tail.push_back(p); }, 0, 2.0);
    shortOfTheEnd.sampleAppended(1.95);
    shortOfTheEnd.finish();
    expectFractions(tail, {0.975, 1.0});

    std::vector<double> none;
    Mixdown::ProgressThrottle zero([&](double p) { none.push_back(p); }, 0, 0);
    Mixdown::ProgressThrottle invalid([&](double p) { none.push_back(p); }, 0, std::nan(""));
    zero.sampleAppended(1);
    invalid.sampleAppended(1);
    zero.finish();
    EXPECT_TRUE(none.empty()) << "no duration, no progress";
}

} // namespace
