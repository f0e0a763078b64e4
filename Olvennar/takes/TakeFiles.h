#pragma once

#include <QString>

// Clearing away what a take left in its folder. Failures are ignored: what cannot go stays.
namespace TakeFiles {

// Removes the take's movie and sidecar files with the suffix, each on its own.
void deleteTakeFiles(const QString& folder, const QString& suffix);
// Removes a folder whose successful listing shows only ".DS_Store" or zero-byte files of the take with this
// suffix (deleting those by name first); true when the folder went.
bool removeFolderIfOnlyLeftovers(const QString& folder, const QString& suffix);

} // namespace TakeFiles
