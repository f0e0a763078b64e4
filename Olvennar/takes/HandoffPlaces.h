#pragma once

#include "takedata/RecordingChannel.h"

#include <QString>

#include <map>
#include <optional>

// The folders a handoff may lead the studio into: the recordings root and each channel's project tree.
// Read from the settings on the main thread, then used by the poll's reader off it. Every check works on
// the real path ("~", "." and ".." and symbolic links resolved; a missing tail is kept as written), so a
// handoff can neither climb out with ".." nor through a link.
struct HandoffPlaces {
    QString homeFolder;
    QString recordingsRoot;
    std::map<RecordingChannel, QString> projectTrees; // channels with a project tree of their own
    std::map<RecordingChannel, QString> ownShortsRoots; // each channel's own shorts folder

    // The real path of an absolute folder when it lies strictly inside the channel's project tree or the
    // recordings root; else nothing, and `why` says so for the log.
    std::optional<QString> confineFolder(const QString& folder, RecordingChannel channel, QString* why) const;
    // A handoff's requested shorts folder when it lies strictly inside the channel's project tree, else
    // the channel's own shorts folder.
    QString shortsRoot(RecordingChannel channel, const QString& requested) const;
    // A script file's real path when it lies inside the home folder, the channel's project tree or the
    // recordings root; else nothing.
    std::optional<QString> confineScript(const QString& file, RecordingChannel channel) const;

    // The path with every existing part resolved the way the kernel would; empty for a relative path, a
    // dangling or looping link, or a path with control characters.
    static QString realPath(const QString& path);
};
