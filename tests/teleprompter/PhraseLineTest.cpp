#include "teleprompter/TeleprompterScript.h"

#include <gtest/gtest.h>

#include <set>

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

TEST(PhraseLineTest, LineStarts)
{
    struct Case {
        QStringList words;
        int width;
        std::set<int> starts;
    };
    const Case cases[] = {
        {wordsOf(u"Hi. Go now."_qs), 40, {1}}, // sentences start lines, abbreviations and numbers do not
        {wordsOf(u"He said \"stop.\" Then left."_qs), 40, {3}},
        {wordsOf(u"Dr. Smith arrived."_qs), 40, {}},
        {wordsOf(u"Use e.g. glue."_qs), 40, {}},
        {wordsOf(u"Step 12. Glue it."_qs), 40, {}},
        {{u"one"_qs}, 1, {}},
        {wordsOf(u"short and sweet"_qs), 30, {}},
        {wordsOf(u"a supercalifragilisticexpialidocious b"_qs), 10, {1, 2}}, // an overlong word stands alone
        {wordsOf(u"ab cd ef"_qs), 0, {1, 2}}, // below one character: a word per line
        {wordsOf(u"ab cd ef"_qs), -5, {1, 2}},
        {{u"cafe\u0301"_qs, u"cafe\u0301"_qs}, 9, {}}, // "café café": 9 user-perceived characters, 11 code units
        {{u"cafe\u0301"_qs, u"cafe\u0301"_qs}, 8, {1}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(phraseLineStarts(c.words, c.width), c.starts) << c.words.join(u' ').toStdString() << " @" << c.width;
    EXPECT_TRUE(breakSentence({u"alone"_qs}, 1).empty());
}

TEST(PhraseLineTest, LayoutKeepsLinesAndCollapsesSpaces)
{
    EXPECT_EQ(phraseLayout(QString(), 30), QString());
    EXPECT_EQ(phraseLayout(u"one  two\n\n  three "_qs, 30), u"one two\n\nthree"_qs);
    EXPECT_EQ(phraseLayout(u"I went to the shop, and then we walked home together\nHi. Go."_qs, 34),
              u"I went to the shop,\nand then we walked home together\nHi.\nGo."_qs);
}

} // namespace
