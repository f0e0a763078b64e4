#pragma once

#include "platform/system/ErrorInfo.h"

#include <QString>

#include <cerrno>

// An error of the media layer: the sentence callers show or wrap, plus the libav error code when there is one.
struct MediaError {
    QString description;
    int code = 0;

    // libav reports a full disk as the negated errno.
    bool isDiskFull() const { return code == -ENOSPC; }
    ErrorInfo info() const { return {QStringLiteral("Media"), code, description}; }
};
