#pragma once

#include <QString>
#include <QStringList>

// What a crash leaves in the save root, found at launch: hidden render siblings (".mixdown-…") nobody will
// finish, takes whose description names a final movie that never appeared, and raw movies of takes that
// were killed while recording. The siblings are removed; the rest is named in the log and stays.
namespace TakeRecovery {

struct Findings {
    QStringList removedSiblings;
    QStringList missingFinals; // the final movies take descriptions name
    QStringList unsavedRaws; // raw movies without a take description
};

// Looks at the root's take folders and those one level further down (shorts).
Findings sweep(const QString& saveRoot);

} // namespace TakeRecovery
