#pragma once

#include "takes/TakeFolder.h"

#include <QString>

#include <optional>

// Finding and clearing away what a take left in its folder. Failures are ignored: what cannot go stays.
namespace TakeFiles {

// The take's folder where its stopped movie now lies (TakeFolder::holding), logged when the folder was
// renamed or moved while the take recorded.
TakeFolder followMovie(const TakeFolder& folder, const QString& movie);
// The take's folder where its held descriptor finds it now, logged when it was renamed or moved since; itself
// when it is not held or is gone.
TakeFolder followHeld(const TakeFolder& folder);

// Removes the take's movie and sidecar files with the suffix, each on its own.
void deleteTakeFiles(const QString& folder, const QString& suffix);
// Removes a folder whose successful listing shows only ".DS_Store" or zero-byte files of the take with this
// suffix (deleting those by name first); true when the folder went.
bool removeFolderIfOnlyLeftovers(const QString& folder, const QString& suffix);

// After a failed start or take: removes a folder the take made when nothing of content is left in it
// (logged as "discarded empty folder <name>"); a folder it did not make stays.
void removeEmptyTakeFolder(const TakeFolder& folder);
// A discarded take: its files go, then a folder it made when only leftovers remain; logs "discarded take".
void discardTake(const std::optional<TakeFolder>& folder);

} // namespace TakeFiles
