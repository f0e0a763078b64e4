#include "teleprompter/ScriptFollower.h"

#include "teleprompter/FollowText.h"
#include "teleprompter/TextCharacters.h"

void ScriptFollower::load(const QString& text, TeleprompterScript::Style style)
{
    std::vector<FollowBox> boxes;
    QStringList tokens;
    std::vector<int> tokenBox;
    std::optional<QString> pendingGesture;
    QStringList run;

    // A spoken card from one chunk; a chunk without any token makes no card and leaves the gesture pending.
    auto appendSpoken = [&](const QString& chunk) {
        const int start = int(tokens.size());
        std::vector<FollowWord> words;
        for (QStringView word : TextCharacters::words(chunk)) {
            FollowText::appendWordTokens(word, tokens);
            words.push_back({word.toString(), int(tokens.size())});
        }
        const int end = int(tokens.size());
        if (words.empty() || end == start)
            return;
        tokenBox.insert(tokenBox.end(), size_t(end - start), int(boxes.size()));
        boxes.push_back({FollowBox::Kind::spoken(), chunk, std::move(words), start, end, std::move(pendingGesture)});
        pendingGesture.reset();
    };
    auto flushRun = [&] {
        const QString joined = TextCharacters::trimWhiteSpace(run.join(u' ')).toString();
        run.clear();
        if (joined.isEmpty())
            return;
        for (const QString& chunk : FollowText::chunks(joined, cardCharacterLimit))
            appendSpoken(chunk);
    };
    auto appendUnspoken = [&](FollowBox::Kind kind, QString cardText) {
        const int at = int(tokens.size());
        boxes.push_back({std::move(kind), std::move(cardText), {}, at, at, std::nullopt});
    };

    for (const TeleprompterScript::Segment& segment : TeleprompterScript::segments(text)) {
        if (segment.isOrb) {
            appendUnspoken(FollowBox::Kind::orb(), segment.text);
            continue;
        }
        for (const QString& rawLine : TextCharacters::lines(segment.text)) {
            QString line = TextCharacters::trimSpacesAndTabs(rawLine).toString();
            if (line.isEmpty()) {
                flushRun();
                continue;
            }
            if (auto gesture = TeleprompterScript::leadingGesture(line)) {
                flushRun();
                pendingGesture = pendingGesture ? *pendingGesture + QStringLiteral(" \u00B7 ") + gesture->cue : gesture->cue;
                if (gesture->rest.isEmpty())
                    continue;
                line = gesture->rest;
            }
            if (style != TeleprompterScript::Style::script) {
                // Only a keyword typed in capitals makes a card; "say so" in prose stays prose.
                const auto cue = TeleprompterScript::cueLine(line);
                if (cue && line.startsWith(cue->keyword)) {
                    flushRun();
                    if (cue->keyword == u"SAY")
                        appendSpoken(cue->text);
                    else
                        appendUnspoken(FollowBox::Kind::action(cue->keyword), cue->text);
                    continue;
                }
            }
            if (style == TeleprompterScript::Style::cues) {
                flushRun();
                run.append(line);
                flushRun();
                continue;
            }
            run.append(line);
        }
        flushRun();
    }

    m_boxes = std::move(boxes);
    m_tokens = std::move(tokens);
    m_tokenBox = std::move(tokenBox);
    restart();
}
