#include "capture/ScreenGeometry.h"
#include "capture/WindowFilter.h"
#include "platform/x11/CursorBlend.h"
#include "platform/x11/ExclusionPlan.h"

#include <gtest/gtest.h>

#include <vector>

TEST(ScreenGeometry, widerDisplaysAreCroppedLeftAndRightAndTallerOnesTopAndBottom)
{
    const QRectF ultrawide = ScreenGeometry::sourceRect(3440, 1440);
    EXPECT_DOUBLE_EQ(ultrawide.x(), 440);
    EXPECT_DOUBLE_EQ(ultrawide.width(), 2560);
    EXPECT_DOUBLE_EQ(ultrawide.height(), 1440);
    EXPECT_EQ(ScreenGeometry::outputSize(ultrawide, 1, 1080), QSize(1920, 1080));

    const QRectF laptop = ScreenGeometry::sourceRect(1512, 982);
    EXPECT_DOUBLE_EQ(laptop.y(), 65.75);
    EXPECT_DOUBLE_EQ(laptop.width(), 1512);
    EXPECT_DOUBLE_EQ(laptop.height(), 850.5);
    EXPECT_EQ(ScreenGeometry::outputSize(laptop, 2, 1080), QSize(1920, 1080));
    // 3024 × 1701 before the cap; odd sides round down to even.
    EXPECT_EQ(ScreenGeometry::outputSize(laptop, 2, std::nullopt), QSize(3024, 1700));
}

TEST(ScreenGeometry, exactSixteenByNineIsWholeAndACapAboveTheHeightChangesNothing)
{
    EXPECT_EQ(ScreenGeometry::sourceRect(640, 360), QRectF(0, 0, 640, 360));
    EXPECT_EQ(ScreenGeometry::outputSize(QRectF(0, 0, 640, 360), 1, 1080), QSize(640, 360));
    EXPECT_EQ(ScreenGeometry::outputSize(QRectF(0, 0, 1280, 720), 1, 360), QSize(640, 360));
    // 4:3 display: a centred band.
    EXPECT_EQ(ScreenGeometry::sourceRect(1024, 768), QRectF(0, 96, 1024, 576));
    EXPECT_TRUE(ScreenGeometry::sourceRect(0, 720).isEmpty());
}

namespace {
WindowInfo window(QString wmClass, QString title, int64_t pid = 0)
{
    WindowInfo info;
    info.wmInstance = wmClass.toLower();
    info.wmClass = std::move(wmClass);
    info.title = std::move(title);
    info.pid = pid;
    return info;
}
}

TEST(WindowFilter, hidesOwnWindowsAndPrivateOrScriptKorvathWindowsOnly)
{
    const WindowFilter filter(4242, QStringLiteral("Olvennar"));
    // Own process, whatever its title; own class when the window carries no pid.
    EXPECT_TRUE(filter.excludes(window(QStringLiteral("Whatever"), QStringLiteral("Teleprompter"), 4242)));
    EXPECT_TRUE(filter.excludes(window(QStringLiteral("Olvennar"), QStringLiteral("Bubble"))));
    EXPECT_FALSE(filter.excludes(window(QStringLiteral("Olvennar"), QStringLiteral("Bubble"), 17))); // another process borrowing the class

    EXPECT_TRUE(filter.excludes(window(QStringLiteral("Korvath"), QStringLiteral("x \u00B7 private"))));
    EXPECT_TRUE(filter.excludes(window(QStringLiteral("korvath"), QStringLiteral("Plan \u00B7 PRIVATE board"))));
    EXPECT_TRUE(filter.excludes(window(QStringLiteral("com.pravik.korvath"), QStringLiteral("Launch - Script"))));
    EXPECT_FALSE(filter.excludes(window(QStringLiteral("Korvath"), QStringLiteral("Launch board"))));
    EXPECT_FALSE(filter.excludes(window(QStringLiteral("Korvath"), QStringLiteral("x private")))); // no middle dot
    EXPECT_FALSE(filter.excludes(window(QStringLiteral("Korvath"), QStringLiteral("notes-script")))); // needs " - "
    EXPECT_FALSE(filter.excludes(window(QStringLiteral("Firefox"), QStringLiteral("x \u00B7 private"))));
    EXPECT_FALSE(filter.excludes(window(QString(), QString())));
}

