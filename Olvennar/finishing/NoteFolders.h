#pragma once

#include "finishing/FinishWork.h"

#include <QString>
#include <QStringList>

#include <functional>

class Settings;

// The folders that hold a finish job's resume note, kept in the settings under "resumeNoteFolders", so the
// launch sweep finds a note wherever the take went (a folder a long-form handoff named, a handoff's own
// shorts root), not only under the standard roots. A folder is listed once, from its first note's writing
// until its last note goes, and while the folder that holds it is missing too (a drive not mounted now,
// whose notes come back with it). A copy lists into the same settings.
class NoteFolders {
public:
    // Whether a folder that is there is an empty mount point or a folder that holds drives: a folder missing
    // straight inside it is on a drive not mounted now.
    using EmptyMountPoint = std::function<bool(const QString& folder)>;

    explicit NoteFolders(Settings& settings, EmptyMountPoint emptyMountPoint = {});

    // Lists the note's folder, then writes the note; false (and the folder listed only while it holds a
    // note: the one a failed rewrite left as it was, or another) when the note could not be written.
    bool write(const FinishWork::Note& note) const;
    // Removes the note, and lists its folder no more once it holds no other note.
    void remove(const QString& notePath) const;
    // Removes the job's note only when the note at its path is still its own (not another take's, noted
    // under the name the job's renamed folder freed), and lists its folder no more once it holds no note.
    void removeOwn(const FinishWork::Note& note) const;
    // The same for a job whose take folder is held: listed where the folder lies now (the note's path), and
    // written or removed through the descriptor, so a rename at that very moment changes neither where the
    // note lands nor whose note goes.
    bool write(const FinishWork::Note& note, const HeldFolder& folder) const;
    void remove(const FinishWork::Note& note, const HeldFolder& folder) const;
    QStringList folders() const;
    // Lists no more the folders that are gone or hold no note while the folder holding them is there: what
    // a crash between a note and its listing leaves, or a note the sweep removed.
    void prune() const;

    // The most folders listed. A folder stays listed only while a job there runs or was cut short, or while
    // its drive is away, so one person's studio lists a handful; the bound keeps drives that never come back
    // from growing the settings and the launch sweep without end.
    static constexpr qsizetype maxFolders = 32;

    // The folder is missing and so is the folder that holds it, or that one is an empty mount point: its
    // volume is not mounted now, and what it held may come back with it.
    bool outOfReach(const QString& folder) const;

    // How two spellings of one folder are told to be the same: its real path, or while it does not
    // exist its clean absolute path.
    static QString keyOf(const QString& folder);

private:
    void add(const QString& folder) const;
    void release(const QString& folder) const;
    void store(const QStringList& folders) const;

    Settings* settings_;
    EmptyMountPoint emptyMountPoint_;
};
