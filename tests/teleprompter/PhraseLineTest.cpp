#include "teleprompter/TeleprompterScript.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using namespace TeleprompterScript;

QStringList wordsOf(const QString& text)
{
    return text.split(u' ', Qt::SkipEmptyParts);
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
