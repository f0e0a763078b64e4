#include "teleprompter/ScriptFollower.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using TeleprompterScript::Style;

// A speaker reading a script aloud while recognition delivers growing partial transcripts, one utterance at
// a time. Each heard word carries how far into the script the speaker has read when saying it.
class FollowerRunTest : public ::testing::Test {
protected:
    struct Heard {
        QString word;
        int reached;
    };
    using Utterance = std::vector<Heard>;

    void SetUp() override
    {
        follower.load(u"Welcome back to the workshop. Today we build a bookshelf from pine boards.\n"
                      "First measure twice and cut once. Then sand every edge until smooth.\n\n"
                      "Remember to measure twice and cut once. Finally apply the varnish and let it dry overnight.\n"
                      "Next time we will build a small bench from the leftover boards."_qs,
                      Style::script);
        ASSERT_EQ(follower.tokens().size(), 53);
        ASSERT_EQ(follower.tokens()[14], u"measure");
        ASSERT_EQ(follower.tokens()[27], u"measure");
    }

    // Script words [from, to) read correctly.
    Utterance read(int from, int to) const
    {
        Utterance words;
        for (int i = from; i < to; ++i)
            words.push_back({follower.tokens()[i], i + 1});
        return words;
    }

    static Utterance join(std::initializer_list<Utterance> parts)
    {
        Utterance all;
        for (const Utterance& part : parts)
            all.insert(all.end(), part.begin(), part.end());
        return all;
    }

    // Feeds every partial transcript of the utterance; the cursor never passes the furthest word read,
    // and at the end of the utterance it sits right after its last word.
    void speak(const Utterance& utterance, const char* what)
    {
        QString transcript;
        for (const Heard& heard : utterance) {
            transcript += (transcript.isEmpty() ? QString() : u" "_qs) + heard.word;
            furthest = std::max(furthest, heard.reached);
            follower.hear(transcript);
            ASSERT_LE(follower.cursor(), furthest) << what << ": jumped ahead at \"" << transcript.toStdString() << '"';
        }
        EXPECT_EQ(follower.cursor(), utterance.back().reached) << what << ": lost its place";
    }

    ScriptFollower follower;
    int furthest = 0;
};

TEST_F(FollowerRunTest, RepeatedPhrasesMisheardWordsAndRestartsKeepThePlace)
{
    speak(read(0, 14), "opening sentences");
    // A new utterance starts inside a phrase that comes again later: the nearer copy wins.
    speak(read(14, 19), "first copy of the repeated phrase");
    // "sand" heard as "send", "edge" as "etch" (too short to count as alike).
    speak(join({read(19, 20), {{u"send"_qs, 21}}, read(21, 22), {{u"etch"_qs, 23}}, read(23, 25)}), "misheard words");
    // The speaker restarts the sentence: back to its start, then on to its end, never past it.
    speak(join({read(19, 22), read(19, 25)}), "restarted sentence");
    speak(read(25, 32), "second copy of the repeated phrase");
    // An extra word and a dropped one.
    speak(join({read(32, 35), {{u"um"_qs, 35}}, read(35, 37), read(38, 42)}), "extra and skipped words");
}

TEST_F(FollowerRunTest, EachCopyOfARepeatedPhraseIsFoundFromItsOwnPlace)
{
    speak(read(0, 13), "opening");
    // The phrase heard again and again (with a trailing stray word) while the speaker is at its first copy.
    for (int i = 0; i < 6; ++i) {
        follower.hear(u"measure twice and cut once "_qs + QString::number(i));
        EXPECT_EQ(follower.cursor(), 19) << "repeat " << i;
    }
    // From just before the second copy, the same words lead forward to it and not back to the first.
    speak(read(19, 27), "between the copies");
    follower.hear(u"measure twice and cut once"_qs);
    EXPECT_EQ(follower.cursor(), 32);
}

TEST_F(FollowerRunTest, SkippingAheadAndGoingBackRecoverThePlace)
{
    speak(read(0, 5), "opening");
    // The speaker skips to the next paragraph's second sentence: three words inside the window move it.
    speak(read(19, 25), "skip inside the window");
    // From the start, the last sentence lies outside the window: the whole-script search finds it.
    follower.restart();
    speak(read(42, 53), "skip beyond the window");
    // Back to an earlier sentence, also beyond the window behind the cursor.
    speak(read(13, 19), "back to an earlier sentence");
    EXPECT_EQ(follower.focus(), 1);
}

} // namespace
