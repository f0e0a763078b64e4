#pragma once

#include "finishing/FinishWork.h"

#include <QJsonObject>

#include <memory>

// Every kind of finish job that leaves a resume note, by the kind the note names: the table the launch uses
// to resume a job a crash cut short (a screen take's render, a short's export).
namespace FinishKinds {

// Nothing for a note of a kind this studio does not know or cannot read.
std::shared_ptr<FinishWork> resume(const QJsonObject& note);

} // namespace FinishKinds
