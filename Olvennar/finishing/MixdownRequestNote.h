#pragma once

#include "plans/MixdownRequest.h"

#include <QJsonObject>

#include <optional>

// A screen take's render request as JSON, for the note that resumes a render cut short by a crash.
// Enumerations are stored by their numeric value; a note only lives until its render is finished.
namespace MixdownRequestNote {

QJsonObject encode(const Mixdown::Request& request);
// Nothing when the object is not a request (no raw movie named).
std::optional<Mixdown::Request> decode(const QJsonObject& json);

} // namespace MixdownRequestNote
