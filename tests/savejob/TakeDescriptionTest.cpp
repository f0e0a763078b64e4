#include "FinishFixture.h"

#include "finishing/TakeDescription.h"
#include "platform/system/Diagnostics.h"
#include "takes/ScreenStopPlan.h"

#include <QDirIterator>
#include <QJsonArray>

#include <gtest/gtest.h>

namespace {

using TakeDescription::Look;

TEST(TakeDescription, DescribeSegments)
{
    EXPECT_EQ(ScreenStopPlan::describe({}), QStringLiteral("none"));
    EXPECT_EQ(ScreenStopPlan::describe({{0.04, 12.46}}), QStringLiteral("0.0-12.5"));
    EXPECT_EQ(ScreenStopPlan::describe({{0.0, 12.4}, {15.0, 60.2}}), QStringLiteral("0.0-12.4,15.0-60.2"));
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
    Look look;
    look.layout = ScreenLayout::classic;
    look.face = FaceLayout::bottomRight;
    look.layoutMode = LayoutMode::fixed;
    look.grade = true;
    look.zoom = 2.5;
    look.ownCursor = true;
    look.zoomMode = ZoomMode::everyClick;
    const QJsonObject object = TakeDescription::lookObject(look);
    EXPECT_EQ(object, (QJsonObject{{"bg", "blush"}, {"click_highlight", false}, {"face", "bottom-right"}, {"focus_window", false},
                          {"four_k", false}, {"grade", true}, {"layout", "classic"}, {"layout_mode", "fixed"}, {"own_cursor", true},
                          {"wide", 1.0}, {"zoom", 2.5}, {"zoom_mode", "clicks"}}));
}

TEST(TakeDescription, ZoomSidecarKeysAndFallbacks)
{
    ZoomTimeline zoom;
    ZoomTimeline::Segment keyed{1.0, 1.5, 4.0, 4.5, {{1.2, QPointF(0.25, 0.75), 1.8}, {3.0, QPointF(0.3, 0.7), 1.6}}, QStringLiteral("click")};
    ZoomTimeline::Segment bare{6.0, 6.5, 8.0, 8.5, {}, QStringLiteral("mark")};
    zoom.segments = {keyed, bare};
    const QJsonObject object = TakeDescription::zoomObject(zoom, ZoomMode::everyClick);
    EXPECT_EQ(object, (QJsonObject{{"mode", "Every click"},
                          {"zooms", QJsonArray{QJsonObject{{"start", 1.0}, {"fullFrom", 1.5}, {"fullTo", 4.0}, {"end", 4.5}, {"scale", 1.8},
                                                   {"x", 0.25}, {"y", 0.75}, {"reason", "click"}},
                                        QJsonObject{{"start", 6.0}, {"fullFrom", 6.5}, {"fullTo", 8.0}, {"end", 8.5}, {"scale", 1.0},
                                                   {"x", 0.5}, {"y", 0.5}, {"reason", "mark"}}}}}));
    EXPECT_EQ(TakeDescription::zoomObject(ZoomTimeline::none(), ZoomMode::off), (QJsonObject{{"mode", "Off"}, {"zooms", QJsonArray{}}}));
}

using SidecarFiles = FinishTest;

TEST_F(SidecarFiles, WritesPrettySortedThroughAHiddenSiblingAndLogsAFailure)
{
    const QString file = take(QStringLiteral("zoom.json"));
    HeldSidecars refused;
    ScreenStopPlan::saveZoomSidecar(ZoomTimeline::none(), ZoomMode::smart, file, refused);
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

} // namespace
