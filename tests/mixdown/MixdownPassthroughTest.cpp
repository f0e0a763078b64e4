#include "finishing/Mixdown.h"
#include "platform/media/MovieAsset.h"
#include "support/SyntheticTake.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>

namespace {

class MixdownPassthroughTest : public SandboxTest {
protected:
    QStringList leftovers() const { return QDir(folder->path()).entryList({QStringLiteral(".mixdown-*")}, QDir::Files | QDir::Hidden); }
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

    ASSERT_FALSE(reports.empty());
    EXPECT_DOUBLE_EQ(reports.back(), 1.0);
    EXPECT_LE(reports.size(), 101u) << "throttled to rises of 0.01";
    EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end()));
    EXPECT_TRUE(leftovers().isEmpty());
}

TEST_F(MixdownPassthroughTest, RawWithoutVideoFailsAndKeepsTheOldFinal)
{
    const QString raw = path(QStringLiteral("raw.mov"));
    SyntheticTake::ScreenRecipe recipe;
    recipe.video = false;
    SyntheticTake::writeScreen(raw, recipe);
    const QString final = path(QStringLiteral("final.mov"));
    QFile old(final);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("a good final");
    old.close();
    const auto failure = Mixdown::composePassthrough(raw, final, {});
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->description(), QStringLiteral("The raw recording has no video track."));
    QFile kept(final);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("a good final"));
    EXPECT_TRUE(leftovers().isEmpty());

    EXPECT_TRUE(Mixdown::composePassthrough(path(QStringLiteral("missing.mov")), final, {}));
}

} // namespace
