#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class Settings;

// The recordings root: the folder stored under "publicSaveFolder.v1", else ~/Videos/Olvennar.
namespace SaveLocation {
inline constexpr const char* settingsKey = "publicSaveFolder.v1";

QString defaultPath();
// Only names the folder; showing it must not create folders (the stored root may be on an unmounted drive).
// A stored root that cannot be used is warned about once per launch, however often it is named.
QString current(const Settings& settings);
// Where drives are mounted: the mount points the system names (fstab's second column), the folders that
// hold drives (/mnt, /media) and the folders that hold one folder of drives per user (/media, /run/media).
struct MountTable {
    QStringList mountPoints;
    QStringList driveParents = {QStringLiteral("/mnt"), QStringLiteral("/media"), QStringLiteral("/run/media")};
    QStringList userParents = {QStringLiteral("/media"), QStringLiteral("/run/media")};

    MountTable(QStringList points = {}) : mountPoints(std::move(points)) {}
    // fstab's mount points with the usual drive folders.
    static MountTable system();
};

// Creates the root for a take that needs it. When the stored root's drive is not mounted nothing is
// created, the fact is logged and an error sentence returned: its parent is missing; the root or the
// folder it would be made in is an empty mount point still on its parent's disk; or the root itself is
// missing where only a drive's own folder would be (a named mount point, or straight in a folder that
// holds drives), so making it would put the takes on the system disk. A file standing where the root or one
// of its folders belongs is named as what is in the way.
std::optional<QString> ensureCurrent(const Settings& settings);
std::optional<QString> ensureCurrent(const Settings& settings, const MountTable& mounts);
// The folders /etc/fstab mounts.
QStringList fstabMountPoints();
// Whether `folder` is a mount point with nothing mounted on it: named in the table or a drive's folder
// (straight in a folder that holds drives), empty, and on its parent's device.
bool isUnmountedMountPoint(const QString& folder, const MountTable& mounts);
// Whether drives are mounted straight in `folder` (/mnt, /media, /media/<user> that is no drive itself).
bool holdsDrives(const QString& folder, const MountTable& mounts);
}
