#pragma once

#include "plans/MixdownRequest.h"

#include <QJsonObject>
#include <QString>

#include <optional>

// A screen take's render request as JSON, for the note that resumes a render cut short by a crash.
// Enumerations are stored by their numeric value; a note only lives until its render is finished. A note is
// a file in the user's folder, so it is read as untrusted: a value no studio writes is named, not rendered.
namespace MixdownRequestNote {

// What a note holds: its request, and the first value in it no studio writes, as the row says it ("a frame
// rate of 2147483647", "a recorded length that is not a number", an export range that holds no picture of the
// take). Such a value reads as the request's default.
struct Decoded {
    Mixdown::Request request;
    std::optional<QString> unwritten;
};

QJsonObject encode(const Mixdown::Request& request);
// Nothing when the object is not a request (no raw movie named).
std::optional<Decoded> decode(const QJsonObject& json);

} // namespace MixdownRequestNote
