#include "FinishFixture.h"

#include "core/Diagnostics.h"
#include "finishing/TakeDescription.h"

#include <QDirIterator>
#include <QJsonArray>

#include <gtest/gtest.h>

namespace {

using TakeDescription::Look;

TEST(TakeDescription, DescribeSegments)
{
    EXPECT_EQ(RecordingController::describe({}), QStringLiteral("none"));
    EXPECT_EQ(RecordingController::describe({{0.04, 12.46}}), QStringLiteral("0.0-12.5"));
    EXPECT_EQ(RecordingController::describe({{0.0, 12.4}, {15.0, 60.2}}), QStringLiteral("0.0-12.4,15.0-60.2"));
}

TEST(TakeDescription, LookWordsAreTheirOwnNotTheSettingsRawTexts)
{
    const struct {
        StudioBackground background;
        const char* word;
    } backgrounds[] = {{StudioBackground::linen, "linen"}, {StudioBackground::blushMesh, "blush"}, {StudioBackground::clay, "clay"},
        {StudioBackground::sunlitStudio, "sunlit"}, {StudioBackground::dotPaper, "dots"}, {StudioBackground::silkWaves, "silk"},
        {StudioBackground::darkRoom, "dark"}};
    for (const auto& c : backgrounds) {
        Look look;
        look.background = c.background;
        EXPECT_EQ(TakeDescription::lookObject(look)[QStringLiteral("bg")].toString(), QString::fromLatin1(c.word));
    }
    const struct {
        ZoomMode mode;
        const char* word;
    } modes[] = {{ZoomMode::smart, "smart"}, {ZoomMode::manual, "manual"}, {ZoomMode::off, "off"}, {ZoomMode::everyClick, "clicks"}};
    for (const auto& c : modes) {
        Look look;
        look.zoomMode = c.mode;
        EXPECT_EQ(TakeDescription::lookObject(look)[QStringLiteral("zoom_mode")].toString(), QString::fromLatin1(c.word));
    }

    Look look;
    look.layout = ScreenLayout::classic;
    look.face = FaceLayout::bottomRight;
    look.layoutMode = LayoutMode::fixed;
    look.grade = true;
    look.zoom = 2.5;
    look.ownCursor = true;
    const QJsonObject object = TakeDescription::lookObject(look);
    EXPECT_EQ(object.keys(),
        QStringList({"bg", "click_highlight", "face", "focus_window", "four_k", "grade", "layout", "layout_mode", "own_cursor", "wide",
            "zoom", "zoom_mode"}));
    EXPECT_EQ(object[QStringLiteral("layout")].toString(), QStringLiteral("classic"));
    EXPECT_EQ(object[QStringLiteral("face")].toString(), QStringLiteral("bottom-right"));
    EXPECT_EQ(object[QStringLiteral("layout_mode")].toString(), QStringLiteral("fixed"));
    EXPECT_TRUE(object[QStringLiteral("grade")].isBool());
    EXPECT_TRUE(object[QStringLiteral("own_cursor")].toBool());
    EXPECT_FALSE(object[QStringLiteral("four_k")].toBool());
    EXPECT_DOUBLE_EQ(object[QStringLiteral("zoom")].toDouble(), 2.5);
    EXPECT_TRUE(object[QStringLiteral("wide")].isDouble());
    EXPECT_DOUBLE_EQ(object[QStringLiteral("wide")].toDouble(), 1.0);
    Look defaults;
    EXPECT_EQ(TakeDescription::lookObject(defaults)[QStringLiteral("face")].toString(), QStringLiteral("tall-left"));
    EXPECT_EQ(TakeDescription::lookObject(defaults)[QStringLiteral("layout_mode")].toString(), QStringLiteral("dynamic"));
}

TEST(TakeDescription, OptionalKeysAppearOnlyWhenGiven)
{
    TakeDescription::Fields fields;
    fields.screenName = QStringLiteral("raw-2.mov");
    fields.duration = 60.5;
    fields.recordedAt = QDateTime(QDate(2026, 12, 5), QTime(14, 39, 25, 700), Qt::UTC);
    QJsonObject object = TakeDescription::object(fields);
    EXPECT_EQ(object.keys(), QStringList({"camera_segments", "duration", "look", "note", "recorded_at", "schema", "screen"}));
    EXPECT_EQ(object[QStringLiteral("recorded_at")].toString(), QStringLiteral("2026-12-05T14:39:25Z"));
    EXPECT_TRUE(object[QStringLiteral("camera_segments")].isArray());
    EXPECT_TRUE(object[QStringLiteral("camera_segments")].toArray().isEmpty());

    fields.faceName = QStringLiteral("face-2.mov");
    fields.phoneName = QStringLiteral("iphone-2.mov");
    fields.previewName = QStringLiteral("final-2.mov");
    object = TakeDescription::object(fields);
    EXPECT_EQ(object[QStringLiteral("face")].toString(), QStringLiteral("face-2.mov"));
    EXPECT_EQ(object[QStringLiteral("phone")].toString(), QStringLiteral("iphone-2.mov"));
    EXPECT_EQ(object[QStringLiteral("preview")].toString(), QStringLiteral("final-2.mov"));
}

TEST(TakeDescription, ZoomSidecarKeysAndFallbacks)
{
    ZoomTimeline zoom;
    ZoomTimeline::Segment keyed{1.0, 1.5, 4.0, 4.5, {{1.2, QPointF(0.25, 0.75), 1.8}, {3.0, QPointF(0.3, 0.7), 1.6}}, QStringLiteral("click")};
    ZoomTimeline::Segment bare{6.0, 6.5, 8.0, 8.5, {}, QStringLiteral("mark")};
    zoom.segments = {keyed, bare};
    const QJsonObject object = TakeDescription::zoomObject(zoom, ZoomMode::everyClick);
    EXPECT_EQ(object.keys(), QStringList({"mode", "zooms"}));
    EXPECT_EQ(object[QStringLiteral("mode")].toString(), QStringLiteral("Every click"));
    const QJsonArray zooms = object[QStringLiteral("zooms")].toArray();
    ASSERT_EQ(zooms.size(), 2);
    const QJsonObject first = zooms[0].toObject();
    EXPECT_EQ(first.keys(), QStringList({"end", "fullFrom", "fullTo", "reason", "scale", "start", "x", "y"}));
    EXPECT_DOUBLE_EQ(first[QStringLiteral("start")].toDouble(), 1.0);
    EXPECT_DOUBLE_EQ(first[QStringLiteral("fullFrom")].toDouble(), 1.5);
    EXPECT_DOUBLE_EQ(first[QStringLiteral("fullTo")].toDouble(), 4.0);
    EXPECT_DOUBLE_EQ(first[QStringLiteral("end")].toDouble(), 4.5);
    EXPECT_DOUBLE_EQ(first[QStringLiteral("scale")].toDouble(), 1.8);
    EXPECT_DOUBLE_EQ(first[QStringLiteral("x")].toDouble(), 0.25);
    EXPECT_DOUBLE_EQ(first[QStringLiteral("y")].toDouble(), 0.75);
    EXPECT_EQ(first[QStringLiteral("reason")].toString(), QStringLiteral("click"));
    const QJsonObject second = zooms[1].toObject();
    EXPECT_DOUBLE_EQ(second[QStringLiteral("scale")].toDouble(), 1.0);
    EXPECT_DOUBLE_EQ(second[QStringLiteral("x")].toDouble(), 0.5);
    EXPECT_DOUBLE_EQ(second[QStringLiteral("y")].toDouble(), 0.5);

    const QJsonObject empty = TakeDescription::zoomObject(ZoomTimeline::none(), ZoomMode::off);
    EXPECT_TRUE(empty[QStringLiteral("zooms")].isArray());
    EXPECT_TRUE(empty[QStringLiteral("zooms")].toArray().isEmpty());
    EXPECT_EQ(empty[QStringLiteral("mode")].toString(), QStringLiteral("Off"));
}

using TakeFiles = FinishTest;

TEST_F(TakeFiles, WritesPrettySortedThroughAHiddenSiblingAndLogsAFailure)
{
    const QString file = take(QStringLiteral("zoom.json"));
    RecordingController::saveZoomSidecar(ZoomTimeline::none(), ZoomMode::smart, file);
    const QByteArray bytes = read(file);
    EXPECT_TRUE(bytes.contains("\n    \"mode\": \"Smart\""));
    EXPECT_LT(bytes.indexOf("\"mode\""), bytes.indexOf("\"zooms\""));
    QDirIterator siblings(take(), {QStringLiteral(".*")}, QDir::Files | QDir::Hidden);
    EXPECT_FALSE(siblings.hasNext()) << "a hidden work file was left behind";

    // A folder standing where the file should go: the write fails, nothing is replaced, the log says so.
    QDir().mkpath(take(QStringLiteral("take.json")));
    EXPECT_FALSE(TakeDescription::write(take(QStringLiteral("take.json")), QJsonObject{{QStringLiteral("a"), 1}}));
    EXPECT_TRUE(QFileInfo(take(QStringLiteral("take.json"))).isDir());
    Diagnostics::flush();
    EXPECT_TRUE(readLog().contains(QStringLiteral("ERROR [write take.json]"))) << readLog().toStdString();
}

TEST_F(TakeFiles, HarnessLookReadsTheSettingsAndTheTakesOwnCursor)
{
    controller->setStudioBackground(StudioBackground::sunlitStudio);
    controller->setZoomMode(ZoomMode::everyClick);
    controller->setZoomAmount(2.2);
    controller->setExport4K(true);
    controller->setOwnCursor(true); // no screen take has started: the take's own value is still off
    const QJsonObject look = controller->harnessLook();
    EXPECT_EQ(look[QStringLiteral("bg")].toString(), QStringLiteral("sunlit"));
    EXPECT_EQ(look[QStringLiteral("zoom_mode")].toString(), QStringLiteral("clicks"));
    EXPECT_DOUBLE_EQ(look[QStringLiteral("zoom")].toDouble(), 2.2);
    EXPECT_TRUE(look[QStringLiteral("four_k")].toBool());
    EXPECT_FALSE(look[QStringLiteral("own_cursor")].toBool()) << "the take's value, not the published setting";
}

} // namespace
