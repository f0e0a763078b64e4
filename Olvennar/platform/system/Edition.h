#pragma once

#include <QString>

// The display name of the application: the window title, the log file name and the default recordings folder.
namespace Edition {
// QGuiApplication's display name when set, else the application name when set, else "Olvennar".
QString appName();
}
