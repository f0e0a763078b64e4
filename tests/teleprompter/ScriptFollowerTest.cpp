#include "teleprompter/ScriptFollower.h"

#include <gtest/gtest.h>

#include <climits>
#include <tuple>

namespace {

using TeleprompterScript::Style;

// Distinct three-letter words: alike only when equal, none of them a stop word.
QStringList syntheticWords(int count)
{
    const QString consonants = u"bdfgklmnprstvz"_qs;
    const QString vowels = u"aeiou"_qs;
    QStringList words;
    for (QChar first : consonants) {
        for (QChar vowel : vowels) {
            for (QChar last : consonants) {
                const QString word = QString(first) + vowel + last;
                if (!ScriptFollower::isStopWord(word))
                    words.append(word);
                if (words.size() == count)
                    return words;
            }
        }
    }
    return words;
}

// A script of distinct words, so every match has one place.
class SyntheticScriptTest : public ::testing::Test {
protected:
    void SetUp() override { follower.load(words.join(u' '), Style::script); }
    const QStringList words = syntheticWords(100);
    ScriptFollower follower;
};

TEST(ScriptFollowerTest, TokenLikeness)
{
    struct Case {
        QString script;
        QString heard;
        bool expected;
    };
    const Case cases[] = {
        {u"hello"_qs, u"hello"_qs, true},     {u"hello"_qs, u"hallo"_qs, true},     // one substitution, 5+
        {u"cut"_qs, u"cat"_qs, false},        {u"sand"_qs, u"send"_qs, false},      // under 5 characters
        {u"test"_qs, u"testing"_qs, true},    {u"testing"_qs, u"test"_qs, true},    // prefix, 4+
        {u"tes"_qs, u"testing"_qs, false},    {u"record"_qs, u"records"_qs, true},
        {u"record"_qs, u"recxrds"_qs, false}, {u"abcdef"_qs, u"abdef"_qs, true},    // deletion
        {u"abcde"_qs, u"abde"_qs, false},     {u"a"_qs, u"a"_qs, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ScriptFollower::alike(c.script, c.heard), c.expected) << c.script.toStdString() << "/" << c.heard.toStdString();

    const std::tuple<const char16_t*, const char16_t*, bool> edits[] = {{u"abc", u"abcd", true}, {u"abcx", u"abc", true},
        {u"xbc", u"abc", true}, {u"", u"a", true}, {u"abc", u"abc", true}, {u"abc", u"abcde", false}, {u"ab", u"ba", false},
        {u"abcd", u"xbcdy", false}};
    for (const auto& [a, b, expected] : edits)
        EXPECT_EQ(ScriptFollower::lev1(a, b), expected) << QString::fromUtf16(a).toStdString() << "/" << QString::fromUtf16(b).toStdString();
}

TEST(ScriptFollowerTest, NothingToFollowOrNothingHeard)
{
    ScriptFollower follower;
    EXPECT_FALSE(follower.hear(u"anything at all"_qs));
    EXPECT_EQ(follower.cursor(), 0);
    EXPECT_TRUE(follower.heardTail().isEmpty());

    follower.load(u"Quantum gardens bloom."_qs, Style::script);
    EXPECT_FALSE(follower.hear(u"Quantum"_qs)); // one word scores 1.0 < 1.4
    EXPECT_TRUE(follower.hear(u"Quantum gardens"_qs));
    EXPECT_EQ(follower.heardTail(), u"quantum gardens");
    EXPECT_FALSE(follower.hear(u"... \u2014 !"_qs));
    EXPECT_EQ(follower.heardTail(), u"quantum gardens");
    EXPECT_TRUE(follower.hear(u"one two three four five six seven gardens bloom"_qs));
    EXPECT_EQ(follower.heardTail(), u"five six seven gardens bloom");
}

TEST(ScriptFollowerTest, AcceptanceScoresNearTheCursor)
{
    ScriptFollower follower;
    follower.load(u"Quantum gardens bloom quietly tonight across distant valleys."_qs, Style::script);
    const auto match = follower.bestMatch({u"quantum"_qs, u"gardens"_qs, u"bloom"_qs}, 0, 7);
    ASSERT_TRUE(match);
    EXPECT_EQ(*match, (ScriptFollower::Match{3, 3.0}));
    EXPECT_TRUE(follower.hear(u"Quantum gardens bloom"_qs));
    EXPECT_EQ(follower.cursor(), 3);
    EXPECT_FALSE(follower.hear(u"Quantum gardens bloom"_qs)); // same partial: nothing new
    EXPECT_EQ(follower.lastKey(), u"quantum gardens bloom");

    follower.load(u"The and to quantum gardens."_qs, Style::script);
    EXPECT_DOUBLE_EQ(follower.align({u"the"_qs, u"and"_qs, u"to"_qs}, 2), 1.2);
    EXPECT_FALSE(follower.hear(u"the and to"_qs)); // 1.2 < 1.4
    EXPECT_EQ(follower.cursor(), 0);
    EXPECT_EQ(follower.misses(), 1);
}

TEST_F(SyntheticScriptTest, FarAndBackwardMovesNeedStrongerEvidence)
{
    // Ending 10 ahead needs 2.6: two words (2.0) are not enough, three (3.0) are.
    EXPECT_FALSE(follower.hear(words.mid(8, 2).join(u' ')));
    EXPECT_TRUE(follower.hear(words.mid(7, 3).join(u' ')));
    EXPECT_EQ(follower.cursor(), 10);
    EXPECT_TRUE(follower.hear(words.mid(10, 6).join(u' ')));
    EXPECT_EQ(follower.cursor(), 16);
    // Ending behind the cursor needs 3.4: three words (3.0) stay, four (4.0) go back.
    EXPECT_FALSE(follower.hear(words.mid(9, 3).join(u' ')));
    EXPECT_EQ(follower.cursor(), 16);
    EXPECT_TRUE(follower.hear(words.mid(8, 4).join(u' ')));
    EXPECT_EQ(follower.cursor(), 12);
}

TEST_F(SyntheticScriptTest, MatchAtTheCursorResetsMisses)
{
    ASSERT_TRUE(follower.hear(words.mid(0, 3).join(u' ')));
    EXPECT_FALSE(follower.hear(u"zzzz yyyy"_qs));
    EXPECT_FALSE(follower.hear(u"zzzz yyyy xxxx"_qs));
    EXPECT_EQ(follower.misses(), 2);
    EXPECT_FALSE(follower.hear(words.mid(0, 3).join(u' ')));
    EXPECT_EQ(follower.misses(), 0);
    EXPECT_EQ(follower.cursor(), 3);
}

TEST_F(SyntheticScriptTest, FourMissesSearchTheWholeScript)
{
    // The speaker skipped to word 80, far outside the window around the cursor.
    QString transcript;
    for (int i = 80; i < 83; ++i) {
        transcript += words[i] + u' ';
        EXPECT_FALSE(follower.hear(transcript)) << i;
    }
    EXPECT_EQ(follower.misses(), 3);
    EXPECT_EQ(follower.cursor(), 0);
    transcript += words[83];
    EXPECT_TRUE(follower.hear(transcript)); // four words, 4.0 >= 3.4
    EXPECT_EQ(follower.cursor(), 84);
    EXPECT_EQ(follower.misses(), 0);
}

TEST_F(SyntheticScriptTest, WholeScriptSearchNeedsStrongEvidenceAndKeepsSearching)
{
    const QString far = words.mid(70, 3).join(u' '); // 3.0 < 3.4 even when searched everywhere
    for (int i = 0; i < 6; ++i)
        EXPECT_FALSE(follower.hear(far + u" noise"_qs + QString::number(i)));
    EXPECT_EQ(follower.cursor(), 0);
    EXPECT_EQ(follower.misses(), 6);
    EXPECT_TRUE(follower.hear(words.mid(60, 5).join(u' ')));
    EXPECT_EQ(follower.cursor(), 65);
}

TEST(ScriptFollowerTest, TiesGoToTheMatchNearestTheCursor)
{
    ScriptFollower follower;
    follower.load(u"bax dek fim bax dek fim gol"_qs, Style::script);
    EXPECT_EQ(follower.bestMatch({u"bax"_qs, u"dek"_qs}, 0, 6), (ScriptFollower::Match{2, 2.0}));
    ASSERT_TRUE(follower.hear(u"bax dek fim bax"_qs));
    EXPECT_EQ(follower.cursor(), 4);
    // From 4: "dek fim" ends at 3 (distance 1) and at 6 (distance 2); the nearer one ties best but lies behind.
    EXPECT_EQ(follower.bestMatch({u"dek"_qs, u"fim"_qs}, 0, 6), (ScriptFollower::Match{3, 2.0}));
    // At the end the later copy is nearer, though the scan meets the earlier one first.
    ASSERT_TRUE(follower.hear(u"bax dek fim gol"_qs));
    ASSERT_EQ(follower.cursor(), 7);
    EXPECT_EQ(follower.bestMatch({u"bax"_qs, u"dek"_qs}, 0, 6), (ScriptFollower::Match{5, 2.0}));
}

TEST_F(SyntheticScriptTest, AnUnmatchedLastWordFallsBackToTheShorterQuery)
{
    const auto match = follower.bestMatch({words[0], words[1], words[2], u"zzz"_qs}, 0, 9);
    ASSERT_TRUE(match);
    EXPECT_EQ(match->end, 3);
    EXPECT_DOUBLE_EQ(match->score, 2.7);
    EXPECT_FALSE(follower.bestMatch({u"zzz"_qs}, 0, 9));
    EXPECT_FALSE(follower.bestMatch({words[0]}, 5, 4));
}

class FollowerCardsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Cards: 0 spoken (3 tokens), 1 action, 2 spoken (3), 3 spoken (2).
        follower.load(u"Intro words here.\nSHOW the chart\nMore words now.\n\nFinal words."_qs, Style::mixed);
        ASSERT_EQ(follower.boxes().size(), 4u);
    }
    ScriptFollower follower;
};

