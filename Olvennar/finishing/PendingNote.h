#pragma once

#include "finishing/FinishWork.h"
#include "takedata/NextTake.h"

#include <QFileInfo>
#include <QJsonObject>
#include <QString>

#include <optional>

class QDir;

// The hidden JSON file a finish job keeps beside what it makes (".final-2.pending" for "final-2.mov") while
// it runs, until its file is in place or it fails. It means only that a crash cut the job short: the next launch
// resumes the job from it. Every note names its "kind", its "output" and how often a launch already "relaunches" it.
namespace PendingNote {

// The note beside `output`.
QString pathFor(const QString& output);
// Every note in `folder`, readable or not.
QFileInfoList notesIn(const QDir& folder);
// Written whole and read back (a full disk may report success over an empty file); a failure is logged, the
// half-written note removed, and false returned.
bool write(const FinishWork::Note& note);
// Nothing when the file is missing, unreadable or not a JSON object with a kind.
std::optional<QJsonObject> read(const QString& path);
void remove(const QString& path);
// A file a note names, read where the note now is: the take's folder may have been moved or renamed since
// the note was written. A path whose file is gone while a file of its name sits in `folder` (the note's own)
// is that one; any other path stays as the note names it.
QString besideNote(const QString& path, const QDir& folder);

// The script a take was filmed for, as a note carries it.
QJsonObject scriptObject(const NextTake& script);
std::optional<NextTake> script(const QJsonValue& value);

} // namespace PendingNote
