#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// The files of one take, found by base word and take suffix ("raw-2.mov", "take-2.json").
namespace TakePieces {

// The movies and sidecars of a finished screen take, in the order they are tidied.
QStringList rawPieceNames(const QString& suffix);

// The names the pieces of the take of `finalPath` ("final<suffix>.mov") carry beside it: rawPieceNames and
// the numbered copies of its device movies there. None when the file name does not begin with "final".
QStringList pieceNames(const QString& finalPath);

// Moves the take's pieces that exist beside `finalPath` into "Raw/" next to it, replacing a piece of the
// same name (an earlier render of this very take); only those `own` takes for the take's own when it is
// given. Does nothing when the file name does not begin with "final". Each failure is logged and skipped;
// one summary line at the end.
void moveTakePiecesToRaw(const QString& finalPath, const std::function<bool(const QString& name)>& own = {});

} // namespace TakePieces
