#pragma once

#include <QString>

namespace HomePath {
// The cleaned path with the home folder written as "~".
QString abbreviated(const QString& path);
}
