#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// What a JSON text may hold before Qt's parser is let at it. A file someone put where the studio reads (a
// resume note, a take description) costs its reader far more once parsed than it takes on disk: a list is
// some 200 bytes, a text with an escape is built up twice over in UTF-16, so a file within a byte bound
// could still cost gigabytes. One pass over the bytes weighs the text as the parser would spend on it,
// without parsing it or holding anything.
struct JsonBounds {
    // Numbers, texts, lists and objects, keys among them: one opens each list or object, and one follows
    // each comma or colon outside a text.
    qsizetype values = 0;
    // Bytes between a text's quotes, as written.
    qsizetype longestText = 0;
    // Lists and objects inside one another.
    int deepest = 0;
    // The text itself and all that parsing it holds at most.
    qint64 readingBytes = 0;

    // Nothing when `text` keeps within every bound; else why not, as it follows "could not be read, ":
    // "holding more than 8388608 values", "holding a text of more than 4 MiB", "nested more than 64 deep" or
    // "needing more than 240 MiB to read". A text that is no JSON at all may pass: the parser refuses it.
    std::optional<QString> exceededBy(const QByteArray& text) const;
};
