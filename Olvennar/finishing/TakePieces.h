#pragma once

#include <QString>
#include <QStringList>

// The files of one take, found by base word and take suffix ("raw-2.mov", "take-2.json").
namespace TakePieces {

// The movies and sidecars of a finished screen take, in the order they are tidied.
QStringList rawPieceNames(const QString& suffix);

// Moves the take's pieces that exist beside `finalPath` ("final<suffix>.mov") into "Raw/" next to it,
// replacing a piece of the same name (an earlier render of this very take). Does nothing when the file
// name does not begin with "final". Each failure is logged and skipped; one summary line at the end.
void moveTakePiecesToRaw(const QString& finalPath);

} // namespace TakePieces
