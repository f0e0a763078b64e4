#pragma once

#include "platform/system/ErrorInfo.h"

#include <QString>

// An error of the media layer: the sentence callers show or wrap, plus the libav error code when there is one.
struct MediaError {
    QString description;
    int code = 0;

    ErrorInfo info() const { return {QStringLiteral("Media"), code, description}; }
};
