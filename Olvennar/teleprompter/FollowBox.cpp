#include "teleprompter/FollowBox.h"

#include "teleprompter/TeleprompterScript.h"

#include <QStringList>

std::set<int> FollowBox::lineStarts(int maxChars) const
{
    QStringList texts;
    texts.reserve(qsizetype(words.size()));
    for (const FollowWord& word : words)
        texts.append(word.text);
    return TeleprompterScript::phraseLineStarts(texts, maxChars);
}
