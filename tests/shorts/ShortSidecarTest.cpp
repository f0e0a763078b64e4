#include "shorts/ShortFramingSidecar.h"
#include "shortexport/ShortTake.h"

#include <QJsonArray>

#include <gtest/gtest.h>

namespace {

QJsonObject sidecarFor(QSizeF feed, ShortFraming::Position position, RecordingChannel channel = RecordingChannel::ai,
    std::optional<NextTake> script = std::nullopt, std::optional<ShortFraming::MeasuredFraming> framing = std::nullopt)
{
    const QRectF crop = ShortFraming::cropRect(feed, position);
    return ShortFraming::sidecar(feed, crop, position, {0.75, 0.5}, true, false, 90, QStringLiteral("Desk Cam"), 8.5, script, framing,
        channel, QDateTime(QDate(2026, 1, 31), QTime(9, 15), Qt::UTC));
}

TEST(ShortSidecarTest, RecordsTheCropInPixelsOfTheRawMovie)
{
    const QJsonObject json = sidecarFor({1920, 1080}, {0.25, 0.5});
    EXPECT_EQ(json[QStringLiteral("crop")].toObject(),
        (QJsonObject {{"x", 328}, {"y", 0}, {"width", 608}, {"height", 1080}, {"origin", "top-left, pixels of raw.mov"}, {"fixed", true}}));
    EXPECT_EQ(json[QStringLiteral("feed")].toObject(), (QJsonObject {{"width", 1920}, {"height", 1080}, {"portrait", false}, {"rotationDegrees", 90}}));
    EXPECT_EQ(json[QStringLiteral("position")].toObject()[QStringLiteral("x")].toDouble(), 0.25);
    EXPECT_EQ(json[QStringLiteral("previewPosition")].toObject(), (QJsonObject {{"x", 0.75}, {"y", 0.5}}));
    EXPECT_EQ(json[QStringLiteral("recordedAt")].toString(), QStringLiteral("2026-01-31T09:15:00Z"));
    EXPECT_TRUE(json[QStringLiteral("mirrored")].toBool());
    EXPECT_FALSE(json[QStringLiteral("previewMirrored")].toBool());
    EXPECT_EQ(json[QStringLiteral("durationSeconds")].toDouble(), 8.5);
    const QJsonArray zones = json[QStringLiteral("safeZones")].toArray();
    ASSERT_EQ(zones.size(), 4);
    EXPECT_EQ(zones[2].toObject(), (QJsonObject {{"name", "captions"}, {"x", 0}, {"y", 1200}, {"width", 880}, {"height", 140}}));
    EXPECT_EQ(json.keys().size(), 12);

    const QJsonObject portrait = sidecarFor({1080, 1920}, {0.9, 0.9});
    EXPECT_EQ(portrait[QStringLiteral("crop")].toObject()[QStringLiteral("x")].toInt(), 0);
    EXPECT_EQ(portrait[QStringLiteral("crop")].toObject()[QStringLiteral("y")].toInt(), 0);
    EXPECT_TRUE(portrait[QStringLiteral("feed")].toObject()[QStringLiteral("portrait")].toBool());
}

TEST(ShortSidecarTest, AddsScriptChannelAndFramingOnlyWhenThereAreAny)
{
    NextTake script;
    script.scriptID = QStringLiteral("s12");
    script.title = QStringLiteral("Why tea");
    script.writtenAtText = QStringLiteral("2026-01-31T09:00:00Z");
    const ShortFraming::MeasuredFraming framing {0.41, 0.29, 120, 100};
    struct Case {
        const char* name;
        RecordingChannel channel;
        std::optional<NextTake> script;
        std::optional<ShortFraming::MeasuredFraming> framing;
        QStringList present;
        QStringList absent;
    };
    const std::vector<Case> cases {
        {"ai, nothing else", RecordingChannel::ai, std::nullopt, std::nullopt, {},
            {"channel", "script_id", "batch", "title", "script_written_at", "framing"}},
        {"a channel", RecordingChannel::branchline, std::nullopt, std::nullopt, {"channel"}, {"script_id", "framing"}},
        {"a script with an empty batch", RecordingChannel::ai, script, std::nullopt, {"script_id", "batch", "title", "script_written_at"},
            {"channel", "framing"}},
        {"a measurement", RecordingChannel::inkwell, std::nullopt, framing, {"channel", "framing"}, {"script_id"}},
    };
    for (const Case& c : cases) {
        const QJsonObject json = sidecarFor({1920, 1080}, {0.5, 0.5}, c.channel, c.script, c.framing);
        for (const QString& key : c.present)
            EXPECT_TRUE(json.contains(key)) << c.name << ": " << key.toStdString();
        for (const QString& key : c.absent)
            EXPECT_FALSE(json.contains(key)) << c.name << ": " << key.toStdString();
        EXPECT_EQ(json.keys().size(), 12 + c.present.size()) << c.name;
    }
    const QJsonObject withScript = sidecarFor({1920, 1080}, {0.5, 0.5}, RecordingChannel::branchline, script, framing);
    EXPECT_EQ(withScript[QStringLiteral("batch")], QJsonValue(QString()));
    EXPECT_EQ(withScript[QStringLiteral("channel")].toString(), QStringLiteral("branchline"));
    EXPECT_EQ(withScript[QStringLiteral("script_written_at")].toString(), script.writtenAtText);
    const QJsonObject measured = withScript[QStringLiteral("framing")].toObject();
    EXPECT_EQ(measured[QStringLiteral("target")].toObject(), (QJsonObject {{"eyeLine", 0.4}, {"faceHeight", 0.3020833333333333}}));
    EXPECT_EQ(measured[QStringLiteral("framesWithFace")].toInt(), 100);
    EXPECT_EQ(measured[QStringLiteral("note")].toString(),
        QStringLiteral("measured live by the framing guide against the centred reference crop; vertical_cut.py re-crops raw.mov "
                       "independently and does not read this"));
}

TEST(ShortSidecarTest, TrimsTheTailOnlyWhenMoreThanThreeSecondsRemain)
{
    const std::vector<std::tuple<double, double, double>> cases {
        {1.5, 10.0, 1.5}, {1.5, 4.5, 0.0}, {1.5, 4.6, 1.5}, {0.0, 10.0, 0.0}, {1.5, 0.0, 0.0},
    };
    for (const auto& [trim, duration, applied] : cases)
        EXPECT_EQ(ShortTake::effectiveTailTrim(trim, duration), applied) << trim << " of " << duration;
}

} // namespace
