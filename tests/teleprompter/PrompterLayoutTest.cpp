#include "teleprompter/PrompterLayout.h"

#include "teleprompter/CardLettering.h"
#include "teleprompter/TextCharacters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

FollowBox spoken(const QString& text, std::optional<QString> gesture = std::nullopt)
{
    FollowBox card;
    card.text = text;
    int end = 0;
    for (QStringView word : TextCharacters::words(text))
        card.words.push_back({word.toString(), ++end});
    card.tokenEnd = end;
    card.gesture = std::move(gesture);
    return card;
}

FollowBox unspoken(FollowBox::Kind kind, const QString& text)
{
    FollowBox card;
    card.kind = std::move(kind);
    card.text = text;
    return card;
}

using Range = BoxLayout::WordRange;

const QString twoLines = u"I went to the shop, and then we walked home together"_qs; // breaks before "and" at 34
const QString thirtyFour = u"abcd efgh ijkl mnop qrst uvwx yzab"_qs;

TEST(PrompterLayoutTest, SpokenCardsAtThirtyTwoPointsInSixHundred)
{
    const PrompterLayout layout = PrompterLayout::build({spoken(twoLines), spoken(twoLines, u"PINCH"_qs)}, 32, 600);
    ASSERT_EQ(layout.boxes.size(), 2u);
    const BoxLayout& plain = layout.boxes[0];
    EXPECT_EQ(plain.lines, (std::vector<Range>{{0, 5}, {5, 11}}));
    EXPECT_EQ(plain.head, 0);
    EXPECT_EQ(plain.cardHeight, 0);
    EXPECT_DOUBLE_EQ(plain.height, 25.6 + 2 * 45.44);
    const BoxLayout& gestured = layout.boxes[1];
    EXPECT_EQ(gestured.index, 1);
    EXPECT_DOUBLE_EQ(gestured.head, 19.84);
    EXPECT_DOUBLE_EQ(gestured.y, plain.height);
    EXPECT_DOUBLE_EQ(gestured.height, 25.6 + 19.84 + 2 * 45.44);
    EXPECT_DOUBLE_EQ(layout.totalHeight, plain.height + gestured.height);
}

TEST(PrompterLayoutTest, CharactersPerLineFollowWidthAndFontSize)
{
    const auto lineCount = [](double fontSize, double width) {
        return PrompterLayout::build({spoken(thirtyFour)}, fontSize, width).boxes[0].lines.size();
    };
    EXPECT_EQ(lineCount(32, 600), 1u); // 600 / 17.6 = 34.09 -> 34
    EXPECT_EQ(lineCount(32, 598), 2u); // 33.97 -> 33
    EXPECT_EQ(lineCount(0, 10), 1u);   // no font size: 40 characters
    EXPECT_EQ(lineCount(-3, 10), 1u);
    // A very narrow column still holds 14 characters per line.
    const FollowBox card = spoken(thirtyFour);
    std::vector<Range> expected;
    int lower = 0;
    for (int start : card.lineStarts(14)) {
        expected.push_back({lower, start});
        lower = start;
    }
    expected.push_back({lower, 7});
    ASSERT_GT(expected.size(), 2u);
    EXPECT_EQ(PrompterLayout::build({card}, 32, 50).boxes[0].lines, expected);
    EXPECT_EQ(PrompterLayout::build({card}, 32, -100).boxes[0].lines, expected);
}

TEST(PrompterLayoutTest, ReadingLineSitsOnTheLineOfTheNextWord)
{
    const PrompterLayout layout = PrompterLayout::build(
        {spoken(twoLines, u"BIG"_qs), unspoken(FollowBox::Kind::action(u"SHOW"_qs), u"chart"_qs)}, 32, 600);
    const double first = 19.84 + 22.72; // below the gesture head, half a line down
    const double second = first + 45.44;
    // All read (11 and past): stays on the last line.
    for (auto [word, y] : {std::pair{0, first}, {4, first}, {5, second}, {11, second}, {500, second}, {-7, first}})
        EXPECT_DOUBLE_EQ(layout.readY(0, word), y) << word;
    EXPECT_DOUBLE_EQ(layout.readY(1, 3), layout.boxes[1].y + 22.72);
    EXPECT_EQ(layout.readY(2, 0), 0);
}

// An action or orb card is as tall as its text once fitted: a long text takes its four or three lines at the
// smallest size and no more, however long it runs; the page then fits the same lines into that card.
TEST(PrompterLayoutTest, ActionAndOrbCardsHoldTheirFittedTextAndNoMore)
{
    const auto words = [](int count) { return QStringList(count, u"many"_qs).join(u' '); };
    for (const FollowBox::Kind& kind : {FollowBox::Kind::action(u"SHOW"_qs), FollowBox::Kind::orb()}) {
        const CardLettering lettering = CardLettering::of(kind.tag(), 32);
        const auto cardHeight = [&](const QString& text) { return PrompterLayout::build({unspoken(kind, text)}, 32, 600).boxes[0].cardHeight; };
        const double around = 2 * CardLettering::verticalPadding + lettering.headHeight() + lettering.gap;
        EXPECT_DOUBLE_EQ(cardHeight(u"the chart"_qs), around + lettering.lineHeight());
        const double fullest = around + lettering.maxLines * lettering.lineHeight() * CardText::smallestScale;
        EXPECT_DOUBLE_EQ(cardHeight(words(80)), fullest);
        EXPECT_DOUBLE_EQ(cardHeight(words(400)), fullest);
        const CardText shown = lettering.fit(words(80), 600, fullest);
        EXPECT_EQ(shown.lines.size(), lettering.maxLines);
        EXPECT_TRUE(shown.cut);
    }
    EXPECT_EQ(CardLettering::of(FollowBox::Kind::Tag::action, 32).maxLines, 4);
    EXPECT_EQ(CardLettering::of(FollowBox::Kind::Tag::orb, 32).maxLines, 3);
    EXPECT_EQ(CardLettering::of(FollowBox::Kind::Tag::action, 32).head.weight(), QFont::ExtraBold) << "the label is heavy, not black";
}

TEST(PrompterLayoutTest, NonFiniteSizesNeverBreakTheLayout)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (auto [fontSize, width] : {std::pair{nan, 600.0}, {32.0, nan}, {32.0, inf}, {inf, 600.0}}) {
        const PrompterLayout layout = PrompterLayout::build({spoken(twoLines)}, fontSize, width);
        ASSERT_EQ(layout.boxes.size(), 1u);
        EXPECT_FALSE(layout.boxes[0].lines.empty());
        (void)layout.readY(0, 3);
    }
}

} // namespace
