#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

#include <memory>

// A home of its own under `root` for a launched studio: settings, log, recordings, runtime and temporary
// folders are made there, and the returned environment (the process's own otherwise) points at them.
namespace StudioHome {
QProcessEnvironment make(const QString& root);
// Starts the studio `program` in that environment, its errors on the test's own stderr.
std::unique_ptr<QProcess> launch(const QString& program, const QProcessEnvironment& environment);
}
