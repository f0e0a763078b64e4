#pragma once

#include <QRect>
#include <QString>

#include <cstdint>

// A viewable top-level window: its outer frame (border included) in root pixels and the identity read from
// the client window (WM_CLASS, _NET_WM_NAME or WM_NAME, _NET_WM_PID; pid 0 when unknown).
struct WindowInfo {
    uint32_t id = 0;
    QRect frame;
    QString wmInstance;
    QString wmClass;
    QString title;
    int64_t pid = 0;
};
