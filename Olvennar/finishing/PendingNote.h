#pragma once

#include "finishing/FinishWork.h"
#include "finishing/PointerPathNote.h"
#include "platform/system/JsonBounds.h"
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

// A note is a handful of paths and a render plan, whose pointer track may run for a day; anything far larger
// is not one of ours.
inline constexpr qint64 largestNoteBytes = 64 * 1024 * 1024 + PointerPathNote::largestTrackBytes;
// The most values a note holds: a note with lists of pointer positions, as notes were written before the
// track, holds a few million within 64 MiB.
inline constexpr qsizetype largestNoteValues = 8 * 1024 * 1024;
// The longest text: a pointer track's string holds 115 KB, a path less than PATH_MAX, and a summary naming
// every phone span of a day (one each half second at the most) less than 3 MiB.
inline constexpr qsizetype longestNoteText = 4 * 1024 * 1024;
// A note nests seven deep (a zoom key in the render plan).
inline constexpr int deepestNote = 64;
// What reading a note may cost: the studio's own need less than 150 MiB (a day's take whose pointer never
// rests), a note of position lists at the value bound some 230 MiB. The launch writes a note it resumes anew
// and reads it back while it holds it: for a note within these bounds it holds less than 400 MB.
inline constexpr qint64 largestNoteReading = 240 * 1024 * 1024;
inline constexpr JsonBounds noteBounds{largestNoteValues, longestNoteText, deepestNote, largestNoteReading};

// The note beside `output`.
QString pathFor(const QString& output);
// Every note in `folder`, readable or not: a device, FIFO or socket of a note's name too, to be refused.
QFileInfoList notesIn(const QDir& folder);
// Written whole, and read back before it replaces the note there; nothing is written when that note says
// the same already. A failure (a full disk) leaves the note there as it was and returns false, its reason in
// `failure` when given, else logged.
bool write(const FinishWork::Note& note, QString* failure = nullptr);
// A note as it lies on the disk, known by its digest: a job tells its note is still the one counted for it
// without encoding its plan again (a day's take's costs hundreds of MB as JSON).
struct Written {
    QByteArray digest;
};
// The same, and what lies at the note's path once it is written (or said this already).
std::optional<Written> writeKnown(const FinishWork::Note& note, QString* failure = nullptr);
// Whether the note at `path` is still `written`, read a chunk at a time.
bool stillHolds(const QString& path, const Written& written);
// Nothing when the file is missing, unreadable or not a JSON object with a kind. Only a regular file is read
// (through a symbolic link too), never more than a note can hold, and parsed only within `noteBounds`; why
// another file was not read ("not a regular file", "larger than 64 MiB", "holding more than 8388608 values")
// goes to `refused`.
std::optional<QJsonObject> read(const QString& path, QString* refused = nullptr);
void remove(const QString& path);
// Whose note lies at `note`'s path now, for a job that holds no folder of its own (a job that does finds its
// note in its folder wherever that went): none, this very job's (whatever relaunch count it carries), or
// another's. A take folder renamed while its job ran frees its name for the next take, whose own job then
// notes itself at the same path: a job never rewrites, removes or runs over another's note.
enum class Holder { none, self, another };
Holder holder(const FinishWork::Note& note);
// A file a note names, read where the note now is: the take's folder may have been moved or renamed since
// the note was written, and another take may have been recorded under its old name. A take's own recordings
// (those named in `recordedIn`, the folder its raw movie was recorded in) are always written in the take's
// folder, so they are read from `folder` (the note's own), and one missing there is missing. A movie
// recorded elsewhere is read where the note names it, or beside the note once it is gone from there.
QString besideNote(const QString& path, const QString& recordedIn, const QDir& folder);

// A note's title or summary as a row shows it and a log line says it: at most `most` characters (elided past
// them), control characters shown as "?". The studio's own are far shorter than the bounds.
QString shownText(const QJsonValue& value, qsizetype most);
QString shownText(const QString& text, qsizetype most);
inline constexpr qsizetype longestTitle = 400;
inline constexpr qsizetype longestSummary = 4000;
// Why a render plan zooms or changes its layout, and its layout summary, read the same way: most name one burst
// of activity in less than a hundred characters; a zoom carried through an hour of bursts 4 to 6 s apart names
// some 700 of them in 40 000.
inline constexpr qsizetype longestPlanText = 64 * 1024;
// All of a plan's reasons and summaries together: a day's take of some 3600 zooms and as many layout stops holds
// less than 1 Mi characters. Past this they read as "…": a note of thousands of texts each within its own bound
// would otherwise cost the launch twice their bytes in UTF-16, on top of the note it reads.
inline constexpr qsizetype mostPlanText = 8 * 1024 * 1024;

// The script a take was filmed for, as a note carries it.
QJsonObject scriptObject(const NextTake& script);
std::optional<NextTake> script(const QJsonValue& value);

} // namespace PendingNote
