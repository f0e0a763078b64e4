#pragma once

#include <QString>

#include <optional>
#include <set>
#include <vector>

// A displayed word of a spoken card and the token index just past it (a word without tokens repeats the
// previous word's end).
struct FollowWord {
    QString text;
    int tokenEnd = 0;
    friend bool operator==(const FollowWord&, const FollowWord&) = default;
};

// One card of the follow-mode column: words to read aloud, a stage direction, or text not to be read aloud.
struct FollowBox {
    class Kind {
    public:
        enum class Tag { action, spoken, orb };
        static Kind action(QString keyword) { return Kind(Tag::action, std::move(keyword)); }
        static Kind spoken() { return Kind(Tag::spoken, {}); }
        static Kind orb() { return Kind(Tag::orb, {}); }
        Tag tag() const { return m_tag; }
        bool isSpoken() const { return m_tag == Tag::spoken; }
        // The cue keyword of an action card; empty otherwise.
        const QString& keyword() const { return m_keyword; }
        friend bool operator==(const Kind&, const Kind&) = default;

    private:
        Kind(Tag tag, QString keyword) : m_tag(tag), m_keyword(std::move(keyword)) {}
        Tag m_tag;
        QString m_keyword;
    };

    Kind kind = Kind::spoken();
    QString text;
    std::vector<FollowWord> words;
    int tokenStart = 0;
    int tokenEnd = 0;
    std::optional<QString> gesture; // tags before the card, several joined by " · "

    // Indexes of the words that begin a display line at this line length.
    std::set<int> lineStarts(int maxChars) const;
    friend bool operator==(const FollowBox&, const FollowBox&) = default;
};