TEST(ExclusionPlan, recomposesAnExcludedAreaFromTheKeptWindowsInStackingOrder)
{
    std::vector<WindowInfo> windows(4);
    windows[0].frame = QRect(0, 0, 400, 300);   // red, bottom
    windows[1].frame = QRect(100, 100, 200, 100); // excluded
    windows[2].frame = QRect(250, 150, 100, 100); // kept, above the excluded one
    windows[3].frame = QRect(600, 0, 50, 50);     // excluded, outside the grabbed rectangle
    const ExclusionPlan plan = ExclusionPlan::make(windows, {false, true, false, true}, QRect(0, 0, 500, 400));
    ASSERT_EQ(plan.regions.size(), 1u);
    EXPECT_EQ(plan.regions[0].area, QRect(100, 100, 200, 100));
    ASSERT_EQ(plan.regions[0].patches.size(), 2u);
    EXPECT_EQ(plan.regions[0].patches[0].windowIndex, 0u);
    EXPECT_EQ(plan.regions[0].patches[0].area, QRect(100, 100, 200, 100));
    EXPECT_EQ(plan.regions[0].patches[1].windowIndex, 2u);
    EXPECT_EQ(plan.regions[0].patches[1].area, QRect(250, 150, 50, 50));

    // Clipped to the grabbed rectangle; two overlapping excluded windows never paint each other.
    const ExclusionPlan clipped = ExclusionPlan::make(windows, {false, true, true, false}, QRect(0, 0, 280, 400));
    ASSERT_EQ(clipped.regions.size(), 2u);
    EXPECT_EQ(clipped.regions[0].area, QRect(100, 100, 180, 100));
    EXPECT_EQ(clipped.regions[1].area, QRect(250, 150, 30, 100));
    for (const auto& region : clipped.regions)
        for (const auto& patch : region.patches)
            EXPECT_EQ(patch.windowIndex, 0u);
    EXPECT_TRUE(ExclusionPlan::make(windows, {false, false, false, false}, QRect(0, 0, 500, 400)).isEmpty());
}

TEST(CursorBlend, premultipliedOverAndClippedAtEveryEdge)
{
    std::vector<uint32_t> frame(4 * 3, 0xFF0000FFu); // opaque blue, BGRA in memory
    const uint32_t opaqueWhite = 0xFFFFFFFFu;
    const uint32_t halfBlack = 0x80000000u;
    const uint32_t clear = 0x00FF00FFu; // alpha 0 never paints, whatever its colour bytes say
    const std::vector<uint32_t> cursor = {opaqueWhite, halfBlack, clear, opaqueWhite};
    CursorBlend::over(reinterpret_cast<uint8_t*>(frame.data()), 16, 4, 3, cursor.data(), 2, 2, 3, 2); // only its top-left pixel lands
    EXPECT_EQ(frame[2 * 4 + 3], opaqueWhite);
    EXPECT_EQ(frame[2 * 4 + 2], 0xFF0000FFu);
    CursorBlend::over(reinterpret_cast<uint8_t*>(frame.data()), 16, 4, 3, cursor.data(), 2, 2, -1, -1); // only its bottom-right lands
    EXPECT_EQ(frame[0], opaqueWhite);
    CursorBlend::over(reinterpret_cast<uint8_t*>(frame.data()), 16, 4, 3, cursor.data(), 2, 2, 1, 0);
    EXPECT_EQ(frame[1], opaqueWhite);
    // Half-covering black over blue: blue halves, alpha stays opaque.
    EXPECT_EQ(frame[2] >> 24, 0xFFu);
    EXPECT_NEAR(static_cast<int>(frame[2] & 0xFF), 127, 1);
    EXPECT_EQ(frame[4 + 1], 0xFF0000FFu);
    EXPECT_EQ(frame[4 + 2], opaqueWhite);
}
