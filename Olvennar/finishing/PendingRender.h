#pragma once

#include "finishing/FinishWork.h"
#include "finishing/HeldPieces.h"
#include "finishing/PendingNote.h"
#include "plans/MixdownRequest.h"
#include "platform/system/HeldFolder.h"

#include <QJsonObject>
#include <QString>

#include <memory>
#include <optional>

// A saved take's render that has not finished yet, noted beside the final it makes (".final-2.pending" for
// "final-2.mov") while the render is queued or runs, until the final is in place or the render fails. A crash
// leaves it behind, and the next launch finishes the take from it.
namespace PendingRender {

// The note's kind.
inline const QString kind = QStringLiteral("render");

struct Job {
    QString title;
    QString summary;
    QString finalURL;
    QString stopSidecar;
    Mixdown::Request request;
    // Launches that queued this render again after it was cut short.
    int relaunches = 0;
    // What in a resumed note's plan no studio writes ("a frame rate of 2147483647"): the render fails with it
    // before it starts, and the take's files stay as they are.
    std::optional<QString> unwritten;
    // The take's folder, held open from its start or from the launch that found the note; never in the note.
    std::shared_ptr<const HeldFolder> folder;
    // The take's own files, held from its stop or from the launch that found the note; never in the note.
    HeldPieces pieces = {};
    // The note the launch that found it counted, as it lies in the take's folder; never in the note. While it
    // lies there so, it stands for the job: its plan is not encoded again to note what it already says.
    std::optional<PendingNote::Written> counted = std::nullopt;
};

// The request's movies directly in the folder `from` are named in `to` instead (a phone movie recorded
// elsewhere stays where it is).
void move(Mixdown::Request& request, const QString& from, const QString& to);
// The job's files directly in `from`, its final and stop record among them, named in `to`.
void move(Job& job, const QString& from, const QString& to);

// The hidden file of the final at `finalURL`.
QString markerPath(const QString& finalURL);
FinishWork::Note note(const Job& job);
// Its note without the plan: where it lies and what it makes, cheaply.
FinishWork::Note head(const Job& job);
// The same for a job whose plan is kept apart, its take's movies named through `reached` (the take's folder
// reached through its descriptor): they are named in the job's folder, where the final goes.
FinishWork::Note note(const Job& job, const Mixdown::Request& plan, const QString& reached);
// Whether the note is a render's and holds a render plan: what fromNote reads a job from.
bool holdsPlan(const QJsonObject& note);
// Nothing when the note is of another kind or holds no render plan. The movies it names in the folder its raw
// was recorded in (the take's own) are read beside its output whenever files of their names are there; a
// movie recorded elsewhere, where the note names it while it is there (PendingNote::besideNote). Texts longer
// than a studio writes are read cut short, the first of them named in `cut` ("a layout reason of 4194304
// characters").
std::optional<Job> fromNote(const QJsonObject& note, QString* cut = nullptr);
// Written whole; a failure is logged and gives false.
bool write(const Job& job);
// Nothing when the file is missing, unreadable or not a render's note.
std::optional<Job> read(const QString& markerPath);
// Removes the final's hidden file, if any.
void remove(const QString& finalURL);

} // namespace PendingRender
