#pragma once

#include <QString>

// Where the studio keeps things on a Linux desktop.
namespace Paths {
// ~/Videos (XDG Movies location), or ~/Videos when the desktop lists none.
QString moviesFolder();
// $XDG_STATE_HOME/<appName>, i.e. ~/.local/state/Olvennar.
QString stateFolder();
QString homeFolder();
// Expands a leading "~" or "~/" to the home folder; other paths are returned unchanged.
QString expandTilde(const QString& path);
// The first executable of that name on PATH, or empty.
QString findExecutable(const QString& name);
}
