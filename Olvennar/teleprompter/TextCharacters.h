#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <vector>

// Script text is measured in user-perceived characters (grapheme clusters), so an accented letter typed
// with a combining mark, an emoji or a CR LF pair counts once. A cluster is classed by its first code point.
namespace TextCharacters {

std::vector<QStringView> split(QStringView text);
qsizetype count(QStringView text);
// The first `characters` characters of the text (all of it when it is shorter).
QStringView prefix(QStringView text, qsizetype characters);
QStringView first(QStringView text);
QStringView last(QStringView text);

char32_t leadCodePoint(QStringView character);
bool isLetter(QStringView character);
bool isNumber(QStringView character);
bool isUpperLetter(QStringView character);
bool isWhiteSpace(QStringView character);

// Spaces and tabs only (no line breaks).
bool isSpaceOrTab(QChar unit);
QStringView trimSpacesAndTabs(QStringView text);
// White space and line breaks.
QStringView trimWhiteSpace(QStringView text);

// Lines split at "\n"; a "\r" before it belongs to the break, so pasted CR LF text reads the same.
QStringList lines(QStringView text);
// Pieces between runs of white space, none empty.
std::vector<QStringView> words(QStringView text);

} // namespace TextCharacters