TEST_F(FollowerCardsTest, ActionCardShowsBeforeTheLastWordAndAtTheNextWords)
{
    EXPECT_EQ(follower.focus(), 0);
    ASSERT_TRUE(follower.hear(u"intro words"_qs));
    EXPECT_EQ(follower.focus(), 1); // one token left and an action card next
    ASSERT_TRUE(follower.hear(u"intro words here"_qs));
    EXPECT_EQ(follower.cursor(), 3);
    EXPECT_EQ(follower.focus(), 1); // at the first word after the action card
    ASSERT_TRUE(follower.hear(u"intro words here more"_qs));
    EXPECT_EQ(follower.focus(), 2);
}

TEST_F(FollowerCardsTest, SteppingMovesFocusAndCursor)
{
    follower.hear(u"intro"_qs);
    follower.step(1);
    EXPECT_EQ(follower.focus(), 1);
    EXPECT_EQ(follower.cursor(), 3); // waits at the next spoken card
    EXPECT_TRUE(follower.lastKey().isEmpty());
    EXPECT_EQ(follower.heardTail(), u"intro");
    follower.step(100);
    EXPECT_EQ(follower.focus(), 3);
    EXPECT_EQ(follower.cursor(), 6);
    follower.step(-100);
    EXPECT_EQ(follower.focus(), 0);
    EXPECT_EQ(follower.cursor(), 0);
    follower.step(INT_MIN);
    EXPECT_EQ(follower.focus(), 0);
    follower.step(INT_MAX);
    EXPECT_EQ(follower.focus(), 3);
}

