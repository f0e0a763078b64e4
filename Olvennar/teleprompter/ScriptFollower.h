#pragma once

#include "teleprompter/FollowBox.h"
#include "teleprompter/TeleprompterScript.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>
#include <vector>

// The voice-follow read cursor over a script's cards. Recognised speech moves the cursor to where the
// latest words match the script: small moves near the cursor come easily, moves back or far ahead need
// much stronger evidence, and after a run of misses the whole script is searched. Main thread only.
class ScriptFollower {
public:
    static constexpr int cardCharacterLimit = 130;
    static constexpr int lookBack = 14;
    static constexpr int lookAhead = 36;
    static constexpr double nearScore = 1.4;   // forward by 0 to 5 tokens
    static constexpr double farScore = 2.6;    // forward by 6 or more
    static constexpr double strongScore = 3.4; // backward, and anywhere in the whole-script search
    static constexpr int nearLimit = 6;
    static constexpr int missesBeforeWholeSearch = 4;
    static constexpr int queryLength = 7;
    static constexpr int heardTailLength = 5;
    static constexpr double shortQueryPenalty = 0.3;
    static constexpr double tieTolerance = 1e-9;
    static constexpr double stopWordWeight = 0.4;
    static constexpr int alignWindow = 14;
    static constexpr int maxSkips = 4;

    struct Match {
        int end = 0; // token index just past the matched words
        double score = 0;
        friend bool operator==(const Match&, const Match&) = default;
    };

    ScriptFollower() = default;
    ScriptFollower(const ScriptFollower&) = delete;
    ScriptFollower& operator=(const ScriptFollower&) = delete;

    // Replaces the cards, tokens and token map and resets the reading state.
    void load(const QString& text, TeleprompterScript::Style style);
    // True when the cursor moved.
    bool hear(const QString& text);
    // Moves the focus by n cards (negative = back) and the cursor to the next spoken words from there.
    void step(int n);
    // Back to the start of the script; cards and tokens stay.
    void restart();
    void recomputeFocus();
    int wordsRead(int box) const;

    const std::vector<FollowBox>& boxes() const { return m_boxes; }
    const QStringList& tokens() const { return m_tokens; }
    const std::vector<int>& tokenBox() const { return m_tokenBox; }
    int cursor() const { return m_cursor; }
    int focus() const { return m_focus; }
    const QString& heardTail() const { return m_heardTail; }
    const QString& lastKey() const { return m_lastKey; }
    int misses() const { return m_misses; }

    // Matching, exposed for tests of the scores.
    std::optional<Match> bestMatch(const QStringList& query, int lo, int hi) const;
    double align(const QStringList& query, int position) const;
    // Tokens are normalised, so one code unit is one character.
    static bool alike(QStringView scriptToken, QStringView heardToken);
    static bool lev1(QStringView a, QStringView b);
    static bool isStopWord(const QString& token);

private:
    void moveCursor(int end);

    std::vector<FollowBox> m_boxes;
    QStringList m_tokens;
    std::vector<int> m_tokenBox;
    int m_cursor = 0;
    int m_focus = 0;
    QString m_heardTail;
    QString m_lastKey;
    int m_misses = 0;
};
