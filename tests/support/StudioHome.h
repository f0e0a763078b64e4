#pragma once

#include <QProcessEnvironment>
#include <QString>

// A home of its own under `root` for a launched studio: settings, log, recordings, runtime and temporary
// folders are made there, and the returned environment (the process's own otherwise) points at them.
namespace StudioHome {
QProcessEnvironment make(const QString& root);
}
