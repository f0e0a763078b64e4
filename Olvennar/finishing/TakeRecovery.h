#pragma once

#include "finishing/PendingRender.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <vector>

// What a crash leaves in the save root, found at launch: hidden render siblings (".mixdown-…") nobody will
// finish, saved takes whose render or other finish job was cut short, takes whose description names a final movie that never
// appeared, and raw movies of takes that were killed while recording. The siblings are removed; a cut-short
// job is handed back to be finished once more; the rest is named in the log, once, and stays. Finished
// takes (their pieces tidied into "Raw/") are never reported.
namespace TakeRecovery {

struct Findings {
    QStringList removedSiblings;
    std::vector<PendingRender::Job> renders; // to queue again, each counted as relaunched
    // The notes of the other finish jobs cut short (a short's export), each counted as relaunched; the take
    // table turns them back into jobs.
    std::vector<QJsonObject> finishes;
    QStringList missingFinals; // the final movies take descriptions name, with nothing to finish them from
    QStringList unsavedRaws; // raw movies without a take description
    // Every finding still standing, logged this launch or an earlier one: the next sweep's `noted`.
    QStringList noted;
};

// Looks at the root's take folders and those one level further down (shorts). A finding already in
// `noted` is not logged again.
Findings sweep(const QString& saveRoot, const QStringList& noted = {});

} // namespace TakeRecovery
