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
// Creates the root for a take that needs it. When the stored root's drive is not mounted (its parent is
// missing, or the root or the folder it would be made in is an empty mount point still on its parent's
// disk) nothing is created, the fact is logged and an error sentence returned.
std::optional<QString> ensureCurrent(const Settings& settings);
// The same with the mount points the system names (fstab's second column) given.
std::optional<QString> ensureCurrent(const Settings& settings, const QStringList& mountPoints);
// The folders /etc/fstab mounts.
QStringList fstabMountPoints();
// Whether `folder` is a mount point with nothing mounted on it: named in `mountPoints` or a drive's folder
// under /media, /run/media or /mnt, empty, and on its parent's device.
bool isUnmountedMountPoint(const QString& folder, const QStringList& mountPoints);
}
