#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

// Text functions behind voice following: sentences and card-sized chunks of prose, and the normalised
// word tokens that recognised speech is matched against.
namespace FollowText {

QStringList sentences(const QString& text);
// Pieces of at most `limit` characters where the sentences allow (a long sentence is cut only after , ; :).
QStringList chunks(const QString& text, int limit);
QString norm(QStringView word);
// 0...99 as spoken words ("forty", "two"); empty outside that range.
QStringList numberWords(int n);
QStringList tokens(QStringView text);
// The last `count` tokens of the text, reading only as much of its end as they need.
QStringList lastTokens(QStringView text, int count);
// Appends the tokens of one white-space-free word.
void appendWordTokens(QStringView word, QStringList& tokens);

} // namespace FollowText
