#include "platform/system/Paths.h"

#include "platform/system/Edition.h"

#include <QDir>
#include <QStandardPaths>

namespace Paths {

QString homeFolder() { return QDir::homePath(); }

QString moviesFolder()
{
    const QString movies = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    if (!movies.isEmpty() && movies != homeFolder())
        return movies;
    return QDir(homeFolder()).filePath(QStringLiteral("Videos"));
}

QString stateFolder()
{
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir(homeFolder()).filePath(QStringLiteral(".local/state"));
    return QDir(base).filePath(Edition::appName());
}

QString expandTilde(const QString& path)
{
    if (path == QLatin1String("~"))
        return homeFolder();
    if (path.startsWith(QLatin1String("~/")))
        return QDir(homeFolder()).filePath(path.mid(2));
    return path;
}

QString findExecutable(const QString& name) { return QStandardPaths::findExecutable(name); }

} // namespace Paths
