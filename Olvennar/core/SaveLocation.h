#pragma once

#include <QString>

#include <optional>

class Settings;

// The recordings root: the folder stored under "publicSaveFolder.v1", else ~/Videos/Olvennar.
namespace SaveLocation {
inline constexpr const char* settingsKey = "publicSaveFolder.v1";

QString defaultPath();
// Only names the folder; showing it must not create folders (the stored root may be on an unmounted drive).
QString current(const Settings& settings);
// Creates the root for a take that needs it. When the stored root's parent is missing (a drive that is not
// mounted) nothing is created, the fact is logged and an error sentence returned.
std::optional<QString> ensureCurrent(const Settings& settings);
}
