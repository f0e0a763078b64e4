#include "teleprompter/FollowText.h"
#include "teleprompter/ScriptFollower.h"

#include <gtest/gtest.h>

namespace {

using TeleprompterScript::Style;

TEST(FollowTextTest, SentencesEndAtMarksFollowedBySpaceOrQuote)
{
    struct Case {
        QString text;
        QStringList expected;
    };
    const Case cases[] = {
        {u"Hello there. How are you?  Fine!"_qs, {u"Hello there."_qs, u"How are you?"_qs, u"Fine!"_qs}},
        {u"It costs 3.5 dollars. Wait... what? Yes"_qs,
         {u"It costs 3.5 dollars."_qs, u"Wait..."_qs, u"what?"_qs, u"Yes"_qs}},
        {u"He said \"stop.\" Then"_qs, {u"He said \"stop.\""_qs, u"Then"_qs}},
        {u"Done.\u201D\u2019) Next"_qs, {u"Done.\u201D\u2019)"_qs, u"Next"_qs}},
        {u"(Really.) Yes"_qs, {u"(Really.) Yes"_qs}},
        {u"  \n "_qs, {}},
        {u"One\u2026two"_qs, {u"One\u2026two"_qs}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FollowText::sentences(c.text), c.expected) << c.text.toStdString();
}

TEST(FollowTextTest, ChunksMergeSentencesAndCutLongOnesAfterCommas)
{
    const QString sixty = QString(59, u'x') + u'.';
    EXPECT_EQ(FollowText::chunks(u"One. Two. Three."_qs, 130), QStringList{u"One. Two. Three."_qs});
    EXPECT_EQ(FollowText::chunks(sixty + u' ' + sixty + u' ' + sixty, 130),
              (QStringList{sixty + u' ' + sixty, sixty}));

    // 180 characters without punctuation: never cut.
    const QString longSentence = QStringList(18, u"abcdefghi"_qs).join(u' ');
    ASSERT_GT(longSentence.size(), 130);
    ASSERT_LE(longSentence.size(), 195);
    EXPECT_EQ(FollowText::chunks(longSentence, 130), QStringList{longSentence});

    // Five 50-character clauses (254 characters): pieces close after a comma once they hold 86 or more.
    const QString clause = u"abcdefghi abcdefghi abcdefghi abcdefghi abcdefghi"_qs;
    const QString sentence = QStringList{clause + u',', clause + u',', clause + u',', clause + u',', clause + u'.'}.join(u' ');
    const QStringList cut = FollowText::chunks(sentence, 130);
    ASSERT_EQ(cut.size(), 3);
    EXPECT_EQ(cut[0], clause + u", "_qs + clause + u',');
    EXPECT_EQ(cut[2], clause + u'.');
    EXPECT_EQ(cut.join(u' '), sentence);

    // Eight 30-character clauses: a piece closes only at 86 characters (three clauses), not at every comma.
    const QString shortClause = u"abcdefg abcdefg abcdefg abcde,"_qs;
    const QStringList eight(8, shortClause);
    const QStringList pieces = FollowText::chunks(eight.join(u' '), 130);
    EXPECT_EQ(pieces, (QStringList{eight.mid(0, 3).join(u' '), eight.mid(3, 3).join(u' '), eight.mid(6).join(u' ')}));
}

TEST(FollowTextTest, TokensSplitHyphensAndSpellSmallNumbers)
{
    struct Case {
        QString text;
        QStringList expected;
    };
    const Case cases[] = {
        {u"twenty-one"_qs, {u"twenty"_qs, u"one"_qs}},
        {u"7"_qs, {u"seven"_qs}},
        {u"07"_qs, {u"seven"_qs}},
        {u"42"_qs, {u"forty"_qs, u"two"_qs}},
        {u"100"_qs, {u"100"_qs}},
        {u"don't"_qs, {u"dont"_qs}},
        {u"and/or"_qs, {u"and"_qs, u"or"_qs}},
        {u"\u2014 ... !"_qs, {}},
        {u"Hello,\tWorld!\nself\u2013made"_qs, {u"hello"_qs, u"world"_qs, u"self"_qs, u"made"_qs}},
        {u"a2b"_qs, {u"a2b"_qs}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FollowText::tokens(c.text), c.expected) << c.text.toStdString();
}

// Cards are in order, spoken token ranges are contiguous and cover the tokens, other cards are empty.
void expectCardInvariants(const ScriptFollower& follower)
{
    int next = 0;
    for (size_t i = 0; i < follower.boxes().size(); ++i) {
        const FollowBox& card = follower.boxes()[i];
        if (card.kind.isSpoken()) {
            EXPECT_EQ(card.tokenStart, next);
            EXPECT_LT(card.tokenStart, card.tokenEnd);
            EXPECT_FALSE(card.words.empty());
            EXPECT_EQ(card.words.back().tokenEnd, card.tokenEnd);
            for (int t = card.tokenStart; t < card.tokenEnd; ++t)
                EXPECT_EQ(follower.tokenBox()[size_t(t)], int(i));
            next = card.tokenEnd;
        } else {
            EXPECT_EQ(card.tokenStart, next);
            EXPECT_EQ(card.tokenEnd, next);
            EXPECT_TRUE(card.words.empty());
            EXPECT_FALSE(card.gesture);
        }
    }
    EXPECT_EQ(next, follower.tokens().size());
    EXPECT_EQ(follower.tokenBox().size(), size_t(follower.tokens().size()));
}

struct CardShape {
    FollowBox::Kind kind;
    QString text;
    std::optional<QString> gesture;
};

void expectShapes(const ScriptFollower& follower, const std::vector<CardShape>& expected, const char* name)
{
    ASSERT_EQ(follower.boxes().size(), expected.size()) << name;
    for (size_t i = 0; i < expected.size(); ++i) {
        const FollowBox& card = follower.boxes()[i];
        EXPECT_TRUE(card.kind == expected[i].kind) << name << " card " << i;
        EXPECT_EQ(card.text, expected[i].text) << name << " card " << i;
        EXPECT_EQ(card.gesture, expected[i].gesture) << name << " card " << i;
    }
    expectCardInvariants(follower);
}

TEST(FollowCardsTest, ScriptsBecomeCards)
{
    using Kind = FollowBox::Kind;
    const QString sixty = QString(59, u'x') + u'.';
    struct Case {
        const char* name;
        QString text;
        Style style;
        std::vector<CardShape> expected;
    };
    const Case cases[] = {
        {"empty", QString(), Style::script, {}},
        {"three short sentences make one card", u"One here. Two there.\nThree now."_qs, Style::script,
         {{Kind::spoken(), u"One here. Two there. Three now."_qs, {}}}},
        {"a blank line always starts a card", u"One.\n\nTwo."_qs, Style::script,
         {{Kind::spoken(), u"One."_qs, {}}, {Kind::spoken(), u"Two."_qs, {}}}},
        {"long prose is cut at 130 characters", sixty + u' ' + sixty + u' ' + sixty, Style::script,
         {{Kind::spoken(), sixty + u' ' + sixty, {}}, {Kind::spoken(), sixty, {}}}},
        {"SAY is prose in script style", u"SAY hello there"_qs, Style::script,
         {{Kind::spoken(), u"SAY hello there"_qs, {}}}},
        {"SAY and SHOW in mixed style", u"Intro.\nSAY hello there\nSHOW the chart\nOutro."_qs, Style::mixed,
         {{Kind::spoken(), u"Intro."_qs, {}}, {Kind::spoken(), u"hello there"_qs, {}},
          {Kind::action(u"SHOW"_qs), u"the chart"_qs, {}}, {Kind::spoken(), u"Outro."_qs, {}}}},
        {"a keyword typed in lower case stays prose", u"say hello\nthere"_qs, Style::mixed,
         {{Kind::spoken(), u"say hello there"_qs, {}}}},
        {"cues style: each line a card", u"one line\nanother line"_qs, Style::cues,
         {{Kind::spoken(), u"one line"_qs, {}}, {Kind::spoken(), u"another line"_qs, {}}}},
        {"gesture lines join", u"[PINCH]\n[big]\nHello."_qs, Style::script,
         {{Kind::spoken(), u"Hello."_qs, u"PINCH \u00B7 BIG"_qs}}},
        {"a gesture skips the orb card", u"[PINCH]\n[ORB]breathe[/ORB]\nHello."_qs, Style::script,
         {{Kind::orb(), u"breathe"_qs, {}}, {Kind::spoken(), u"Hello."_qs, u"PINCH"_qs}}},
        {"a gesture waits past an action card", u"[BIG] SHOW chart\nHello."_qs, Style::mixed,
         {{Kind::action(u"SHOW"_qs), u"chart"_qs, {}}, {Kind::spoken(), u"Hello."_qs, u"BIG"_qs}}},
        {"a SAY without words makes no card and keeps the gesture", u"[PINCH]\nSAY \u2014 ...\nHi."_qs, Style::mixed,
         {{Kind::spoken(), u"Hi."_qs, u"PINCH"_qs}}},
    };
    for (const Case& c : cases) {
        ScriptFollower follower;
        follower.load(c.text, c.style);
        expectShapes(follower, c.expected, c.name);
    }
}

} // namespace
