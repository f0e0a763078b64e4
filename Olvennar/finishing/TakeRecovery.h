#pragma once

#include "finishing/PendingRender.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <vector>

class NoteFolders;

// What a crash leaves in the take roots and the folders listed as holding notes, found at launch: hidden
// siblings of renders and short exports (".mixdown-…", ".short-…") nobody will finish and of sidecars a kill
// cut short while they were written (".zoom-…json"), saved takes whose render or other finish job was cut
// short, takes whose description names a final movie that never appeared, and raw movies of takes that were
// killed while recording. The siblings are removed, each named as what it was; a cut-short job is handed back
// to be finished once more in its note's own folder (wherever the take was moved since), and a note whose
// job's file is in place goes; the rest (a note that cannot be read or holds no render plan, or one whose
// job's file is a FIFO, a device or a folder, among them) is named in the log, once, and stays. Finished takes (their pieces tidied into "Raw/") and the raw movies
// short folders keep beside their shorts are never reported.
namespace TakeRecovery {

struct Findings {
    QStringList removedSiblings;
    // To queue again, each counted as relaunched; a job whose note cannot be counted (a full disk) is not
    // among them, and its note stays as it was for a later launch.
    std::vector<PendingRender::Job> renders;
    // A render cut short again after its relaunch (it may be what kills the studio) is not run by itself: it
    // is offered on a failed row with its Retry, at every launch while its note stays (said in the log once).
    struct StoppedRender {
        PendingRender::Job job;
        QString reason; // what its row says
    };
    std::vector<StoppedRender> stoppedRenders;
    // The notes of the other finish jobs cut short (a short's export), each counted as relaunched; the take
    // table turns them back into jobs.
    std::vector<QJsonObject> finishes;
    QStringList missingFinals; // the final movies take descriptions name, with nothing to finish them from
    QStringList unsavedRaws; // raw movies without a take description
    // Every finding still standing, logged this launch or an earlier one: the next sweep's `noted`.
    QStringList noted;
};

// Looks at each root's take folders and those one level further down (the save root's shorts), each
// distinct folder once however many roots reach it. A finding already in `noted` is not logged again.
Findings sweep(const QStringList& roots, const QStringList& noted = {});
// The same, and each folder `listed` holds a note in too (wherever a handoff led the take), once even when
// a root reaches it; afterwards the folders that are gone or hold no note any more leave the list, unless the
// folder holding them is missing as well (named once in the log until it comes back).
Findings sweep(const QStringList& roots, const QStringList& noted, const NoteFolders& listed);

} // namespace TakeRecovery
