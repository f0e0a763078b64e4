#include "teleprompter/ScriptFollower.h"

#include "teleprompter/FollowText.h"

#include <QSet>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

bool ScriptFollower::isStopWord(const QString& token)
{
    static const QSet<QString> stop{
        u"the"_qs, u"a"_qs,    u"an"_qs,   u"and"_qs,  u"to"_qs,   u"of"_qs,  u"it"_qs,   u"is"_qs,   u"in"_qs,
        u"that"_qs, u"i"_qs,   u"you"_qs,  u"so"_qs,   u"on"_qs,   u"for"_qs, u"this"_qs, u"be"_qs,   u"was"_qs,
        u"just"_qs, u"like"_qs, u"its"_qs, u"at"_qs,   u"or"_qs,   u"but"_qs, u"with"_qs, u"we"_qs,   u"they"_qs,
        u"are"_qs, u"what"_qs, u"not"_qs,  u"if"_qs,   u"as"_qs,   u"your"_qs, u"my"_qs,  u"do"_qs,   u"can"_qs,
        u"all"_qs, u"one"_qs,  u"there"_qs, u"has"_qs, u"have"_qs};
    return stop.contains(token);
}

bool ScriptFollower::lev1(QStringView a, QStringView b)
{
    const qsizetype la = a.size();
    const qsizetype lb = b.size();
    if (std::abs(la - lb) > 1)
        return false;
    qsizetype i = 0;
    qsizetype j = 0;
    bool edited = false;
    while (i < la && j < lb) {
        if (a[i] == b[j]) {
            ++i;
            ++j;
            continue;
        }
        if (edited)
            return false;
        edited = true;
        if (la > lb) {
            ++i;
        } else if (lb > la) {
            ++j;
        } else {
            ++i;
            ++j;
        }
    }
    // A character left over at the end is the one edit.
    return !(edited && (i < la || j < lb));
}

bool ScriptFollower::alike(QStringView scriptToken, QStringView heardToken)
{
    if (scriptToken == heardToken)
        return true;
    const qsizetype ls = scriptToken.size();
    const qsizetype lh = heardToken.size();
    if (ls >= 4 && lh >= 4 && (scriptToken.startsWith(heardToken) || heardToken.startsWith(scriptToken)))
        return true;
    return ls >= 5 && lh >= 5 && lev1(scriptToken, heardToken);
}

double ScriptFollower::align(const QStringList& query, int position) const
{
    double score = 0;
    int s = position;
    qsizetype k = query.size() - 1;
    int skips = 0;
    if (position >= int(m_tokens.size()))
        return 0;
    while (k >= 0 && s >= 0 && s > position - alignWindow) {
        const QString& token = m_tokens[s];
        if (alike(token, query[k])) {
            score += isStopWord(query[k]) ? stopWordWeight : 1.0;
            --s;
            --k;
        } else if (k >= 1 && alike(token, query[k - 1])) {
            ++skips; // the heard word was extra
            --k;
        } else {
            ++skips; // the script word was not heard
            --s;
        }
        if (skips >= maxSkips)
            break;
    }
    return score;
}

std::optional<ScriptFollower::Match> ScriptFollower::bestMatch(const QStringList& query, int lo, int hi) const
{
    lo = std::max(lo, 0);
    hi = std::min(hi, int(m_tokens.size()) - 1);
    if (hi < lo)
        return std::nullopt;
    double bestScore = 0;
    long long bestDistance = LLONG_MAX;
    int bestPosition = -1;
    const QStringList shorter = query.mid(0, std::max<qsizetype>(query.size() - 1, 0));
    const std::pair<const QStringList*, double> variants[] = {{&query, 0.0}, {&shorter, shortQueryPenalty}};
    for (const auto& [variant, penalty] : variants) {
        if (variant->isEmpty())
            continue;
        const QString& anchor = variant->back();
        for (int i = lo; i <= hi; ++i) {
            if (!alike(m_tokens[i], anchor))
                continue;
            const double score = align(*variant, i) - penalty;
            const long long distance = std::llabs(static_cast<long long>(i) + 1 - m_cursor);
            if (score > bestScore + tieTolerance
                || (std::abs(score - bestScore) < tieTolerance && distance < bestDistance)) {
                bestScore = score;
                bestDistance = distance;
                bestPosition = i;
            }
        }
    }
    if (bestPosition < 0)
        return std::nullopt;
    return Match{bestPosition + 1, bestScore};
}