TEST_F(FollowerCardsTest, WordsReadCountsWordsUpToTheCursor)
{
    follower.step(2); // cursor at card 2's start
    ASSERT_TRUE(follower.hear(u"more words"_qs));
    for (auto [card, words] : {std::pair{0, 3}, {1, 0}, {2, 2}, {3, 0}, {4, 0}, {-1, 0}})
        EXPECT_EQ(follower.wordsRead(card), words) << card;
}

TEST_F(FollowerCardsTest, RestartResetsReadingButKeepsCards)
{
    follower.hear(u"intro words here more"_qs);
    follower.hear(u"nothing like it"_qs);
    ASSERT_GT(follower.misses(), 0);
    follower.restart();
    EXPECT_EQ(follower.cursor(), 0);
    EXPECT_EQ(follower.focus(), 0);
    EXPECT_EQ(follower.misses(), 0);
    EXPECT_TRUE(follower.heardTail().isEmpty());
    EXPECT_TRUE(follower.lastKey().isEmpty());
    EXPECT_EQ(follower.boxes().size(), 4u);
    EXPECT_EQ(follower.tokens().size(), 8);
    // The same words heard again after a restart count again.
    EXPECT_TRUE(follower.hear(u"intro words here more"_qs));
}

TEST(ScriptFollowerTest, FocusAtTheEndIsTheLastCard)
{
    ScriptFollower follower;
    follower.load(u"Only words.\nSHOW the end"_qs, Style::mixed);
    ASSERT_TRUE(follower.hear(u"only words"_qs));
    EXPECT_EQ(follower.cursor(), 2);
    EXPECT_EQ(follower.focus(), 1);
    follower.load(u"[ORB]silence[/ORB]"_qs, Style::script);
    EXPECT_EQ(follower.focus(), 0);
    EXPECT_FALSE(follower.hear(u"silence"_qs));
    follower.step(1);
    EXPECT_EQ(follower.cursor(), 0);
}

} // namespace
