#pragma once

#include <QRect>
#include <QString>

#include <cstdint>

// One monitor of the X screen as RandR reports it; `frame` is in root-window pixels (top-left origin).
struct ScreenDisplay {
    uint32_t id = 0;
    QString name;
    QRect frame;
    bool primary = false;
};
