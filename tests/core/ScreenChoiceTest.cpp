#include "core/ScreenChoice.h"

#include <gtest/gtest.h>

namespace {

// Off any real screen, so the desktop's panels never change the visible part.
const std::vector<ScreenDisplay> screens{{7, QStringLiteral("left"), QRect(-5000, 0, 1280, 720), false},
    {9, QStringLiteral("main"), QRect(-3720, 0, 1920, 1080), true}, {11, QStringLiteral("right"), QRect(-1800, 0, 800, 600), false}};

TEST(ScreenChoiceTest, TheSelectedScreenElseThePrimaryElseTheFirst)
{
    struct Row {
        std::vector<ScreenDisplay> listed;
        std::optional<quint32> selected;
        std::optional<uint32_t> chosen;
    };
    const std::vector<ScreenDisplay> noPrimary{screens[0], screens[2]};
    for (const Row& row : {Row{screens, 11u, 11u}, Row{screens, std::nullopt, 9u}, Row{screens, 42u, 9u}, Row{noPrimary, 42u, 7u},
             Row{{}, 9u, std::nullopt}}) {
        const std::optional<ScreenPlace> place = ScreenChoice::selected(row.listed, row.selected);
        ASSERT_EQ(place.has_value(), row.chosen.has_value());
        if (place) {
            EXPECT_EQ(place->display.id, *row.chosen);
            EXPECT_EQ(place->visibleFrame, place->display.frame);
        }
    }
}

TEST(ScreenChoiceTest, OnlyAListedSelectionCountsAndNamesSayTheSize)
{
    const std::vector<DisplayInfo> displays{{3, 1920, 1080, QStringLiteral("HDMI-1")}, {4, 800, 600, QString()}};
    EXPECT_TRUE(ScreenChoice::listed(displays, 4u));
    EXPECT_FALSE(ScreenChoice::listed(displays, 5u));
    EXPECT_FALSE(ScreenChoice::listed(displays, std::nullopt));
    EXPECT_FALSE(ScreenChoice::listed({}, 3u));
    EXPECT_EQ(ScreenChoice::displayName(displays[0]), QStringLiteral("HDMI-1 — 1920×1080"));
    EXPECT_EQ(ScreenChoice::displayName(displays[1]), QStringLiteral("Display 4 — 800×600"));
}

} // namespace
