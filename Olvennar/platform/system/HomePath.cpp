#include "platform/system/HomePath.h"

#include "platform/system/Paths.h"

#include <QDir>

namespace HomePath {

QString abbreviated(const QString& path)
{
    const QString clean = QDir::cleanPath(path);
    const QString home = QDir::cleanPath(Paths::homeFolder());
    if (clean == home)
        return QStringLiteral("~");
    if (clean.startsWith(home + QLatin1Char('/')))
        return QLatin1Char('~') + clean.mid(home.size());
    return clean;
}

} // namespace HomePath
