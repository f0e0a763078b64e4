#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <array>
#include <optional>
#include <set>
#include <vector>

// Pure functions over teleprompter script text: orb blocks (not read aloud), cue lines, gesture tags,
// contextual words for recognition and phrase-aware line breaking. Characters are user-perceived characters.
namespace TeleprompterScript {

// How a script is read: prose, one unit per line with cue lines, or prose with cue lines between paragraphs.
// The raw text is the case name, stored in settings and carried in the long-form handoff record.
enum class Style { script, cues, mixed };
inline constexpr std::array<Style, 3> allStyles{Style::script, Style::cues, Style::mixed};
QString rawText(Style style);
std::optional<Style> styleFromRawText(const QString& text);

struct Segment {
    QString text;
    bool isOrb = false;
    friend bool operator==(const Segment&, const Segment&) = default;
};

struct CueLine {
    QString keyword; // one of cueKeywords
    QString text;
    friend bool operator==(const CueLine&, const CueLine&) = default;
};

struct Block {
    enum class Kind { paragraph, cue, gesture };
    Kind kind = Kind::paragraph;
    QString text; // paragraph text or gesture name (upper case)
    CueLine cue;

    static Block paragraph(QString text) { return {Kind::paragraph, std::move(text), {}}; }
    static Block cueBlock(CueLine cue) { return {Kind::cue, {}, std::move(cue)}; }
    static Block gesture(QString name) { return {Kind::gesture, std::move(name), {}}; }
    friend bool operator==(const Block&, const Block&) = default;
};

struct LeadingGesture {
    QString cue;  // the gesture name in upper case
    QString rest; // the line after the tag, trimmed (may be empty)
    friend bool operator==(const LeadingGesture&, const LeadingGesture&) = default;
};

inline constexpr QStringView orbOpen = u"[ORB]";
inline constexpr QStringView orbClose = u"[/ORB]";
inline constexpr std::array<QStringView, 5> cueKeywords{u"SHOW", u"EXPLAIN", u"DO", u"POINT", u"SAY"};
inline constexpr std::array<QStringView, 4> gestureCues{u"PINCH", u"1-2-3", u"BIG", u"TO YOU"};

std::vector<Segment> segments(const QString& text);
std::vector<Block> blocks(const QString& text, Style style);
bool isGestureName(QStringView name);
std::optional<LeadingGesture> leadingGesture(QStringView line);
std::optional<CueLine> cueLine(QStringView line);
QStringList contextualWords(const QString& text);

// Phrase line breaking (TeleprompterScriptPhrases.cpp).
std::set<int> phraseLineStarts(const QStringList& words, int maxChars);
QString phraseLayout(const QString& text, int maxChars);
bool endsSentence(QStringView word);
// Cost of starting a new line at words[i], 1 <= i < words.size().
double breakCost(const QStringList& words, int i);
// Ascending indexes (> 0) where new lines start within one sentence.
std::vector<int> breakSentence(const QStringList& words, int maxChars);

} // namespace TeleprompterScript
