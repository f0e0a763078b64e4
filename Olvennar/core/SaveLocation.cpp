#include "core/SaveLocation.h"

#include "platform/system/Diagnostics.h"
#include "platform/system/Edition.h"
#include "platform/system/Paths.h"
#include "platform/system/Settings.h"

#include <QDir>
#include <QFileInfo>

namespace SaveLocation {

QString defaultPath() { return QDir(Paths::moviesFolder()).filePath(Edition::appName()); }

QString current(const Settings& settings)
{
    const QString stored = settings.stringValue(QString::fromLatin1(settingsKey), QString());
    if (stored.isEmpty())
        return defaultPath();
    const QString expanded = Paths::expandTilde(stored);
    // A relative root would follow whatever the working directory happens to be.
    if (!QDir::isAbsolutePath(expanded)) {
        Diagnostics::log(QStringLiteral("save location: ") + stored + QStringLiteral(" is not an absolute path; using ") + defaultPath());
        return defaultPath();
    }
    return QDir::cleanPath(expanded);
}

std::optional<QString> ensureCurrent(const Settings& settings)
{
    const QString root = current(settings);
    if (QFileInfo(root).isDir())
        return std::nullopt;
    const bool stored = root != defaultPath();
    const QString parent = QFileInfo(root).absolutePath();
    if (stored && !QFileInfo(parent).isDir()) {
        Diagnostics::log(QStringLiteral("save location: parent of ") + root + QStringLiteral(" is missing; not creating it"));
        return QStringLiteral("The save folder ") + root + QStringLiteral(" is not available — is the drive connected?");
    }
    if (!QDir().mkpath(root))
        return QStringLiteral("Could not create the save folder: ") + root;
    return std::nullopt;
}

} // namespace SaveLocation
