#include "teleprompter/PrompterBarLayout.h"

#include <gtest/gtest.h>

namespace {

using PrompterBarLayout::Item;

// Shaped like the follow bar: two menus, three buttons, two glyphs with their sliders, and the status.
const std::vector<Item> followRow{{60, 60}, {84, 84}, {20, 20}, {20, 20}, {20, 20}, {16, 16}, {70, 40}, {12, 12}, {70, 40},
    {140, 48, true}};
constexpr int naturalWidth = 2 * 14 + 512 + 9 * 12;
constexpr int floorWidth = 2 * 8 + 360 + 9 * 6;

TEST(PrompterBarLayoutTest, ARowGivesWayGapsFirstThenSlidersThenPaddingThenItsText)
{
    struct Row {
        int available;
        int spacing, padding, slider, status, width;
        const char* what;
    };
    const std::vector<Row> rows{
        {1000, 12, 14, 70, 140, naturalWidth, "room to spare: the row as it is"},
        {naturalWidth, 12, 14, 70, 140, naturalWidth, "just fits"},
        {naturalWidth - 1, 11, 14, 70, 140, naturalWidth - 9, "a point over: every gap a point narrower"},
        {600, 6, 14, 70, 140, naturalWidth - 54, "the gaps alone"},
        {544, 6, 14, 45, 140, 544, "the panel's least width: the sliders narrow, the status stays whole"},
        {480, 6, 8, 40, 98, 480, "then the padding, then the status"},
        {300, 6, 8, 40, 48, floorWidth, "every floor reached: wider than the room"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const PrompterBarLayout::Fit fit = PrompterBarLayout::fit(followRow, {}, row.available);
        EXPECT_EQ(fit.spacing, row.spacing);
        EXPECT_EQ(fit.padding, row.padding);
        EXPECT_EQ(fit.widths[6], row.slider);
        EXPECT_EQ(fit.widths[8], row.slider) << "both sliders alike";
        EXPECT_EQ(fit.widths[9], row.status);
        EXPECT_EQ(fit.width, row.width);
        EXPECT_EQ(std::vector<int>(fit.widths.begin(), fit.widths.begin() + 6), std::vector<int>({60, 84, 20, 20, 20, 16}))
            << "menus and buttons never narrow";
    }
    for (int available = floorWidth; available <= naturalWidth; ++available)
        EXPECT_LE(PrompterBarLayout::fit(followRow, {}, available).width, available) << available;
    EXPECT_EQ(PrompterBarLayout::fit({}, {}, 10).width, 2 * 8) << "an empty capsule gives up its padding";
    EXPECT_EQ(PrompterBarLayout::fit({{100, 50}}, {}, 100).widths, std::vector<int>{72}) << "no gap to close";
}

} // namespace
