#include "platform/system/JsonBounds.h"

#include "platform/system/RegularFile.h"

#include <algorithm>

namespace {

// What Qt 6's parser holds, measured as the peak resident memory of texts of millions of each. Every value is
// a 16-byte element of its list or object.
constexpr qint64 valueBytes = 16;
// An object's members are sorted through a copy of each.
constexpr qint64 memberBytes = 32;
// A list or object with anything in it is a container of its own.
constexpr qint64 containerBytes = 160;
// A text keeps its length beside its bytes.
constexpr qint64 textBytes = 24;
// A text of nothing but ASCII is kept as written; other characters may be kept in UTF-16, up to two bytes for
// each one written; a text with an escape is built up in a string of its own first, some six in all.
constexpr qint64 otherTextFactor = 2;
constexpr qint64 escapedTextFactor = 6;
// Growing the elements' storage and the texts' leaves up to 24 MiB behind each, whatever their size.
constexpr qint64 growthBytes = 48 * 1024 * 1024;

struct Weighed {
    qsizetype values = 0;
    qsizetype longestText = 0;
    int deepest = 0;
    qint64 bytes = 0;
};

Weighed weigh(const QByteArray& text)
{
    Weighed weighed;
    weighed.bytes = text.size() + growthBytes;
    int depth = 0;
    const qsizetype size = text.size();
    for (qsizetype at = 0; at < size; ++at) {
        switch (text[at]) {
        case '"': {
            const qsizetype start = at + 1;
            bool escaped = false;
            bool ascii = true;
            for (at = start; at < size && text[at] != '"'; ++at) {
                if (text[at] == '\\') {
                    escaped = true;
                    ++at; // the escaped byte, a quote among them
                } else if (static_cast<unsigned char>(text[at]) >= 0x80) {
                    ascii = false;
                }
            }
            const qsizetype length = std::min(at, size) - start;
            weighed.longestText = std::max(weighed.longestText, length);
            weighed.bytes += textBytes + length * (escaped ? escapedTextFactor : ascii ? 1 : otherTextFactor);
            break;
        }
        case '[':
        case '{':
            ++weighed.values;
            weighed.bytes += containerBytes;
            weighed.deepest = std::max(weighed.deepest, ++depth);
            break;
        case ']':
        case '}':
            depth = std::max(depth - 1, 0);
            break;
        case ':':
            weighed.bytes += memberBytes;
            ++weighed.values;
            break;
        case ',':
            ++weighed.values;
            break;
        default:
            break;
        }
    }
    weighed.bytes += weighed.values * valueBytes;
    return weighed;
}

} // namespace

std::optional<QString> JsonBounds::exceededBy(const QByteArray& text) const
{
    const Weighed weighed = weigh(text);
    if (weighed.values > values)
        return QStringLiteral("holding more than %1 values").arg(values);
    if (weighed.longestText > longestText)
        return QStringLiteral("holding a text of more than ") + RegularFile::sizeText(longestText);
    if (weighed.deepest > deepest)
        return QStringLiteral("nested more than %1 deep").arg(deepest);
    if (weighed.bytes > readingBytes)
        return QStringLiteral("needing more than ") + RegularFile::sizeText(readingBytes) + QStringLiteral(" to read");
    return std::nullopt;
}
