#include "core/SaveLocation.h"

#include "platform/system/Diagnostics.h"
#include "platform/system/Edition.h"
#include "platform/system/Paths.h"
#include "platform/system/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <mutex>
#include <set>

#include <sys/stat.h>

namespace {

// A bad root is named on every refresh of the window: its warning goes to the log once per launch.
void warnOnce(const QString& message)
{
    static std::mutex lock;
    static std::set<QString> warned;
    {
        std::lock_guard guard(lock);
        if (!warned.insert(message).second)
            return;
    }
    Diagnostics::log(message);
}

bool sameDeviceAsParent(const QString& folder)
{
    struct stat own {};
    struct stat parent {};
    const QByteArray path = QFile::encodeName(folder);
    const QByteArray parentPath = QFile::encodeName(QFileInfo(folder).absolutePath());
    return ::stat(path.constData(), &own) == 0 && ::stat(parentPath.constData(), &parent) == 0 && own.st_dev == parent.st_dev;
}

// The nearest part of `folder` that exists, when it is not a folder: nothing can be made under it.
std::optional<QString> fileInTheWay(const QString& folder)
{
    for (QString at = folder;; at = QFileInfo(at).absolutePath()) {
        const QFileInfo info(at);
        if (info.exists())
            return info.isDir() ? std::nullopt : std::optional<QString>(at);
        if (at == QLatin1String("/"))
            return std::nullopt;
    }
}

} // namespace

namespace SaveLocation {

QStringList fstabMountPoints()
{
    QFile fstab(QStringLiteral("/etc/fstab"));
    QStringList points;
    if (!fstab.open(QIODevice::ReadOnly))
        return points;
    for (const QByteArray& line : fstab.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() >= 2 && !fields[0].startsWith('#') && fields[1].startsWith('/') && fields[1] != "/")
            points.append(QDir::cleanPath(QString::fromUtf8(fields[1]).replace(QStringLiteral("\\040"), QStringLiteral(" "))));
    }
    return points;
}

MountTable MountTable::system() { return MountTable(fstabMountPoints()); }

bool holdsDrives(const QString& folder, const MountTable& mounts)
{
    const QString clean = QDir::cleanPath(folder);
    if (mounts.driveParents.contains(clean))
        return true;
    // A user's folder of drives, unless a drive is mounted there itself (an older layout mounts straight in /media).
    return mounts.userParents.contains(QFileInfo(clean).absolutePath()) && QFileInfo(clean).isDir() && sameDeviceAsParent(clean);
}

bool isUnmountedMountPoint(const QString& folder, const MountTable& mounts)
{
    const QString clean = QDir::cleanPath(folder);
    if (clean == QLatin1String("/") || !QFileInfo(clean).isDir())
        return false;
    const QString parent = QFileInfo(clean).absolutePath();
    const bool driveFolder = mounts.driveParents.contains(parent) || mounts.userParents.contains(QFileInfo(parent).absolutePath());
    if (!mounts.mountPoints.contains(clean) && !driveFolder)
        return false;
    return QDir(clean).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System) && sameDeviceAsParent(clean);
}

QString defaultPath() { return QDir(Paths::moviesFolder()).filePath(Edition::appName()); }

QString current(const Settings& settings)
{
    const QString stored = settings.stringValue(QString::fromLatin1(settingsKey), QString());
    if (stored.isEmpty())
        return defaultPath();
    const QString expanded = Paths::expandTilde(stored);
    // A relative root would follow whatever the working directory happens to be.
    if (!QDir::isAbsolutePath(expanded)) {
        warnOnce(QStringLiteral("save location: ") + stored + QStringLiteral(" is not an absolute path; using ") + defaultPath());
        return defaultPath();
    }
    return QDir::cleanPath(expanded);
}

std::optional<QString> ensureCurrent(const Settings& settings) { return ensureCurrent(settings, MountTable::system()); }

std::optional<QString> ensureCurrent(const Settings& settings, const MountTable& mounts)
{
    const QString root = current(settings);
    const bool stored = root != defaultPath();
    const QString unavailable = QStringLiteral("The save folder ") + root + QStringLiteral(" is not available — is the drive connected?");
    const QString parent = QFileInfo(root).absolutePath();
    // Folders made on an unmounted drive's empty mount point would land on the system disk.
    if (stored && (isUnmountedMountPoint(root, mounts) || (!QFileInfo(root).isDir() && isUnmountedMountPoint(parent, mounts)))) {
        Diagnostics::log(QStringLiteral("save location: ") + root + QStringLiteral(" is on a drive that is not mounted; not using it"));
        return unavailable;
    }
    if (QFileInfo(root).isDir())
        return std::nullopt;
    if (const auto file = fileInTheWay(root)) {
        Diagnostics::log(QStringLiteral("save location: ") + *file + QStringLiteral(" is a file; cannot make ") + root);
        return QStringLiteral("The save folder ") + root + QStringLiteral(" is not available — ") + *file + QStringLiteral(" is a file, not a folder");
    }
    if (stored && !QFileInfo(parent).isDir()) {
        Diagnostics::log(QStringLiteral("save location: parent of ") + root + QStringLiteral(" is missing; not creating it"));
        return unavailable;
    }
    // A missing drive folder (/mnt/DRIVE with nothing plugged in) would be made on the system disk.
    if (stored && (mounts.mountPoints.contains(root) || holdsDrives(parent, mounts))) {
        Diagnostics::log(QStringLiteral("save location: ") + root + QStringLiteral(" is on a drive that is not mounted; not using it"));
        return unavailable;
    }
    if (!QDir().mkpath(root))
        return QStringLiteral("Could not create the save folder: ") + root;
    return std::nullopt;
}

} // namespace SaveLocation
