#include "finishing/TailTrim.h"
#include "platform/media/MovieAsset.h"
#include "support/SyntheticTake.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

class TailTrimTest : public SandboxTest {
protected:
    double durationOf(const QString& file) const
    {
        auto opened = MovieAsset::open(file);
        return std::holds_alternative<MovieAsset>(opened) ? std::get<MovieAsset>(opened).duration().seconds() : -1;
    }
    QByteArray bytesOf(const QString& file) const
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QStringList leftovers() const { return QDir(folder->path()).entryList({QStringLiteral(".tailtrim-*")}, QDir::Files | QDir::Hidden); }
};

TEST_F(TailTrimTest, SixtyTwoSecondsLoseOneAndAHalf)
{
    const QString voice = path(QStringLiteral("voice.m4a"));
    SyntheticTake::writeSound(voice, 62.0, MovieFileType::appleM4A);
    const std::optional<TailTrim::Result> result = TailTrim::trim(voice, 1.5);
    ASSERT_TRUE(result);
    EXPECT_DOUBLE_EQ(result->trimmed, 1.5);
    EXPECT_NEAR(result->duration, 60.5, 0.05);
    EXPECT_NEAR(durationOf(voice), 60.5, 0.05);
    EXPECT_EQ(SyntheticTake::probeField(voice, QStringLiteral("audio"), QStringLiteral("codec_name")), QStringLiteral("aac"));
    EXPECT_TRUE(leftovers().isEmpty());
    EXPECT_TRUE(readLog().contains(QStringLiteral("tail trim: voice.m4a 62.0s -> 60.5s (cut 1.5s)")));

    const QString stop = path(QStringLiteral("stop.json"));
    TailTrim::writeSidecar(stop, QStringLiteral("remote-button"), result->trimmed, result->duration);
    const QJsonObject record = QJsonDocument::fromJson(bytesOf(stop)).object();
    EXPECT_EQ(record.keys(), (QStringList {"durationSeconds", "stoppedAt", "stoppedBy", "tailTrimmedSeconds"}));
    EXPECT_NEAR(record.value(QStringLiteral("durationSeconds")).toDouble(), 60.5, 0.05);
    EXPECT_EQ(record.value(QStringLiteral("stoppedBy")).toString(), QStringLiteral("remote-button"));
    EXPECT_EQ(record.value(QStringLiteral("tailTrimmedSeconds")).toDouble(), 1.5);
    EXPECT_TRUE(QDateTime::fromString(record.value(QStringLiteral("stoppedAt")).toString(), Qt::ISODate).isValid());
    EXPECT_TRUE(record.value(QStringLiteral("stoppedAt")).toString().endsWith(QLatin1Char('Z')));
    EXPECT_TRUE(bytesOf(stop).contains("\n    \"")) << "pretty-printed";
}

TEST_F(TailTrimTest, MovieKeepsItsTracksAndContainer)
{
    const QString final = path(QStringLiteral("final.MOV"));
    SyntheticTake::ScreenRecipe recipe;
    recipe.seconds = 4.6;
    SyntheticTake::writeScreen(final, recipe);
    const std::optional<TailTrim::Result> result = TailTrim::trim(final, 1.5);
    ASSERT_TRUE(result);
    EXPECT_NEAR(durationOf(final), 3.1, 0.05);
    auto opened = MovieAsset::open(final);
    ASSERT_TRUE(std::holds_alternative<MovieAsset>(opened));
    EXPECT_EQ(std::get<MovieAsset>(opened).tracks().size(), 3u);
    EXPECT_EQ(SyntheticTake::probeField(final, QStringLiteral("video"), QStringLiteral("codec_name")), QStringLiteral("hevc"));
}

TEST_F(TailTrimTest, ShortFilesAndNothingToCutKeepTheirTail)
{
    const QString voice = path(QStringLiteral("voice.m4a"));
    SyntheticTake::writeSound(voice, 4.5, MovieFileType::appleM4A);
    const QByteArray before = bytesOf(voice);
    EXPECT_FALSE(TailTrim::trim(voice, 1.5)) << "4.5 s is not more than 1.5 + 3 s";
    EXPECT_FALSE(TailTrim::trim(voice, 0));
    EXPECT_FALSE(TailTrim::trim(voice, -1));
    EXPECT_FALSE(TailTrim::trim(path(QStringLiteral("missing.m4a")), 1.5));
    EXPECT_EQ(bytesOf(voice), before);
    EXPECT_TRUE(readLog().isEmpty()) << "these stay silent";
}

TEST_F(TailTrimTest, UnknownTypeIsLoggedAndLeftUntouched)
{
    const QString wav = path(QStringLiteral("voice.wav"));
    SyntheticTake::writeSound(wav, 6.0, MovieFileType::appleM4A);
    const QByteArray before = bytesOf(wav);
    EXPECT_FALSE(TailTrim::trim(wav, 1.5));
    EXPECT_EQ(bytesOf(wav), before);
    EXPECT_TRUE(leftovers().isEmpty());
    EXPECT_TRUE(readLog().contains(QStringLiteral("tail trim: no export session for voice.wav")));
}

TEST_F(TailTrimTest, UpperCaseM4AStaysAudio)
{
    const QString voice = path(QStringLiteral("VOICE.M4A"));
    SyntheticTake::writeSound(voice, 6.0, MovieFileType::appleM4A);
    ASSERT_TRUE(TailTrim::trim(voice, 1.5));
    EXPECT_NEAR(durationOf(voice), 4.5, 0.05);
    EXPECT_TRUE(SyntheticTake::probeField(voice, QStringLiteral("audio"), QStringLiteral("codec_name")) == QStringLiteral("aac"));
}

TEST_F(TailTrimTest, RecordAfterAFailedTrimHasThreeKeysAndAFailedWriteIsLogged)
{
    const QString stop = path(QStringLiteral("stop-3.json"));
    TailTrim::writeSidecar(stop, QStringLiteral("remote-button"), 0, std::nullopt);
    const QJsonObject record = QJsonDocument::fromJson(bytesOf(stop)).object();
    EXPECT_EQ(record.keys(), (QStringList {"stoppedAt", "stoppedBy", "tailTrimmedSeconds"}));
    EXPECT_EQ(record.value(QStringLiteral("tailTrimmedSeconds")).toDouble(-1), 0.0);
    EXPECT_TRUE(QDir(folder->path()).entryList({QStringLiteral(".stop-*")}, QDir::Files | QDir::Hidden).isEmpty());

    // A record that cannot be written is logged.
    TailTrim::writeSidecar(path(QStringLiteral("no-such-folder/stop.json")), QStringLiteral("remote-button"), 0, std::nullopt);
    EXPECT_TRUE(readLog().contains(QStringLiteral("ERROR [write stop.json]")));
}

} // namespace
