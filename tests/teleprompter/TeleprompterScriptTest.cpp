#include "teleprompter/TeleprompterScript.h"

#include <gtest/gtest.h>

namespace {

using namespace TeleprompterScript;

TEST(TeleprompterScriptTest, SegmentsSplitSpokenAndOrbPieces)
{
    struct Case {
        const char* name;
        QString text;
        std::vector<Segment> expected;
    };
    const Case cases[] = {
        {"empty", QString(), {}},
        {"orb between spoken lines", u"Hello there\n[ORB]\n  pause here  \n[/ORB]\nGoodbye"_qs,
         {{u"Hello there"_qs, false}, {u"pause here"_qs, true}, {u"Goodbye"_qs, false}}},
        {"blank orb vanishes", u"[ORB]  \n \t [/ORB]"_qs, {}},
        {"unclosed orb runs to the end, spoken keeps its trailing space", u"Say this [ORB] the rest\nmore "_qs,
         {{u"Say this "_qs, false}, {u"the rest\nmore"_qs, true}}},
        {"lower-case markers are text", u"a [orb]b[/orb] c"_qs, {{u"a [orb]b[/orb] c"_qs, false}}},
        {"stray closing marker stays spoken", u"[/ORB] stray"_qs, {{u"[/ORB] stray"_qs, false}}},
        {"second opening inside an orb is orb text", u"[ORB]a [ORB] b[/ORB]c"_qs,
         {{u"a [ORB] b"_qs, true}, {u"c"_qs, false}}},
        {"only blank edge lines go, indentation stays", u"\n  \n  indented\n\tmore\n \n"_qs,
         {{u"  indented\n\tmore"_qs, false}}},
        {"CR LF lines read as lines", u"one\r\n\r\ntwo\r\n"_qs, {{u"one\n\ntwo"_qs, false}}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(segments(c.text), c.expected) << c.name;
}

TEST(TeleprompterScriptTest, CueLinesNeedKeywordWhiteSpaceAndText)
{
    struct Case {
        QString line;
        std::optional<CueLine> expected;
    };
    const Case cases[] = {
        {u"say   hello"_qs, CueLine{u"SAY"_qs, u"hello"_qs}},
        {u"  SHOW   the chart  "_qs, CueLine{u"SHOW"_qs, u"the chart"_qs}},
        {u"DO\tit now"_qs, CueLine{u"DO"_qs, u"it now"_qs}},
        {u"Explain why"_qs, CueLine{u"EXPLAIN"_qs, u"why"_qs}},
        {u"do you see"_qs, CueLine{u"DO"_qs, u"you see"_qs}}, // prose starting with "do " is a cue line
        {u"SAY"_qs, std::nullopt},
        {u"SAY   "_qs, std::nullopt},
        {u"SAY: hello"_qs, std::nullopt},
        {u"SAYING hello"_qs, std::nullopt},
        {u"DOING it"_qs, std::nullopt},
        {u"POINTER here"_qs, std::nullopt},
        {QString(), std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(cueLine(c.line), c.expected) << c.line.toStdString();
}

TEST(TeleprompterScriptTest, BlocksFollowTheStyle)
{
    struct Case {
        const char* name;
        QString text;
        Style style;
        std::vector<Block> expected;
    };
    const Case cases[] = {
        {"empty", QString(), Style::mixed, {}},
        {"script never makes cue blocks", u"SAY hello\nworld"_qs, Style::script,
         {Block::paragraph(u"SAY hello\nworld"_qs)}},
        {"cues: each prose line its own paragraph", u"one\n  two  \n\n"_qs, Style::cues,
         {Block::paragraph(u"one"_qs), Block::paragraph(u"two"_qs)}},
        {"mixed: blank line stays inside a paragraph", u"one\n\ntwo"_qs, Style::mixed,
         {Block::paragraph(u"one\n\ntwo"_qs)}},
        {"gesture-only line", u"[PINCH]"_qs, Style::script, {Block::gesture(u"PINCH"_qs)}},
        {"gesture then cue on one line", u"[big] SHOW the chart"_qs, Style::mixed,
         {Block::gesture(u"BIG"_qs), Block::cueBlock({u"SHOW"_qs, u"the chart"_qs})}},
        {"cue between paragraphs", u"intro\nmore\nPOINT at it\noutro"_qs, Style::mixed,
         {Block::paragraph(u"intro\nmore"_qs), Block::cueBlock({u"POINT"_qs, u"at it"_qs}),
          Block::paragraph(u"outro"_qs)}},
        {"gesture ends a paragraph and its rest starts the next", u"before\n[PINCH] hello\nworld"_qs, Style::script,
         {Block::paragraph(u"before"_qs), Block::gesture(u"PINCH"_qs), Block::paragraph(u"hello\nworld"_qs)}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(blocks(c.text, c.style), c.expected) << c.name;
}

TEST(TeleprompterScriptTest, ContextualWordsKeepLongWordsAndAcronymsOnce)
{
    EXPECT_EQ(contextualWords(u"NASA AI I ok it's Rust2 [PINCH] hello\u2019s wonderful, x (Example) example"_qs),
              (QStringList{u"NASA"_qs, u"AI"_qs, u"hello\u2019s"_qs, u"wonderful"_qs, u"Example"_qs}));
    // Five user-perceived characters with a combining accent: a short lower-case word, not six.
    EXPECT_TRUE(contextualWords(u"cafe\u0301s"_qs).isEmpty());
    EXPECT_TRUE(contextualWords(QString()).isEmpty());
    EXPECT_EQ(contextualWords(u"na\u00EFvet\u00E9"_qs), QStringList{u"na\u00EFvet\u00E9"_qs});

    QStringList many;
    for (int i = 0; i < 150; ++i)
        many.append(QStringLiteral("longword%1").arg(i));
    const QStringList words = contextualWords(many.join(u' '));
    ASSERT_EQ(words.size(), 100);
    EXPECT_EQ(words.front(), u"longword0");
    EXPECT_EQ(words.back(), u"longword99");
}

} // namespace
