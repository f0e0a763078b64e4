// Voice following on a 2,000-word script: ScriptFollower::hear() on every growing partial transcript of one
// long utterance, against tokenising the same transcripts (the least any follower must do with them).
#include "teleprompter/FollowText.h"
#include "teleprompter/ScriptFollower.h"

#include <QStringList>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const char* const vocabulary[] = {
    "the", "a", "and", "to", "of", "we", "you", "it", "is", "this", "that", "with", "for", "on", "in", "at",
    "record", "camera", "screen", "window", "studio", "light", "voice", "script", "video", "editor", "project",
    "folder", "timeline", "zoom", "click", "cursor", "frame", "layout", "backdrop", "bubble", "shortcut",
    "microphone", "speaker", "audience", "channel", "lesson", "example", "feature", "setting", "button",
    "panel", "menu", "export", "finish", "render", "quickly", "slowly", "carefully", "simply", "really",
    "every", "first", "second", "third", "next", "last", "small", "large", "bright", "quiet", "clear",
    "better", "faster", "smooth", "simple", "useful", "important", "different", "together", "today",
    "tomorrow", "always", "never", "sometimes", "because", "while", "after", "before", "through", "around",
    "show", "explain", "build", "move", "drag", "drop", "open", "close", "start", "stop", "pause", "watch",
    "listen", "write", "read", "learn", "teach", "try", "make", "take", "keep", "find", "choose", "change",
    "twenty-one", "7", "42", "don't", "it's", "you're", "can't", "let's", "we'll", "that's", "there's",
};

uint32_t nextRandom(uint32_t& state)
{
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

QStringList scriptWords(int count)
{
    QStringList words;
    uint32_t state = 2026;
    const int vocabularySize = int(std::size(vocabulary));
    int sentenceLeft = 0;
    while (words.size() < count) {
        if (sentenceLeft == 0)
            sentenceLeft = 8 + int(nextRandom(state) % 13);
        QString word = QString::fromLatin1(vocabulary[nextRandom(state) % uint32_t(vocabularySize)]);
        if (--sentenceLeft == 0)
            word += u'.';
        else if (nextRandom(state) % 9 == 0)
            word += u',';
        words.append(word);
    }
    return words;
}

QString scriptText(const QStringList& words)
{
    QString text;
    int sentences = 0;
    for (const QString& word : words) {
        text += word;
        if (word.endsWith(u'.'))
            text += ++sentences % 5 == 0 ? QStringLiteral("\n\n") : QStringLiteral(" ");
        else
            text += u' ';
    }
    return text;
}

// Partial results of one utterance growing word by word; every 17th word is misheard.
std::vector<QString> partialTranscripts(const QStringList& words)
{
    std::vector<QString> partials;
    partials.reserve(size_t(words.size()));
    QString transcript;
    for (qsizetype i = 0; i < words.size(); ++i) {
        if (!transcript.isEmpty())
            transcript += u' ';
        transcript += i % 17 == 16 ? QStringLiteral("mumble") : words[i].toLower().remove(u'.').remove(u',');
        partials.push_back(transcript);
    }
    return partials;
}

struct Timing {
    double meanMicroseconds = 0;
    double maxMicroseconds = 0;
};

template <typename Work>
Timing timeEach(const std::vector<QString>& inputs, Work&& work)
{
    double total = 0;
    double worst = 0;
    for (const QString& input : inputs) {
        const auto start = Clock::now();
        work(input);
        const double micro = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
        total += micro;
        worst = std::max(worst, micro);
    }
    return {total / double(inputs.size()), worst};
}

} // namespace

int main()
{
    constexpr int wordCount = 2000;
    constexpr int rounds = 5;
    const QStringList words = scriptWords(wordCount);
    const QString script = scriptText(words);
    const std::vector<QString> partials = partialTranscripts(words);

    ScriptFollower follower;
    follower.load(script, TeleprompterScript::Style::script);

    // Lost speaker: unrelated words never match, so after four misses every update searches the whole script.
    std::vector<QString> lost;
    for (int i = 0; i < 200; ++i)
        lost.push_back(partials.back() + QStringLiteral(" zebra quartz mango nectar walrus %1").arg(i));

    Timing hearBest{1e300, 0}, baseBest{1e300, 0}, lostBest{1e300, 0}, lostBaseBest{1e300, 0};
    int finalCursor = 0;
    qsizetype sink = 0;
    for (int round = 0; round < rounds; ++round) {
        follower.restart();
        const Timing hear = timeEach(partials, [&](const QString& text) { follower.hear(text); });
        finalCursor = follower.cursor();
        const Timing lostHear = timeEach(lost, [&](const QString& text) { follower.hear(text); });
        const Timing base = timeEach(partials, [&](const QString& text) { sink += FollowText::tokens(text).size(); });
        const Timing lostBase = timeEach(lost, [&](const QString& text) { sink += FollowText::tokens(text).size(); });
        if (hear.meanMicroseconds < hearBest.meanMicroseconds)
            hearBest = hear;
        if (base.meanMicroseconds < baseBest.meanMicroseconds)
            baseBest = base;
        if (lostHear.meanMicroseconds < lostBest.meanMicroseconds)
            lostBest = lostHear;
        if (lostBase.meanMicroseconds < lostBaseBest.meanMicroseconds)
            lostBaseBest = lostBase;
    }

    std::printf("script: %d words, %lld tokens, %zu cards; %zu growing partials (best of %d rounds)\n", wordCount,
                static_cast<long long>(follower.tokens().size()), follower.boxes().size(), partials.size(), rounds);
    std::printf("followed to token %d of %lld\n", finalCursor, static_cast<long long>(follower.tokens().size()));
    std::printf("baseline  tokenise transcript : mean %8.2f us  max %8.2f us\n", baseBest.meanMicroseconds,
                baseBest.maxMicroseconds);
    std::printf("hear()    growing partials    : mean %8.2f us  max %8.2f us  ratio %.3f of baseline\n",
                hearBest.meanMicroseconds, hearBest.maxMicroseconds,
                hearBest.meanMicroseconds / baseBest.meanMicroseconds);
    std::printf("baseline  tokenise lost text  : mean %8.2f us  max %8.2f us\n", lostBaseBest.meanMicroseconds,
                lostBaseBest.maxMicroseconds);
    std::printf("hear()    whole-script search : mean %8.2f us  max %8.2f us  ratio %.3f of baseline\n",
                lostBest.meanMicroseconds, lostBest.maxMicroseconds,
                lostBest.meanMicroseconds / lostBaseBest.meanMicroseconds);
    const double worst = std::max(hearBest.maxMicroseconds, lostBest.maxMicroseconds);
    std::printf("goal: under 1000 us per call -> worst call %.2f us: %s\n", worst, worst < 1000 ? "met" : "MISSED");
    return sink < 0 ? 1 : 0;
}