void ScriptFollower::moveCursor(int end)
{
    m_cursor = std::min(end, int(m_tokens.size()));
    recomputeFocus();
}

bool ScriptFollower::hear(const QString& text)
{
    if (m_tokens.isEmpty())
        return false;
    const QStringList query = FollowText::lastTokens(text, queryLength);
    if (query.isEmpty())
        return false;
    m_heardTail = query.mid(std::max<qsizetype>(query.size() - heardTailLength, 0)).join(u' ');
    QString key = query.join(u' ');
    if (key == m_lastKey)
        return false;
    m_lastKey = std::move(key);

    const int lo = std::max(m_cursor - lookBack, 0);
    const int hi = std::min(m_cursor + lookAhead, int(m_tokens.size()) - 1);
    if (const auto near = bestMatch(query, lo, hi)) {
        const int distance = near->end - m_cursor;
        const double needed = distance < 0 ? strongScore : distance < nearLimit ? nearScore : farScore;
        if (near->score >= needed) {
            m_misses = 0;
            if (near->end == m_cursor)
                return false;
            moveCursor(near->end);
            return true;
        }
    }
    if (m_misses < INT_MAX)
        ++m_misses;
    if (m_misses < missesBeforeWholeSearch)
        return false;
    // Lost: the speaker may have skipped or gone back anywhere. Keeps searching on every unmatched update.
    const auto anywhere = bestMatch(query, 0, int(m_tokens.size()) - 1);
    if (!anywhere || anywhere->score < strongScore || anywhere->end == m_cursor)
        return false;
    m_misses = 0;
    moveCursor(anywhere->end);
    return true;
}

void ScriptFollower::recomputeFocus()
{
    const int cardCount = int(m_boxes.size());
    if (cardCount == 0) {
        m_focus = 0;
        return;
    }
    if (m_cursor >= int(m_tokens.size()) || m_cursor < 0) {
        m_focus = cardCount - 1;
        return;
    }
    const int box = m_tokenBox[size_t(m_cursor)];
    const FollowBox& card = m_boxes[size_t(box)];
    if (m_cursor == card.tokenStart) {
        // A stage direction shows as soon as the speaker reaches the words after it.
        int first = box;
        while (first > 0 && !m_boxes[size_t(first - 1)].kind.isSpoken())
            --first;
        m_focus = first;
        return;
    }
    const bool lastTokenLeft = card.tokenEnd - m_cursor <= 1;
    const bool directionNext = box + 1 < cardCount && !m_boxes[size_t(box + 1)].kind.isSpoken();
    m_focus = lastTokenLeft && directionNext ? box + 1 : box;
}

void ScriptFollower::step(int n)
{
    const int cardCount = int(m_boxes.size());
    if (cardCount == 0)
        return;
    const int target = int(std::clamp<long long>(static_cast<long long>(m_focus) + n, 0, cardCount - 1));
    m_cursor = int(m_tokens.size());
    for (int i = target; i < cardCount; ++i) {
        if (m_boxes[size_t(i)].kind.isSpoken()) {
            m_cursor = m_boxes[size_t(i)].tokenStart;
            break;
        }
    }
    m_lastKey.clear();
    m_misses = 0;
    recomputeFocus();
    m_focus = target;
}

void ScriptFollower::restart()
{
    m_cursor = 0;
    m_heardTail.clear();
    m_lastKey.clear();
    m_misses = 0;
    recomputeFocus();
}

int ScriptFollower::wordsRead(int box) const
{
    if (box < 0 || box >= int(m_boxes.size()))
        return 0;
    const auto& words = m_boxes[size_t(box)].words;
    return int(std::count_if(words.begin(), words.end(), [this](const FollowWord& w) { return w.tokenEnd <= m_cursor; }));
}
