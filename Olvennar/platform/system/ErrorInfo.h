#pragma once

#include <QString>

// The loggable form of any error value: its sentence plus the domain and code the log line prints.
// Each component's error type offers `ErrorInfo info() const`.
struct ErrorInfo {
    QString domain;
    int code = 0;
    QString description;
};
