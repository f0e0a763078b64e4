#pragma once

#include "platform/system/ErrorInfo.h"
#include "platform/system/HeldFile.h"

#include <QString>
#include <QStringList>

#include <map>
#include <memory>
#include <optional>
#include <set>

// The pieces of one take (TakePieces) its jobs know as the take's own, each held by what it is from the moment
// a job knew it: at the stop, when its render was made, or at the launch that found its note. A file at one of
// these names that is not the one held was put there since, like the next take's filmed under the same name
// once this take's files were deleted: a job reads, tidies and removes only the take's own. Copies share what
// they hold, which is let go with the last of them. Main thread only, like the jobs that carry it.
class HeldPieces {
public:
    // Holds each piece of the take of `finalPath` (its pieces lie beside it) that is there now and not held yet.
    void holdPresent(const QString& finalPath);
    // Files the take's own job just wrote anew in `folder` (a trimmed raw, sidecars the disk refused before):
    // held in place of what was.
    void holdWritten(const QString& folder, const QStringList& names);
    // A file the take's own job wrote at `name` (a face movie, a cut raw), held from before it took the name:
    // the take's own in place of what was. Nothing changes for a job that never knew the take's files.
    void hold(const QString& name, std::shared_ptr<const HeldFile> file);
    // Lets go of the file at `name` (a camera movie the face movie took in): a file there later is not the take's.
    void letGoOf(const QString& name) { files_.erase(name); }
    // Lets go of the files deleted since they were held (no name left on their disk): held, a deleted file keeps
    // its space taken until the job's turn, while the next take may need it. Their names stay lost to the take:
    // a file there later is never its own, and a job that reads one fails saying the take's was deleted.
    void letGoOfDeleted();
    // Lets go of every file held; from now on nothing in the folder is the take's.
    void clear() { files_.clear(); }

    // Whether the file at `name` in `folder` is the take's own: the one held there. A job that never knew the
    // take's files (made before they were held) takes every file of its names as its own.
    bool ownAt(const QString& folder, const QString& name) const;
    // The file held at `name`; nothing when none is (a job that never knew the take's files holds none).
    std::shared_ptr<const HeldFile> held(const QString& name) const;
    // Whether the take's files were looked for, so a name held by nothing is no file of the take's.
    bool known() const { return known_; }
    // The first of `names` (movies a job reads) that is no longer the take's own: the one held there was
    // deleted or replaced, or one not held is there now. A movie missing now and then is read as it is.
    std::optional<QString> firstLost(const QString& folder, const QStringList& names) const;

    // Why a job did nothing: "<notDone>: raw.mov was deleted or replaced after the take stopped; …".
    static ErrorInfo lostFailure(const QString& notDone, const QString& lost);

private:
    std::map<QString, std::shared_ptr<const HeldFile>> files_;
    // Names whose files were let go because they were deleted; what the job writes there anew is its own again.
    std::set<QString> deleted_;
    // The take's files were looked for: a name held by nothing is no longer any file of the take's.
    bool known_ = false;
};
