#include "teleprompter/TeleprompterScript.h"

#include <gtest/gtest.h>

namespace {

using namespace TeleprompterScript;

QStringList wordsOf(const QString& text)
{
    return text.split(u' ', Qt::SkipEmptyParts);
}

TEST(PhraseLineTest, SentenceEnds)
{
    struct Case {
        QString word;
        bool expected;
    };
    const Case cases[] = {
        {u"end."_qs, true},        {u"end.\u201D"_qs, true}, {u"end.\u2019)"_qs, true}, {u"wow!"_qs, true},
        {u"what?"_qs, true},       {u"so\u2026"_qs, true},   {u"word"_qs, false},       {u"Dr."_qs, false},
        {u"DR."_qs, false},        {u"e.g."_qs, false},      {u"vs.\""_qs, false},      {u"12."_qs, false},
        {u"."_qs, false},          {u"\""_qs, false},        {u"3.5"_qs, false},        {u"B2."_qs, true},
        {QString(), false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(endsSentence(c.word), c.expected) << c.word.toStdString();
}

TEST(PhraseLineTest, BreakCostsFavourPunctuationAndConjunctions)
{
    struct Case {
        QString previous;
        QString next;
        double expected;
    };
    const Case cases[] = {
        {u"word,"_qs, u"next"_qs, 0},    {u"word;"_qs, u"the"_qs, 0},      {u"word:"_qs, u"and"_qs, 0},
        {u"-"_qs, u"next"_qs, 0},        {u"\u2014"_qs, u"next"_qs, 0},    {u"word\u2014"_qs, u"next"_qs, 0},
        {u"quick"_qs, u"and"_qs, 2},     {u"quick"_qs, u"And,"_qs, 2},     {u"quick"_qs, u"with"_qs, 5},
        {u"quick"_qs, u"brown"_qs, 10},  {u"the"_qs, u"brown"_qs, 16},     {u"and"_qs, u"but"_qs, 8},
        {u"quick"_qs, u"\u2014then"_qs, 1}, {u"quick"_qs, u"-"_qs, 1},     {u"quick"_qs, u"(aside"_qs, 3},
        {u"quick"_qs, u"\u201Cquote"_qs, 3}, {u"The"_qs, u"with"_qs, 11},
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(breakCost({c.previous, c.next}, 1), c.expected)
            << c.previous.toStdString() << " | " << c.next.toStdString();
    }
}

TEST(PhraseLineTest, SentenceBreaksAtTheCheapestPlace)
{
    // Every other two-line split breaks before an ordinary word or after a clinging one.
    const QStringList words = wordsOf(u"I went to the shop, and then we walked home together"_qs);
    EXPECT_EQ(breakSentence(words, 34), std::vector<int>{5});
    EXPECT_EQ(phraseLineStarts(words, 34), std::set<int>{5});
    EXPECT_TRUE(breakSentence(wordsOf(u"short and sweet"_qs), 30).empty());
    EXPECT_TRUE(breakSentence({u"alone"_qs}, 1).empty());
}

TEST(PhraseLineTest, ShortLinesArePenalised)
{
    const auto repeated = [](int count) { return QStringList(qsizetype(count), u"aaaa"_qs); };
    // Six words in 20 columns: 4+2 leaves a short last line, so 3+3 wins by its short-line penalty.
    EXPECT_EQ(breakSentence(repeated(6), 20), std::vector<int>{3});
    // At 30 columns a 9-character line is short (threshold 10, not 3 x 30 / 10 = 9): 4+3 beats 5+2.
    EXPECT_EQ(breakSentence(repeated(7), 30), std::vector<int>{4});
    // At 50 columns the threshold is 15: a 14-character last line is short, so 7+4 beats 8+3.
    EXPECT_EQ(breakSentence(repeated(11), 50), std::vector<int>{7});
}

TEST(PhraseLineTest, SentencesStartLinesAndAbbreviationsDoNot)
{
    EXPECT_EQ(phraseLineStarts(wordsOf(u"Hi. Go now."_qs), 40), std::set<int>{1});
    EXPECT_EQ(phraseLineStarts(wordsOf(u"He said \"stop.\" Then left."_qs), 40), std::set<int>{3});
    EXPECT_TRUE(phraseLineStarts(wordsOf(u"Dr. Smith arrived."_qs), 40).empty());
    EXPECT_TRUE(phraseLineStarts(wordsOf(u"Use e.g. glue."_qs), 40).empty());
    EXPECT_TRUE(phraseLineStarts(wordsOf(u"Step 12. Glue it."_qs), 40).empty());
    EXPECT_TRUE(phraseLineStarts({u"one"_qs}, 1).empty());
}

TEST(PhraseLineTest, OverlongWordStandsAlone)
{
    EXPECT_EQ(phraseLineStarts(wordsOf(u"a supercalifragilisticexpialidocious b"_qs), 10), (std::set<int>{1, 2}));
    // A width below one character still lays out every word on its own line.
    EXPECT_EQ(phraseLineStarts(wordsOf(u"ab cd ef"_qs), 0), (std::set<int>{1, 2}));
    EXPECT_EQ(phraseLineStarts(wordsOf(u"ab cd ef"_qs), -5), (std::set<int>{1, 2}));
}

TEST(PhraseLineTest, LengthsCountUserPerceivedCharacters)
{
    // "café café" is 9 characters but 11 code units.
    EXPECT_TRUE(phraseLineStarts({u"cafe\u0301"_qs, u"cafe\u0301"_qs}, 9).empty());
    EXPECT_EQ(phraseLineStarts({u"cafe\u0301"_qs, u"cafe\u0301"_qs}, 8), std::set<int>{1});
}

TEST(PhraseLineTest, LayoutKeepsLinesAndCollapsesSpaces)
{
    EXPECT_EQ(phraseLayout(QString(), 30), QString());
    EXPECT_EQ(phraseLayout(u"one  two\n\n  three "_qs, 30), u"one two\n\nthree"_qs);
    EXPECT_EQ(phraseLayout(u"I went to the shop, and then we walked home together\nHi. Go."_qs, 34),
              u"I went to the shop,\nand then we walked home together\nHi.\nGo."_qs);
}

} // namespace
